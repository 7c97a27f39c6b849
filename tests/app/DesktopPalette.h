// SPDX-License-Identifier: MIT
#pragma once
// Desktops for the tests of the windows' looks, and how the looks are measured: on rendered pixels.

#include "tools/snapshot/DarkPalette.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace paveno::test {

// The luminance contrast of two colours (1 none, 21 black on white), as accessibility guidelines measure it.
inline double Contrast(QRgb a, QRgb b) {
    const auto luminance = [](QRgb c) {
        const auto linear = [](int v) {
            const double s = v / 255.0;
            return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The desktop of the test: Fusion and the given palette, for the whole application; put back afterwards.
class Desktop {
public:
    explicit Desktop(const QPalette& palette)
        : style_(QApplication::style()->name()), palette_(QApplication::palette()) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(palette);
    }
    ~Desktop() {
        QApplication::setStyle(QStyleFactory::create(style_));
        QApplication::setPalette(palette_);
    }

private:
    QString style_;
    QPalette palette_;
};

// The pixels of a control as the window shows them, whatever lies beneath it (a transparent label has no
// background of its own).
inline QImage Shot(QWidget* widget) {
    QWidget* window = widget->window();
    const QRect area(widget->mapTo(window, QPoint()), widget->size());
    return window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
}

// The best contrast among the pixels that differ between two pictures of one area, and how many differ.
struct PixelChange {
    int changed = 0;
    double best = 1;
};

inline PixelChange Compare(const QImage& with, const QImage& without) {
    PixelChange m;
    for (int y = 0; y < std::min(with.height(), without.height()); ++y) {
        for (int x = 0; x < std::min(with.width(), without.width()); ++x) {
            const QRgb a = with.pixel(x, y), b = without.pixel(x, y);
            if (a == b) continue;
            ++m.changed;
            m.best = std::max(m.best, Contrast(a, b));
        }
    }
    return m;
}

} // namespace paveno::test
