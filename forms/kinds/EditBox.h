// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

class QLineEdit;

namespace paveno::forms {

// A one-line edit field (property 8 content, 14 read-only; event 0 when the content changes).
class EditBox : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kContent = 8, kReadOnly = 14;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit EditBox(const CreateArgs& args);

    Text content() const;
    void SetContent(Text text);
    QLineEdit* edit() const { return edit_; }
    bool readOnly() const;
    void SetReadOnly(bool on);
    // Whether the content is what the user typed (or pasted) rather than what the program last wrote.
    bool editedByUser() const { return content_.edited(); }

private:
    QLineEdit* edit_;
    HeldText content_;
    bool writing_ = false;
};

} // namespace paveno::forms
