// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureDecoder.h"
#include "forms/pictures/PictureImage.h"
#include "tests/pictures/PictureFixtures.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace paveno {
namespace {

constexpr QRgb kClear = 0;

QGuiApplication& GuiApplication() {
    static int argc = 1;
    static char name[] = "pictures_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

TEST(IconDecoder, BitmapImagesKeepColoursAndTransparency) {
    std::vector<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 0, 255)};
    // 4-bit colours, the AND mask makes the first column transparent.
    const auto small = test::BitmapRecipe(5, 4, 4).Palette(palette).Indexes([](int x, int y) { return (x + y) % 2; });
    const ByteSet smallDib = test::MakeIconDib(small, [](int x, int) { return x == 0; });
    // 32-bit colours with their own alpha: the top half transparent, the mask says nothing.
    const auto large = test::BitmapRecipe(8, 6, 32).Raw(
        [](int x, int y) { return y < 3 ? 0u : 0xFF000000u | std::uint32_t(x * 30) << 8; });
    const ByteSet largeDib = test::MakeIconDib(large, [](int, int) { return false; });

    for (int type : {1, 2}) {
        SCOPED_TRACE(type == 1 ? "icon" : "cursor");
        const DecodedPicture p = DecodePicture(test::MakeIconFile(type, {smallDib, largeDib}, {{5, 4}, {8, 6}}));
        ASSERT_EQ(p.format, type == 1 ? PictureFormat::Icon : PictureFormat::Cursor);
        ASSERT_EQ(p.images.size(), 2u);
        EXPECT_EQ(p.width, 8) << "the largest image first";
        EXPECT_EQ(p.height, 6);
        const QImage& big = p.images[0];
        const QImage& little = p.images[1];
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(big.pixel(x, y), y < 3 ? kClear : qRgb(0, x * 30, 0)) << x << "," << y;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(little.pixel(x, y), x == 0 ? kClear : palette[(x + y) % 2]) << x << "," << y;
    }
}

TEST(IconDecoder, PngImagesAndDamagedEntries) {
    const DecodedPicture png = DecodePicture(test::ReadPictureFixture("half-transparent-png.ico"));
    ASSERT_EQ(png.format, PictureFormat::Icon);
    ASSERT_EQ(png.width, 16);
    EXPECT_EQ(qAlpha(png.images[0].pixel(3, 3)), 0);
    EXPECT_EQ(png.images[0].pixel(12, 3), qRgb(255, 0, 0));

    const auto recipe = test::BitmapRecipe(4, 4, 24).Colours([](int, int) { return qRgb(9, 8, 7); });
    const ByteSet dib = test::MakeIconDib(recipe, [](int, int) { return false; });
    const ByteSet withoutMask(dib.begin(), dib.end() - 16);
    ByteSet badDepth = dib;
    badDepth[14] = 3;
    // A damaged image next to a good one leaves the good one; an icon of damaged images only is no picture.
    const DecodedPicture mixed = DecodePicture(test::MakeIconFile(1, {badDepth, dib}, {{4, 4}, {4, 4}}));
    ASSERT_EQ(mixed.format, PictureFormat::Icon);
    EXPECT_EQ(mixed.images.size(), 1u);
    EXPECT_EQ(mixed.images[0].pixel(1, 1), qRgb(9, 8, 7));
    struct Case {
        const char* name;
        ByteSet bytes;
    };
    ByteSet pastEnd = test::MakeIconFile(1, {dib}, {{4, 4}});
    pastEnd[14] = 0xFF; // the image's size
    ByteSet odd = dib;
    odd[8] = 7; // a stored height that is not twice the image's
    const Case cases[] = {
        {"24-bit image without its mask", test::MakeIconFile(1, {withoutMask}, {{4, 4}})},
        {"3 bits per pixel", test::MakeIconFile(1, {badDepth}, {{4, 4}})},
        {"odd stored height", test::MakeIconFile(1, {odd}, {{4, 4}})},
        {"image reaching past the end", pastEnd},
        {"directory longer than the file", ByteSet{0, 0, 1, 0, 200, 0, 1, 2, 3}},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(DecodePicture(c.bytes).IsPicture()) << c.name;
}

TEST(IconDecoder, PictureImageGivesAnIconOfEverySize) {
    GuiApplication();
    auto blue = [](int, int) { return qRgb(0, 128, 255); };
    const auto small = test::BitmapRecipe(16, 16, 24).Colours(blue),
               large = test::BitmapRecipe(32, 32, 24).Colours(blue);
    auto opaque = [](int, int) { return false; };
    const DecodedPicture p = DecodePicture(test::MakeIconFile(
        1, {test::MakeIconDib(small, opaque), test::MakeIconDib(large, opaque)}, {{16, 16}, {32, 32}}));
    const PictureImage image(p);
    ASSERT_FALSE(image.IsNull());
    EXPECT_EQ(image.Size(), QSize(32, 32));
    const QIcon icon = image.Icon();
    EXPECT_EQ(icon.availableSizes().size(), 2);
    EXPECT_EQ(icon.pixmap(QSize(16, 16)).toImage().pixel(5, 5), qRgb(0, 128, 255));
}

} // namespace
} // namespace paveno
