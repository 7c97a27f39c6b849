// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Control.h"
#include "services/Text.h"

#include <QFont>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <functional>

#include <cstdint>
#include <span>

namespace paveno::forms {

// The font the kinds use when a block holds none: the CJK face at 12 pixels, the size of the old default GUI font.
QFont DefaultGuiFont();
// A LOGFONT blob as a Qt font; a blob that is no LOGFONT gives DefaultGuiFont(). Windows face names ("宋体",
// "Tahoma", ...) become the installed CJK face, so every Chinese caption has glyphs; a height of -N asks for
// characters N pixels high.
QFont FontOf(std::span<const std::uint8_t> blob);

// Places a new widget as its record says and gives it the font. The widget is marked as a control's own widget
// (IsControlWidget), so that the window finds its controls among the widgets Qt made inside them.
void Place(QWidget* widget, const CreateArgs& args, const QFont& font);
bool IsControlWidget(const QWidget* widget);

// The light desktop the window data was drawn for: black text on white fields and light grey faces. Where the window
// data chooses one colour of a control, the other comes from here, never from the desktop, so that a dark desktop
// palette cannot put white text on the data's white background (or black text on its own dark one).
QPalette ClassicPalette();

// Text and background colours of a widget from its window data; an invalid colour is one the data leaves open.
// When the data gives either, the widget takes the classic palette with the given colours over it and fills its
// background; when it gives neither, the widget follows the desktop's palette whole. Gives whether the data chose.
bool SetColours(QWidget* widget, const QColor& text, const QColor& background);

// A widget whose background the window data paints (a colour or a picture): what is drawn straight onto it, without
// a background of its own, takes its colours from the classic palette too.
void MarkDataBackground(QWidget* widget, bool painted);
bool HasDataBackground(const QWidget* widget);

// The contrast of two colours as the web's accessibility guidelines measure it: 1 (none) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// Pictures scaled to the screen (150%, 200%) are filtered rather than doubled pixel by pixel.
void SmoothPictures(QPainter& painter);

// The Qt side of a kind's GBK text: what the program wrote is given back byte for byte unless the user edited the
// widget since, in which case the widget's text (converted) is the content.
class HeldText {
public:
    void Set(Text bytes) {
        bytes_ = std::move(bytes);
        edited_ = false;
    }
    void MarkEdited() { edited_ = true; }
    bool edited() const { return edited_; }
    const Text& bytes() const { return bytes_; }
    Text Current(const QString& shown) const { return edited_ ? FromQt(shown) : bytes_; }

private:
    Text bytes_;
    bool edited_ = false;
};

// A widget that a kind paints itself. The kind clears the painter when it dies, since the widget may outlive it.
class PaintedWidget : public QWidget {
public:
    explicit PaintedWidget(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> paint;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Property-table helpers: the control as its own class.
template <class K> K& As(Control& c) {
    return static_cast<K&>(c);
}
template <class K> const K& As(const Control& c) {
    return static_cast<const K&>(c);
}
inline std::int32_t IntOf(const Value& v) {
    return static_cast<std::int32_t>(v.integer());
}
inline std::uint32_t UIntOf(const Value& v) {
    return static_cast<std::uint32_t>(v.integer());
}
inline Value IntValue(std::uint32_t v) {
    return Value::Integer(static_cast<std::int32_t>(v));
}

} // namespace paveno::forms
