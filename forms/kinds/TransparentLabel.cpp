// SPDX-License-Identifier: MIT
#include "forms/kinds/TransparentLabel.h"

#include <QPainter>

#include <algorithm>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {TransparentLabel::kCaption, "标题", "caption", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<TransparentLabel>(c).caption()); },
     [](Control& c, const Value& v) { As<TransparentLabel>(c).SetCaption(v.text()); }},
};

const KindDescriptor kDescriptor = {
    0x00070005, "透明标签", "TransLabel", kKindAllowsEvents, 15, kProperties, &TransparentLabel::Create};

} // namespace

const KindDescriptor& TransparentLabel::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> TransparentLabel::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the transparent label needs its property block";
        return nullptr;
    }
    return std::make_unique<TransparentLabel>(args);
}

// The six settings: text colour (a COLORREF, 0 black, 0xFF000000 the system's), character height in pixels (0: the
// default font), weight (0: normal), italic, underline, and horizontal alignment (0 left, 1 centre, 2 right). All zero
// is the plain black caption of this program's windows.
TransparentLabel::TransparentLabel(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    caption_ = b.TextOf("caption");
    colour_ = ColourOf(b.Number("setting1")); // invalid: the system's text colour
    QFont font = DefaultGuiFont();
    if (std::uint32_t h = b.Number("setting2"); h > 0)
        font.setPixelSize(static_cast<int>(std::min<std::uint32_t>(h, 500)));
    if (std::uint32_t w = b.Number("setting3"); w > 0)
        font.setWeight(static_cast<QFont::Weight>(std::min<std::uint32_t>(w, 1000)));
    font.setItalic(b.Flag("setting4"));
    font.setUnderline(b.Flag("setting5"));
    static const int kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    align_ = kAlign[std::min<std::uint32_t>(b.Number("setting6"), 2)];

    label_ = new PaintedWidget(args.parent);
    Place(label_, args, font);
    label_->setAttribute(Qt::WA_TranslucentBackground);
    label_->paint = [this](QPainter& p) {
        // A caption colour of the data's own over a background the desktop chose gets the classic background laid
        // under it, as it would otherwise be black on a dark desktop. The system's text colour is the desktop's,
        // or the classic one over a background of the data's.
        const bool dataBackground = HasDataBackground(label_->parentWidget());
        if (colour_.isValid() && !dataBackground) p.fillRect(label_->rect(), ClassicPalette().color(QPalette::Window));
        p.setPen(colour_.isValid() ? colour_
                 : dataBackground  ? ClassicPalette().color(QPalette::WindowText)
                                   : label_->palette().color(QPalette::WindowText));
        p.drawText(label_->rect(), align_ | Qt::AlignTop | Qt::TextWordWrap, ToQt(caption_));
    };
    SetWidget(label_);
}

TransparentLabel::~TransparentLabel() {
    if (label_) label_->paint = nullptr;
}

void TransparentLabel::SetCaption(Text caption) {
    caption_ = std::move(caption);
    if (label_) label_->update();
}

} // namespace paveno::forms
