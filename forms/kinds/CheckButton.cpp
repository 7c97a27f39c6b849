// SPDX-License-Identifier: MIT
#include "forms/kinds/CheckButton.h"

#include <QCheckBox>
#include <QRadioButton>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {CheckButton::kCaption, "标题", "caption", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<CheckButton>(c).caption()); },
     [](Control& c, const Value& v) { As<CheckButton>(c).SetCaption(v.text()); }},
    {CheckButton::kChecked, "选中", "checked", PropertyType::Bool,
     [](const Control& c) { return Value::Logical(As<CheckButton>(c).checked()); },
     [](Control& c, const Value& v) { As<CheckButton>(c).SetChecked(v.logical()); }},
};

const KindDescriptor kCheckBox = {0x0001000C, "选择框",    "CheckBox",       kKindAllowsEvents,
                                  21,         kProperties, &CheckBox::Create};
const KindDescriptor kRadio = {0x0001000D, "单选框",    "RadioBox",          kKindAllowsEvents,
                               19,         kProperties, &RadioButton::Create};

template <class K> std::unique_ptr<Control> Make(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "a check or radio button needs its property block";
        return nullptr;
    }
    return std::make_unique<K>(args);
}

} // namespace

CheckButton::CheckButton(const KindDescriptor& kind, const CreateArgs& args, QAbstractButton* button)
    : Control(kind, args), button_(button) {
    const format::PropertyBlock& b = *args.block;
    caption_ = b.TextOf("caption");
    Place(button_, args, FontOf(b.Blob("font")));
    button_->setText(ToQt(caption_));
    if (b.Flag("textLeft")) button_->setLayoutDirection(Qt::RightToLeft);
    SetColours(button_, ColourOf(b.Number("textColour")), ColourOf(b.Number("background")));
    SetChecked(b.Flag("checked"));
    QObject::connect(button_, &QAbstractButton::clicked, context(), [this]() { Raise(0); });
    SetWidget(button_);
}

void CheckButton::SetChecked(bool on) {
    // An exclusive button refuses to be unchecked on its own; the program may still clear it.
    bool exclusive = button_->autoExclusive();
    if (!on && exclusive) button_->setAutoExclusive(false);
    button_->setChecked(on);
    if (!on && exclusive) button_->setAutoExclusive(true);
}

void CheckButton::SetCaption(Text caption) {
    caption_ = std::move(caption);
    button_->setText(ToQt(caption_));
}

const KindDescriptor& CheckBox::Descriptor() {
    return kCheckBox;
}
std::unique_ptr<Control> CheckBox::Create(const CreateArgs& args, std::string& error) {
    return Make<CheckBox>(args, error);
}
CheckBox::CheckBox(const CreateArgs& args) : CheckButton(kCheckBox, args, new QCheckBox(args.parent)) {}

const KindDescriptor& RadioButton::Descriptor() {
    return kRadio;
}
std::unique_ptr<Control> RadioButton::Create(const CreateArgs& args, std::string& error) {
    return Make<RadioButton>(args, error);
}
RadioButton::RadioButton(const CreateArgs& args) : CheckButton(kRadio, args, new QRadioButton(args.parent)) {}

} // namespace paveno::forms
