// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

#include <QPlainTextEdit>

namespace paveno::forms {

// A multi-line box holding plain text (content 9). Every line break, whether written as CR LF, a lone CR or a lone
// LF, comes back as CR LF, so texts written into such boxes and texts stored in them compare alike. Event 0 when
// the content changes, 1 when the selection does.
class RichEdit : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kContent = 9, kReadOnly = 14;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit RichEdit(const CreateArgs& args);

    Text content() const;
    void SetContent(const Text& text);
    bool readOnly() const { return edit_ && edit_->isReadOnly(); }
    void SetReadOnly(bool on);
    QPlainTextEdit* edit() const { return edit_; }

private:
    QPointer<QPlainTextEdit> edit_;
    HeldText content_;
    bool writing_ = false;
};

} // namespace paveno::forms
