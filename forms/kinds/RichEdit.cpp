// SPDX-License-Identifier: MIT
#include "forms/kinds/RichEdit.h"

#include "services/TextOps.h"

#include <QPlainTextEdit>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {RichEdit::kContent, "内容", "context", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<RichEdit>(c).content()); },
     [](Control& c, const Value& v) { As<RichEdit>(c).SetContent(v.text()); }},
    {RichEdit::kReadOnly, "只读", "ReadOnly", PropertyType::Bool,
     [](const Control& c) { return Value::Logical(As<RichEdit>(c).readOnly()); },
     [](Control& c, const Value& v) { As<RichEdit>(c).SetReadOnly(v.logical()); }},
};

const KindDescriptor kDescriptor = {0x00020006, "丰富文本框", "RichEdit",       kKindAllowsEvents,
                                    21,         kProperties,  &RichEdit::Create};

// The widget shows LF line breaks.
QString Shown(const Text& crlf) {
    QString s = ToQt(crlf);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

} // namespace

const KindDescriptor& RichEdit::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> RichEdit::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the rich edit box needs its property block";
        return nullptr;
    }
    return std::make_unique<RichEdit>(args);
}

// The ten settings (border, format, colours, line and selection options) are not used by this program's boxes,
// which hold plain text only.
RichEdit::RichEdit(const CreateArgs& args) : Control(kDescriptor, args) {
    edit_ = new QPlainTextEdit(args.parent);
    Place(edit_, args, DefaultGuiFont());
    SetContent(args.block->TextOf("content"));
    QObject::connect(edit_, &QPlainTextEdit::textChanged, context(), [this]() {
        if (!writing_) content_.MarkEdited(); // typed, pasted or undone by the user
        Raise(0);
    });
    QObject::connect(edit_, &QPlainTextEdit::selectionChanged, context(), [this]() { Raise(1); });
    SetWidget(edit_);
}

Text RichEdit::content() const {
    if (!content_.edited() || !edit_) return content_.bytes();
    return WithCrLf(FromQt(edit_->toPlainText()));
}

void RichEdit::SetContent(const Text& text) {
    content_.Set(WithCrLf(text));
    writing_ = true;
    edit_->setPlainText(Shown(content_.bytes()));
    writing_ = false;
}

// A read-only box still lets its text be selected and copied, with the keyboard too.
void RichEdit::SetReadOnly(bool on) {
    edit_->setReadOnly(on);
    if (on) edit_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

} // namespace paveno::forms
