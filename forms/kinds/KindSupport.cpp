// SPDX-License-Identifier: MIT
#include "forms/kinds/KindSupport.h"

#include "forms/format/PropertyBlock.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace paveno::forms {

namespace {

const QString kCjkFace = QStringLiteral("WenQuanYi Micro Hei");
constexpr const char* kControlWidget = "pavenoControl";
constexpr const char* kDataBackground = "pavenoDataBackground";

// Faces of a Chinese Windows desktop; none is installed here, and the CJK face draws every one of their characters.
bool IsWindowsFace(const QString& face) {
    static const QStringList kFaces = {
        QStringLiteral("宋体"),         QStringLiteral("新宋体"),          QStringLiteral("黑体"),
        QStringLiteral("楷体"),         QStringLiteral("楷体_GB2312"),     QStringLiteral("仿宋"),
        QStringLiteral("仿宋_GB2312"),  QStringLiteral("微软雅黑"),        QStringLiteral("幼圆"),
        QStringLiteral("隶书"),         QStringLiteral("华文细黑"),        QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"),      QStringLiteral("SimHei"),          QStringLiteral("KaiTi"),
        QStringLiteral("FangSong"),     QStringLiteral("Microsoft YaHei"), QStringLiteral("MS Sans Serif"),
        QStringLiteral("MS Shell Dlg"), QStringLiteral("MS Shell Dlg 2"),  QStringLiteral("System"),
        QStringLiteral("Tahoma"),       QStringLiteral("Arial"),           QStringLiteral("Verdana"),
        QStringLiteral("Courier New"),  QStringLiteral("Times New Roman"), QStringLiteral("Fixedsys"),
    };
    return face.isEmpty() || kFaces.contains(face, Qt::CaseInsensitive);
}

} // namespace

QFont DefaultGuiFont() {
    QFont f = QApplication::font();
    f.setFamilies({kCjkFace});
    f.setPixelSize(12);
    return f;
}

QFont FontOf(std::span<const std::uint8_t> blob) {
    std::optional<format::LogFont> lf = format::DecodeLogFont(blob);
    if (!lf) return DefaultGuiFont();
    QFont f = DefaultGuiFont();
    QString face = ToQt(lf->face);
    // An unknown face is asked for first, the CJK face stands behind it for the glyphs it lacks.
    f.setFamilies(IsWindowsFace(face) ? QStringList{kCjkFace} : QStringList{face, kCjkFace});
    // Negative: character height in pixels. Positive: cell height, of which the characters take about five sixths.
    // Absurd heights are held to a size a screen can show.
    std::int64_t h = lf->height;
    if (h < 0)
        f.setPixelSize(static_cast<int>(std::min<std::int64_t>(-h, 500)));
    else if (h > 0)
        f.setPixelSize(static_cast<int>(std::clamp<std::int64_t>(h * 5 / 6, 1, 500)));
    if (lf->weight > 0) f.setWeight(static_cast<QFont::Weight>(std::clamp(lf->weight, 1, 1000)));
    f.setItalic(lf->italic != 0);
    f.setUnderline(lf->underline != 0);
    f.setStrikeOut(lf->strikeOut != 0);
    return f;
}

void Place(QWidget* widget, const CreateArgs& args, const QFont& font) {
    widget->setGeometry(args.record.left, args.record.top, std::max(args.record.width, 0),
                        std::max(args.record.height, 0));
    widget->setFont(font);
    widget->setProperty(kControlWidget, true);
}

bool IsControlWidget(const QWidget* widget) {
    return widget && widget->property(kControlWidget).toBool();
}

// The system colours of the classic Windows scheme the window data was made on.
QPalette ClassicPalette() {
    const QColor face(0xF0, 0xF0, 0xF0), text(Qt::black), white(Qt::white);
    QPalette pal(text, face, white, QColor(0xA0, 0xA0, 0xA0), QColor(0xC8, 0xC8, 0xC8), text, white, white, face);
    pal.setColor(QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3));
    pal.setColor(QPalette::Shadow, QColor(0x69, 0x69, 0x69));
    pal.setColor(QPalette::AlternateBase, QColor(0xF7, 0xF7, 0xF7));
    pal.setColor(QPalette::Highlight, QColor(0x33, 0x99, 0xFF));
    pal.setColor(QPalette::HighlightedText, white);
    pal.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    pal.setColor(QPalette::ToolTipText, text);
    pal.setColor(QPalette::PlaceholderText, QColor(0x6D, 0x6D, 0x6D));
    pal.setColor(QPalette::Link, QColor(0x00, 0x66, 0xCC));
    pal.setColor(QPalette::LinkVisited, QColor(0x80, 0x00, 0x80));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, QColor(0x6D, 0x6D, 0x6D));
    return pal;
}

bool SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    if (!text.isValid() && !background.isValid()) {
        widget->setPalette(QPalette()); // the desktop's, inherited
        widget->setAutoFillBackground(false);
        return false;
    }
    QPalette pal = ClassicPalette();
    if (text.isValid()) {
        // A disabled control keeps the classic grey.
        for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
            pal.setColor(QPalette::Active, role, text);
            pal.setColor(QPalette::Inactive, role, text);
        }
    }
    if (background.isValid()) {
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            pal.setColor(role, background);
    }
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
    return true;
}

void MarkDataBackground(QWidget* widget, bool painted) {
    widget->setProperty(kDataBackground, painted);
}

bool HasDataBackground(const QWidget* widget) {
    return widget && widget->property(kDataBackground).toBool();
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void SmoothPictures(QPainter& painter) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

void PaintedWidget::paintEvent(QPaintEvent*) {
    if (!paint) return;
    QPainter painter(this);
    paint(painter);
}

} // namespace paveno::forms
