// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureImage.h"
#include "forms/pictures/PictureDecoder.h"
#include "tests/pictures/PictureFixtures.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace paveno {
namespace {

// Every format's Qt image shows, top row first, exactly the colours of the decoded pixel data.
TEST(PictureImage, EveryFormatShowsItsPixels) {
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(test::PatternColour(i));
    const auto bmp = test::BitmapRecipe(51, 9, 8).Palette(palette).Indexes(test::PatternIndex);
    const std::vector<std::uint8_t> bits = {0xF0, 0x0F, 0x55, 0xAA, 0x00, 0xFF};
    struct Case {
        const char* name;
        ByteSet bytes;
        PictureFormat format;
    };
    const Case cases[] = {
        {"jpeg of width 51", test::EncodeJpeg(51, 20, 3, [](int x, int y) { return qRgb(x * 5, y * 12, 60); }),
         PictureFormat::Jpeg},
        {"grey jpeg", test::EncodeJpeg(10, 3, 1, [](int x, int) { return qRgb(x * 20, 0, 0); }), PictureFormat::Jpeg},
        {"bitmap of width 51", test::MakeBmp(bmp), PictureFormat::Bmp},
        {"interlaced gif", test::ReadPictureFixture("pattern-interlaced.gif"), PictureFormat::Gif},
        {"8-bit pcx", test::ReadPictureFixture("pattern.pcx"), PictureFormat::Pcx8},
        {"1-bit pcx", test::MakePcx(3, 1, 13, 3, bits, 2, {}), PictureFormat::Pcx1},
        {"icon", test::ReadPictureFixture("half-transparent-png.ico"), PictureFormat::Icon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedPicture p = DecodePicture(c.bytes);
        ASSERT_EQ(p.format, c.format);
        const PictureImage image(p);
        ASSERT_FALSE(image.IsNull());
        EXPECT_EQ(image.Format(), c.format);
        ASSERT_EQ(image.Size(), QSize(p.width, p.height));
        const QImage& q = image.Image();
        EXPECT_TRUE(q.format() == QImage::Format_RGB32 || q.format() == QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                ASSERT_EQ(q.pixel(x, y), test::RawPixel(p, x, y)) << x << "," << y;
    }
}

TEST(PictureImage, DrawsAtItsPlaceOverTheBackground) {
    // The button's picture: 51 wide, so its rows are not a multiple of 4 bytes; red above, blue below.
    const DecodedPicture p = DecodePicture(
        test::EncodeJpeg(51, 16, 3, [](int, int y) { return y < 8 ? qRgb(240, 0, 0) : qRgb(0, 0, 240); }));
    const PictureImage image(p);
    QImage canvas(70, 30, QImage::Format_RGB32);
    canvas.fill(qRgb(0, 255, 0));
    QPainter painter(&canvas);
    image.Draw(painter, QPoint(10, 5));
    PictureImage().Draw(painter, QPoint(0, 0)); // no picture draws nothing
    painter.end();
    struct Case {
        int x, y;
        QRgb expected;
    };
    const Case cases[] = {
        {0, 0, qRgb(0, 255, 0)},   {9, 5, qRgb(0, 255, 0)},   {10, 5, qRgb(240, 0, 0)},
        {60, 5, qRgb(240, 0, 0)},  {61, 5, qRgb(0, 255, 0)},  {35, 9, qRgb(240, 0, 0)},
        {35, 18, qRgb(0, 0, 240)}, {60, 20, qRgb(0, 0, 240)}, {60, 21, qRgb(0, 255, 0)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(test::CloseColour(canvas.pixel(c.x, c.y), c.expected, 6)) << c.x << "," << c.y;
}

TEST(PictureImage, InconsistentPicturesGiveNoImage) {
    DecodedPicture shortRows;
    shortRows.format = PictureFormat::Bmp;
    shortRows.width = 4;
    shortRows.height = 4;
    shortRows.stride = 12;
    shortRows.pixels.assign(47, 0);
    DecodedPicture noPalette = DecodePicture(test::ReadPictureFixture("pattern.gif"));
    noPalette.pixels.resize(kPaletteBitmapPrefixSize - 1);
    DecodedPicture emptyIcon;
    emptyIcon.format = PictureFormat::Icon;
    for (const DecodedPicture* p : {&shortRows, &noPalette, &emptyIcon}) {
        EXPECT_TRUE(ToQImage(*p).isNull());
        EXPECT_TRUE(PictureImage(*p).IsNull());
        EXPECT_EQ(PictureImage(*p).Format(), PictureFormat::None);
    }
}

} // namespace
} // namespace paveno
