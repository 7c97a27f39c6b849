// SPDX-License-Identifier: MIT
#include "forms/kinds/FileBox.h"

#include "services/FileSearch.h"
#include "services/GbkScan.h"

#include <algorithm>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {FileBox::kFolder, "目录", "folder", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<FileBox>(c).folder()); },
     [](Control& c, const Value& v) { As<FileBox>(c).SetFolder(v.text()); }},
    {FileBox::kSelectedFile, "现行选中文件", "FileName", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<FileBox>(c).selected()); },
     [](Control& c, const Value& v) { As<FileBox>(c).SelectName(v.text()); }},
};

const KindDescriptor kDescriptor = {0x0001001B, "文件框",    "FileBox",       kKindAllowsEvents,
                                    23,         kProperties, &FileBox::Create};

} // namespace

const KindDescriptor& FileBox::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> FileBox::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the file box needs its property block";
        return nullptr;
    }
    return std::make_unique<FileBox>(args);
}

// The block's settings and text describe looks this program does not use; the box starts empty until a folder is
// written.
FileBox::FileBox(const CreateArgs& args)
    : Control(kDescriptor, args), list_(*this, args, FontOf(args.block->Blob("font"))) {
    SetWidget(list_.widget());
}

void FileBox::SetFolder(Text folder) {
    folder_ = std::move(folder);
    std::vector<Text> names;
    if (!folder_.empty()) {
        Text pattern = folder_;
        if (!gbk::EndsInSeparator(pattern, "\\/")) pattern += '\\';
        pattern += "*.*";
        int handle = 0;
        for (Text name = FindFileFirst(pattern, FindFilter::FilesOnly(), handle); !name.empty();
             name = FindFileNext(handle))
            names.push_back(std::move(name));
        CloseFileFind(handle);
    }
    list_.Fill(std::move(names));
}

void FileBox::SelectName(const Text& name) {
    const auto& items = list_.items();
    const auto found = std::find(items.begin(), items.end(), name);
    list_.Select(found == items.end() ? -1 : static_cast<int>(found - items.begin()));
    if (QListWidgetItem* current = list_.widget()->currentItem()) list_.widget()->scrollToItem(current);
}

} // namespace paveno::forms
