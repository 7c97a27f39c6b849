// SPDX-License-Identifier: MIT
#include "forms/kinds/HtmlViewer.h"

#include "forms/Seams.h"

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {HtmlViewer::kUrl, "地址", "url", PropertyType::FileName,
     [](const Control& c) { return Value::FromText(As<HtmlViewer>(c).address()); },
     [](Control& c, const Value& v) { As<HtmlViewer>(c).Navigate(v.text()); }},
};

std::function<void(const Text&)>& Opener() {
    static std::function<void(const Text&)> opener;
    return opener;
}

const KindDescriptor kDescriptor = {0x00050001, "超文本浏览框", "HtmlViewer",       kKindAllowsEvents,
                                    14,         kProperties,    &HtmlViewer::Create};

} // namespace

const KindDescriptor& HtmlViewer::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> HtmlViewer::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the HTML viewer needs its property block";
        return nullptr;
    }
    return std::make_unique<HtmlViewer>(args);
}

// A stored address is kept, not opened: loading a window never starts a browser by itself.
HtmlViewer::HtmlViewer(const CreateArgs& args) : Control(kDescriptor, args), address_(args.block->TextOf("text1")) {}

void HtmlViewer::SetOpener(std::function<void(const Text&)> opener) {
    Opener() = std::move(opener);
}

void HtmlViewer::Navigate(Text address) {
    address_ = std::move(address);
    if (address_.empty()) return;
    if (Opener()) {
        Opener()(address_);
    } else if (ShellSeam* shell = CurrentSeams().shell) {
        shell->Open(address_);
    }
}

} // namespace paveno::forms
