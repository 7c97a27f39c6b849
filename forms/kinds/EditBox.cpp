// SPDX-License-Identifier: MIT
#include "forms/kinds/EditBox.h"

#include <QLineEdit>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {EditBox::kContent, "内容", "content", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<EditBox>(c).content()); },
     [](Control& c, const Value& v) { As<EditBox>(c).SetContent(v.text()); }},
    {EditBox::kReadOnly, "只读", "ReadOnly", PropertyType::Bool,
     [](const Control& c) { return Value::Logical(As<EditBox>(c).readOnly()); },
     [](Control& c, const Value& v) { As<EditBox>(c).SetReadOnly(v.logical()); }},
};

const KindDescriptor kDescriptor = {0x00010005, "编辑框",    "EditBox",       kKindAllowsEvents,
                                    29,         kProperties, &EditBox::Create};

} // namespace

const KindDescriptor& EditBox::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> EditBox::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the edit box needs its property block";
        return nullptr;
    }
    return std::make_unique<EditBox>(args);
}

EditBox::EditBox(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    edit_ = new QLineEdit(args.parent);
    Place(edit_, args, FontOf(b.Blob("font")));
    if (std::uint32_t ch = b.Number("passwordChar"); ch != 0) {
        edit_->setEchoMode(QLineEdit::Password);
        // The stored character is one byte of the GBK code page; an ASCII one is shown as itself.
        if (ch < 0x80 && ch >= 0x20)
            edit_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }").arg(ch));
    }
    SetColours(edit_, QColor(), ColourOf(b.Number("background")));
    content_.Set(b.TextOf("content"));
    edit_->setText(ToQt(content_.bytes()));
    QObject::connect(edit_, &QLineEdit::textChanged, context(), [this]() {
        if (!writing_) content_.MarkEdited(); // typed, pasted or undone by the user
        Raise(0);
    });
    SetWidget(edit_);
}

Text EditBox::content() const {
    return content_.Current(edit_->text());
}

void EditBox::SetContent(Text text) {
    content_.Set(std::move(text));
    writing_ = true;
    edit_->setText(ToQt(content_.bytes()));
    writing_ = false;
}

bool EditBox::readOnly() const {
    return edit_ && edit_->isReadOnly();
}

// A read-only field still lets its text be selected and copied.
void EditBox::SetReadOnly(bool on) {
    if (edit_) edit_->setReadOnly(on);
}

} // namespace paveno::forms
