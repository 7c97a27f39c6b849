// SPDX-License-Identifier: MIT
#include "forms/kinds/Button.h"

#include "forms/pictures/PictureDecoder.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {Button::kPicture, "图片", "picture", PropertyType::Picture,
     [](const Control& c) { return Value::FromBytes(As<Button>(c).picture()); },
     [](Control& c, const Value& v) { As<Button>(c).SetPicture(v.bytes()); }},
    {Button::kType, "类型", "type", PropertyType::IntegerChoice,
     [](const Control& c) { return IntValue(As<Button>(c).type()); }},
    {Button::kCaption, "标题", "caption", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<Button>(c).caption()); },
     [](Control& c, const Value& v) { As<Button>(c).SetCaption(v.text()); }},
    {Button::kHAlign, "横向对齐方式", "HAlign", PropertyType::IntegerChoice,
     [](const Control& c) { return IntValue(As<Button>(c).hAlign()); },
     [](Control& c, const Value& v) { As<Button>(c).SetAlign(UIntOf(v), As<Button>(c).vAlign()); }},
    {Button::kVAlign, "纵向对齐方式", "VAlign", PropertyType::IntegerChoice,
     [](const Control& c) { return IntValue(As<Button>(c).vAlign()); },
     [](Control& c, const Value& v) { As<Button>(c).SetAlign(As<Button>(c).hAlign(), UIntOf(v)); }},
};

const KindDescriptor kDescriptor = {0x0001000B, "按钮", "Button", kKindAllowsEvents, 14, kProperties, &Button::Create};

int AlignmentFlags(std::uint32_t h, std::uint32_t v) {
    static const int kH[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    static const int kV[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    return kH[std::min<std::uint32_t>(h, 2)] | kV[std::min<std::uint32_t>(v, 2)];
}

} // namespace

void ButtonWidget::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    p.drawControl(QStyle::CE_PushButtonBevel, option);
    if (!owner_) return;
    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown()) area.translate(1, 1);
    p.setClipRect(area);
    owner_->PaintFace(p, area);
}

const KindDescriptor& Button::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> Button::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the button needs its property block";
        return nullptr;
    }
    return std::make_unique<Button>(args);
}

Button::Button(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    type_ = b.Number("type");
    hAlign_ = b.Number("hAlign");
    vAlign_ = b.Number("vAlign");
    caption_ = b.TextOf("caption");
    button_ = new ButtonWidget(this, args.parent);
    Place(button_, args, FontOf(b.Blob("font")));
    button_->setDefault(type_ == 1);
    button_->setAutoDefault(false);
    // The caption also serves accessibility and the tests; the face is painted by PaintFace.
    button_->setText(ToQt(caption_));
    SetPicture(b.Blob("picture"));
    QObject::connect(button_, &QPushButton::clicked, context(), [this]() { Raise(0); });
    SetWidget(button_);
}

Button::~Button() {
    if (button_) button_->Detach();
}

void Button::PaintFace(QPainter& painter, const QRect& area) const {
    if (!picture_.IsNull()) {
        SmoothPictures(painter);
        QSize s = picture_.Size();
        picture_.Draw(painter, area.center() - QPoint(s.width() / 2, s.height() / 2));
        return;
    }
    painter.setPen(
        button_->palette().color(button_->isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(area, AlignmentFlags(hAlign_, vAlign_) | Qt::TextShowMnemonic, ToQt(caption_));
}

void Button::SetCaption(Text caption) {
    caption_ = std::move(caption);
    if (button_) button_->setText(ToQt(caption_));
}

void Button::SetPicture(ByteSet bytes) {
    pictureBytes_ = std::move(bytes);
    picture_ = PictureImage(DecodePicture(pictureBytes_));
    if (!button_) return;
    // A picture is the data's own face: the bevel around it is the classic one, not the desktop's.
    SetColours(button_, picture_.IsNull() ? QColor() : ClassicPalette().color(QPalette::ButtonText), QColor());
    button_->setAutoFillBackground(false);
    button_->update();
}

void Button::SetAlign(std::uint32_t h, std::uint32_t v) {
    hAlign_ = h;
    vAlign_ = v;
    if (button_) button_->update();
}

} // namespace paveno::forms
