// SPDX-License-Identifier: MIT
#include "forms/kinds/SuperButton.h"

#include "forms/pictures/PictureDecoder.h"

#include <QApplication>
#include <QPainter>

namespace paveno::forms {

namespace {

SuperButton& S(Control& c) {
    return As<SuperButton>(c);
}
const SuperButton& S(const Control& c) {
    return As<SuperButton>(c);
}

// Properties 8 to 14 and 23 are plain settings; a write redraws.
#define PAVENO_SETTING(no, name, english, type)                                                                        \
    {                                                                                                                  \
        no, name, english, type,                                                                                       \
            [](const Control& c) { return IntValue(const_cast<SuperButton&>(S(c)).setting(no)); },                     \
            [](Control& c, const Value& v) {                                                                           \
                S(c).setting(no) = UIntOf(v);                                                                          \
                S(c).Refresh();                                                                                        \
            }                                                                                                          \
    }
#define PAVENO_PICTURE(no, name, english)                                                                              \
    {                                                                                                                  \
        no, name, english, PropertyType::Picture, [](const Control& c) { return Value::FromBytes(S(c).picture(no)); }, \
            [](Control& c, const Value& v) { S(c).SetPicture(no, v.bytes()); }                                         \
    }
#define PAVENO_COLOUR(no, name, english, state, field)                                                                 \
    {                                                                                                                  \
        no, name, english, PropertyType::ColourOrDefault,                                                              \
            [](const Control& c) { return IntValue(S(c).colours(SuperButton::state).field); },                         \
            [](Control& c, const Value& v) {                                                                           \
                S(c).colours(SuperButton::state).field = UIntOf(v);                                                    \
                S(c).Refresh();                                                                                        \
            }                                                                                                          \
    }

const PropertyEntry kProperties[] = {
    PAVENO_SETTING(8, "按钮风格", "BtnStyle", PropertyType::IntegerChoice),
    PAVENO_SETTING(9, "选择框方式", "CheckBox", PropertyType::Bool),
    PAVENO_SETTING(10, "选中", "Checked", PropertyType::Bool),
    PAVENO_SETTING(11, "对齐方式", "AlignStyle", PropertyType::IntegerChoice),
    PAVENO_SETTING(12, "压入方式", "PressStyle", PropertyType::IntegerChoice),
    PAVENO_SETTING(13, "绘制边框", "DrawBorder", PropertyType::Bool),
    PAVENO_SETTING(14, "绘制焦点", "DrawFocus", PropertyType::Bool),
    PAVENO_PICTURE(15, "通常图片", "PicOut"),
    PAVENO_PICTURE(17, "点燃图片", "PicIn"),
    PAVENO_PICTURE(19, "禁止图片", "PicDisabled"),
    {SuperButton::kFont, "字体", "font", PropertyType::Font,
     [](const Control& c) { return Value::FromBytes(S(c).font()); },
     [](Control& c, const Value& v) { S(c).SetFont(v.bytes()); }},
    {SuperButton::kCaption, "标题", "caption", PropertyType::Text,
     [](const Control& c) { return Value::FromText(S(c).caption()); },
     [](Control& c, const Value& v) { S(c).SetCaption(v.text()); }},
    PAVENO_SETTING(23, "使用默认色", "DefaultColor", PropertyType::Bool),
    PAVENO_COLOUR(24, "通常前景色", "FgColorOut", kOut, text),
    PAVENO_COLOUR(25, "通常背景色", "BkColorOut", kOut, background),
    PAVENO_COLOUR(26, "点燃前景色", "FgColorIn", kOver, text),
    PAVENO_COLOUR(27, "点燃背景色", "BkColorIn", kOver, background),
    PAVENO_COLOUR(28, "焦点前景色", "FgColorFocus", kFocus, text),
    PAVENO_COLOUR(29, "焦点背景色", "BkColorFocus", kFocus, background),
    {SuperButton::kToolTip, "提示文本", "ToolTip", PropertyType::Text,
     [](const Control& c) { return Value::FromText(S(c).tooltip()); },
     [](Control& c, const Value& v) { S(c).SetTooltip(v.text()); }},
};
#undef PAVENO_SETTING
#undef PAVENO_PICTURE
#undef PAVENO_COLOUR

const KindDescriptor kDescriptor = {0x00020001, "超级按钮",  "SuperBtn",          kKindAllowsEvents,
                                    35,         kProperties, &SuperButton::Create};

int PictureSlot(int number) {
    return number == 17 ? 1 : number == 19 ? 2 : 0;
}

} // namespace

SuperButtonWidget::SuperButtonWidget(SuperButton* owner, QWidget* parent) : QAbstractButton(parent), owner_(owner) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
}

void SuperButtonWidget::paintEvent(QPaintEvent*) {
    if (!owner_) return;
    QPainter p(this);
    owner_->Paint(p);
}

void SuperButtonWidget::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SuperButtonWidget::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

const KindDescriptor& SuperButton::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> SuperButton::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the super button needs its property block";
        return nullptr;
    }
    return std::make_unique<SuperButton>(args);
}

