// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

#include <QAbstractButton>

namespace paveno::forms {

// The check box and the radio button: a caption in the block's text and background colours, the checked state as
// property 18, event 0 on click. Radio buttons of one parent are exclusive.
class CheckButton : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kCaption = 11, kChecked = 18;

    CheckButton(const KindDescriptor& kind, const CreateArgs& args, QAbstractButton* button);

    bool checked() const { return button_->isChecked(); }
    void SetChecked(bool on);
    const Text& caption() const { return caption_; }
    void SetCaption(Text caption);
    QAbstractButton* button() const { return button_; }

private:
    QAbstractButton* button_;
    Text caption_;
};

class CheckBox : public CheckButton {
public:
    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit CheckBox(const CreateArgs& args);
};

class RadioButton : public CheckButton {
public:
    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit RadioButton(const CreateArgs& args);
};

} // namespace paveno::forms
