// SPDX-License-Identifier: MIT
#include "forms/kinds/PictureBox.h"

#include "forms/pictures/PictureDecoder.h"

#include <QPainter>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {PictureBox::kPicture, "图片", "picture", PropertyType::Picture,
     [](const Control& c) { return Value::FromBytes(As<PictureBox>(c).picture()); },
     [](Control& c, const Value& v) { As<PictureBox>(c).SetPicture(v.bytes()); }},
};

const KindDescriptor kDescriptor = {0x00010006, "图片框",    "PicBox",           kKindAllowsEvents | kKindContainer,
                                    15,         kProperties, &PictureBox::Create};

} // namespace

const KindDescriptor& PictureBox::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> PictureBox::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the picture box needs its property block";
        return nullptr;
    }
    return std::make_unique<PictureBox>(args);
}

PictureBox::PictureBox(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    box_ = new PaintedWidget(args.parent);
    box_->paint = [this](QPainter& p) {
        if (box_->width() > decodedFor_.width() || box_->height() > decodedFor_.height()) DecodeShown();
        SmoothPictures(p);
        picture_.Draw(p, QPoint(0, 0));
    };
    Place(box_, args, DefaultGuiFont());
    // The system default background is the desktop's window colour; the box always paints one of its own.
    coloured_ = SetColours(box_, QColor(), ColourOf(b.Number("background")));
    box_->setAutoFillBackground(true);
    SetPicture(b.Blob("picture"));
    SetWidget(box_);
}

PictureBox::~PictureBox() {
    if (box_) box_->paint = nullptr;
}

void PictureBox::SetPicture(ByteSet bytes) {
    pictureBytes_ = std::move(bytes);
    DecodeShown();
    if (!box_) return;
    // What is drawn straight onto the box lies on the data's colour or picture, or on the desktop's colour.
    MarkDataBackground(box_, coloured_ || !picture_.IsNull());
    box_->update();
}

// The picture is drawn at its own size from the top-left corner, so only that corner, as large as the box, is ever
// seen: a cover of 8192 x 8192 pixels costs what the box shows, not 256 MB.
void PictureBox::DecodeShown() {
    decodedFor_ = box_ ? box_->size() : QSize();
    picture_ = PictureImage(DecodePictureShown(pictureBytes_, decodedFor_.width(), decodedFor_.height()));
    picture_.CutTo(decodedFor_);
}

} // namespace paveno::forms
