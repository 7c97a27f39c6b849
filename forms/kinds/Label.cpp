// SPDX-License-Identifier: MIT
#include "forms/kinds/Label.h"

#include "forms/pictures/PictureDecoder.h"

#include <QPainter>

namespace paveno::forms {

namespace {

// The label's sixteen settings (frame, effects, colours, alignment) have no use in this program's windows; the
// label draws its caption plainly.
const KindDescriptor kDescriptor = {0x0001000A, "标签", "Label", kKindAllowsEvents, 29, {}, &Label::Create};

} // namespace

const KindDescriptor& Label::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> Label::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the label needs its property block";
        return nullptr;
    }
    return std::make_unique<Label>(args);
}

Label::Label(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    caption_ = b.TextOf("caption");
    picture_ = PictureImage(DecodePicture(b.Blob("picture")));
    label_ = new PaintedWidget(args.parent);
    Place(label_, args, FontOf(b.Blob("font")));
    label_->paint = [this](QPainter& p) {
        SmoothPictures(p);
        picture_.Draw(p, QPoint(0, 0));
        p.setPen(label_->palette().color(QPalette::WindowText));
        p.drawText(label_->rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, ToQt(caption_));
    };
    SetWidget(label_);
}

void Label::SetCaption(Text caption) {
    caption_ = std::move(caption);
    if (label_) label_->update();
}

Label::~Label() {
    if (label_) label_->paint = nullptr;
}

} // namespace paveno::forms
