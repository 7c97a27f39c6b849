// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Control.h"
#include "services/Text.h"

#include <QFont>
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

// Places a new widget as its record says and gives it the font.
void Place(QWidget* widget, const CreateArgs& args, const QFont& font);

// Text and background colours of a widget (invalid colours keep the palette's own). A valid background is filled.
void SetColours(QWidget* widget, const QColor& text, const QColor& background);

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