SuperButton::SuperButton(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    style_ = b.Number("style");
    checkBox_ = b.Number("checkBox");
    checked_ = b.Number("checked");
    align_ = b.Number("align");
    pressStyle_ = b.Number("pressStyle");
    drawBorder_ = b.Number("drawBorder");
    drawFocus_ = b.Number("drawFocus");
    colours_[kOut] = {b.Number("fgOut"), b.Number("bgOut")};
    colours_[kOver] = {b.Number("fgIn"), b.Number("bgIn")};
    colours_[kFocus] = {b.Number("fgFocus"), b.Number("bgFocus")};
    caption_ = b.TextOf("caption");
    fontBlob_ = b.Blob("font");
    // The five blobs: the pictures with the mouse outside and over the button, the font, the disabled picture and
    // a sound.
    pictureBytes_[0] = b.Blob("blob1");
    pictureBytes_[1] = b.Blob("blob2");
    pictureBytes_[2] = b.Blob("blob4");
    for (int i = 0; i < 3; ++i)
        pictures_[i] = PictureImage(DecodePicture(pictureBytes_[i]));

    button_ = new SuperButtonWidget(this, args.parent);
    Place(button_, args, FontOf(fontBlob_));
    button_->setText(ToQt(caption_));
    SetTooltip(b.TextOf("tooltip"));
    Refresh();
    QObject::connect(button_, &QAbstractButton::clicked, context(), [this]() {
        if (checkBox_) checked_ = !checked_;
        Refresh();
        Raise(0);
    });
    SetWidget(button_);
}

SuperButton::~SuperButton() {
    if (button_) button_->Detach();
}

std::uint32_t& SuperButton::setting(int number) {
    switch (number) {
    case 8:
        return style_;
    case 9:
        return checkBox_;
    case 10:
        return checked_;
    case 11:
        return align_;
    case 12:
        return pressStyle_;
    case 13:
        return drawBorder_;
    case 14:
        return drawFocus_;
    default:
        return defaultColours_;
    }
}

SuperButton::State SuperButton::state() const {
    if (!button_) return kOut;
    if (button_->hovered()) return kOver;
    if (button_->hasFocus()) return kFocus;
    return kOut;
}

void SuperButton::SetCaption(Text caption) {
    caption_ = std::move(caption);
    if (button_) button_->setText(ToQt(caption_));
    Refresh();
}

// Qt shows the tooltip while the mouse rests on the button, and takes it away when the mouse leaves.
void SuperButton::SetTooltip(Text tooltip) {
    tooltip_ = std::move(tooltip);
    if (button_) button_->setToolTip(ToQt(tooltip_));
}

const ByteSet& SuperButton::picture(int number) const {
    return pictureBytes_[PictureSlot(number)];
}

void SuperButton::SetPicture(int number, ByteSet bytes) {
    int i = PictureSlot(number);
    pictureBytes_[i] = std::move(bytes);
    pictures_[i] = PictureImage(DecodePicture(pictureBytes_[i]));
    Refresh();
}

void SuperButton::SetFont(ByteSet blob) {
    fontBlob_ = std::move(blob);
    if (button_) button_->setFont(FontOf(fontBlob_));
    Refresh();
}

void SuperButton::Refresh() {
    if (button_) button_->update();
}

void SuperButton::Paint(QPainter& p) {
    SuperButtonWidget& w = *button_;
    State s = state();
    // The system scheme when asked for, or a state that leaves both colours open, is the desktop's palette; a state
    // with one colour of its own takes the other from the classic scheme, as the whole button then does.
    QColor text = defaultColours_ ? QColor() : ColourOf(colours_[s].text);
    QColor back = defaultColours_ ? QColor() : ColourOf(colours_[s].background);
    const QPalette pal = text.isValid() || back.isValid() ? ClassicPalette() : w.palette();
    if (!text.isValid()) text = pal.color(QPalette::ButtonText);
    if (!back.isValid()) back = pal.color(QPalette::Button);
    if (!w.isEnabled()) text = pal.color(QPalette::Disabled, QPalette::ButtonText);

    QRect r = w.rect();
    p.fillRect(r, back);
    bool pressed = w.isDown() || (checkBox_ && checked_);
    if (style_ != 0) {
        // Raised, or sunken while pressed: light above and left, shadow below and right.
        QColor light = pressed ? pal.color(QPalette::Dark) : pal.color(QPalette::Light);
        QColor dark = pressed ? pal.color(QPalette::Light) : pal.color(QPalette::Dark);
        p.setPen(light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    } else if (drawBorder_) {
        p.setPen(pal.color(QPalette::Shadow));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    QRect inner = r.adjusted(2, 2, -2, -2);
    if (pressed) inner.translate(pressStyle_ == 1 ? 0 : 1, 1);

    const PictureImage* picture = !w.isEnabled() && !pictures_[2].IsNull() ? &pictures_[2]
                                  : s == kOver && !pictures_[1].IsNull()   ? &pictures_[1]
                                                                           : &pictures_[0];
    QRect textArea = inner;
    SmoothPictures(p);
    if (!picture->IsNull()) {
        QSize size = picture->Size();
        QPoint at(inner.left(), inner.center().y() - size.height() / 2);
        if (align_ == 1) at = QPoint(inner.center().x() - size.width() / 2, inner.top());
        if (align_ == 2) at = QPoint(inner.right() - size.width() + 1, at.y());
        if (align_ == 3) at = inner.center() - QPoint(size.width() / 2, size.height() / 2);
        picture->Draw(p, at);
        if (align_ == 0) textArea.setLeft(at.x() + size.width() + 2);
        if (align_ == 1) textArea.setTop(inner.top() + size.height());
        if (align_ == 2) textArea.setRight(at.x() - 2);
    }
    p.setPen(text);
    p.setFont(w.font());
    p.drawText(textArea, Qt::AlignCenter, ToQt(caption_));

    if (drawFocus_ && style_ == 0 && w.hasFocus()) {
        QPen pen(text, 1, Qt::DotLine);
        p.setPen(pen);
        p.drawRect(r.adjusted(2, 2, -3, -3));
    }
}

} // namespace paveno::forms
