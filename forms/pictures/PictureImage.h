// SPDX-License-Identifier: MIT
#pragma once

#include "forms/pictures/DecodedPicture.h"

#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QSize>

class QPainter;

namespace paveno {

// A decoded picture made ready for drawing, once: a 32-bit Qt image that every paint reuses (and that
// QPixmap::fromImage takes without conversion). Palette and 1-bit pictures are expanded to their colours; an icon
// or cursor keeps all its images for an icon of several sizes.
class PictureImage {
public:
    PictureImage() = default;
    explicit PictureImage(const DecodedPicture& picture);

    bool IsNull() const { return image_.isNull(); }
    PictureFormat Format() const { return format_; }
    QSize Size() const { return image_.size(); }

    // The picture at its own size, top row first: Format_RGB32, or Format_ARGB32_Premultiplied for icons.
    const QImage& Image() const { return image_; }

    // Keeps only the top-left part of this size (nothing drawn elsewhere changes).
    void CutTo(QSize size);

    // Icons and cursors with every size they hold; any other picture as a one-image icon. Needs a Qt GUI application.
    QIcon Icon() const;

    // Draws the picture at its own size with its top-left corner at topLeft; nothing for no picture.
    void Draw(QPainter& painter, QPoint topLeft) const;

private:
    PictureFormat format_ = PictureFormat::None;
    QImage image_;
    std::vector<QImage> iconImages_;
};

// The picture as a 32-bit Qt image, top row first; a null image for no picture or inconsistent pixel data.
QImage ToQImage(const DecodedPicture& picture);

} // namespace paveno
