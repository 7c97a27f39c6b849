// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/ListBox.h"

namespace paveno::forms {

// The names of the files in one folder (property 8, a GBK path with backslashes); property 9 is the selected
// name without its folder, and writing it selects that name (none when it is not listed) without an event. Event 0
// when the user selects a name, event 1 on a double click.
class FileBox : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kFolder = 8, kSelectedFile = 9;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit FileBox(const CreateArgs& args);

    const Text& folder() const { return folder_; }
    void SetFolder(Text folder);
    Text selected() const { return list_.selected(); }
    void SelectName(const Text& name);
    TextList& list() { return list_; }

private:
    TextList list_;
    Text folder_;
};

} // namespace paveno::forms
