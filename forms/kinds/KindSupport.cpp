// SPDX-License-Identifier: MIT
#include "forms/kinds/KindSupport.h"

#include "forms/format/PropertyBlock.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include <algorithm>

namespace paveno::forms {

namespace {

const QString kCjkFace = QStringLiteral("WenQuanYi Micro Hei");

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
}

void SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette pal = widget->palette();
    if (text.isValid()) {
        for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            pal.setColor(role, text);
    }
    if (background.isValid()) {
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            pal.setColor(role, background);
    }
    widget->setPalette(pal);
    if (background.isValid()) widget->setAutoFillBackground(true);
}

void PaintedWidget::paintEvent(QPaintEvent*) {
    if (!paint) return;
    QPainter painter(this);
    paint(painter);
}

} // namespace paveno::forms
