// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureDecoder.h"
#include "tests/pictures/PictureFixtures.h"

#include <gtest/gtest.h>

namespace paveno {
namespace {

constexpr int kPatternWidth = 51, kPatternHeight = 37;

std::uint32_t HeaderField(const DecodedPicture& p, std::size_t at) {
    return p.pixels[at] | p.pixels[at + 1] << 8 | p.pixels[at + 2] << 16 |
           static_cast<std::uint32_t>(p.pixels[at + 3]) << 24;
}

void ExpectPaletteBitmap(const DecodedPicture& p, PictureFormat format, int width, int height) {
    ASSERT_EQ(p.format, format);
    ASSERT_EQ(p.width, width);
    ASSERT_EQ(p.height, height);
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
    EXPECT_EQ(p.stride, stride);
    ASSERT_EQ(p.pixels.size(), kPaletteBitmapPrefixSize + stride * height);
    // The info header describes what follows it: 8 bits per pixel, bottom-up, 256 colours.
    EXPECT_EQ(HeaderField(p, 0), 40u);
    EXPECT_EQ(HeaderField(p, 4), static_cast<std::uint32_t>(width));
    EXPECT_EQ(HeaderField(p, 8), static_cast<std::uint32_t>(height));
    EXPECT_EQ(p.pixels[14], 8);
    EXPECT_EQ(HeaderField(p, 32), 256u);
}

void ExpectPattern(const DecodedPicture& p) {
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            ASSERT_EQ(test::RawPixel(p, x, y), test::PatternColour(test::PatternIndex(x, y))) << x << "," << y;
}

TEST(GifDecoder, FirstImageBecomesPaletteBitmap) {
    // Made by another encoder (compressed codes, its own table growth): interlaced and not.
    for (const char* name : {"pattern-interlaced.gif", "pattern.gif"}) {
        SCOPED_TRACE(name);
        const ByteSet bytes = test::ReadPictureFixture(name);
        const DecodedPicture p = DecodePicture(bytes);
        ExpectPaletteBitmap(p, PictureFormat::Gif, kPatternWidth, kPatternHeight);
        ExpectPattern(p);
    }
    EXPECT_NE(test::ReadPictureFixture("pattern-interlaced.gif")[13 + 768 + 9] & 0x40, 0) << "fixture is interlaced";

    // Ours: literal codes only, interlaced with a height that leaves passes short, placed inside a larger screen.
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(test::PatternColour(i));
    for (int height : {1, 2, 3, 5, 9, 37}) {
        SCOPED_TRACE(height);
        test::GifRecipe recipe{20, height + 3, 2, 1, 13, height, true, palette, test::PatternIndex};
        const DecodedPicture p = DecodePicture(test::MakeGif(recipe));
        ExpectPaletteBitmap(p, PictureFormat::Gif, 20, height + 3);
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const bool inside = x >= 2 && x < 15 && y >= 1 && y < 1 + height;
                const QRgb expected = inside ? test::PatternColour(test::PatternIndex(x - 2, y - 1)) : palette[0];
                ASSERT_EQ(test::RawPixel(p, x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(GifDecoder, ImageIsCutToTheScreen) {
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(test::PatternColour(i));
    struct Case {
        int screenWidth, screenHeight, left, top;
        int expectedWidth, expectedHeight;
    };
    // A 9 x 6 image: on a smaller screen, on a screen of no size, and shifted on one.
    const Case cases[] = {{4, 3, 0, 0, 4, 3}, {0, 0, 0, 0, 9, 6}, {0, 0, 2, 1, 11, 7}, {5, 5, 3, 2, 5, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screenWidth << "x" << c.screenHeight << " at " << c.left << "," << c.top);
        const DecodedPicture p = DecodePicture(
            test::MakeGif({c.screenWidth, c.screenHeight, c.left, c.top, 9, 6, false, palette, test::PatternIndex}));
        ExpectPaletteBitmap(p, PictureFormat::Gif, c.expectedWidth, c.expectedHeight);
        for (int y = c.top; y < p.height; ++y)
            for (int x = c.left; x < p.width; ++x)
                ASSERT_EQ(test::RawPixel(p, x, y), palette[test::PatternIndex(x - c.left, y - c.top)]) << x << "," << y;
    }
}

TEST(GifDecoder, DamagedOrOversizedFilesGiveNoPicture) {
    const ByteSet good = test::ReadPictureFixture("pattern.gif");
    ASSERT_TRUE(DecodePicture(good).IsPicture());
    std::vector<QRgb> palette(4, qRgb(1, 2, 3));
    const ByteSet ours = test::MakeGif({8, 8, 0, 0, 8, 8, false, palette, [](int, int) { return 1; }});
    ASSERT_TRUE(DecodePicture(ours).IsPicture());
    const std::size_t dataAt = 13 + 12 + 8 + 10; // header, table, extension, descriptor
    ASSERT_EQ(ours[dataAt], 8);                  // minimum code size
    auto with = [](ByteSet b, std::size_t at, std::uint8_t v) {
        b[at] = v;
        return b;
    };
    // The first code after the clear code (9 bits from bit 9 of the data) made 300: a code not yet defined.
    ByteSet undefined = ours;
    undefined[dataAt + 3] = static_cast<std::uint8_t>((undefined[dataAt + 3] & 0x01) | (300 & 0x7F) << 1);
    undefined[dataAt + 4] = static_cast<std::uint8_t>((undefined[dataAt + 4] & 0xFC) | 300 >> 7);
    struct Case {
        const char* name;
        ByteSet bytes;
    };
    const Case cases[] = {
        {"cut in half", ByteSet(good.begin(), good.begin() + good.size() / 2)},
        {"cut before the image", ByteSet(good.begin(), good.begin() + 13 + 768)},
        {"trailer before any image", with(ByteSet(good.begin(), good.begin() + 13 + 768 + 1), 13 + 768, 0x3B)},
        {"minimum code size 12", with(ours, dataAt, 12)},
        {"undefined code", undefined},
        {"screen of 65535 x 65535", with(with(with(with(ours, 6, 0xFF), 7, 0xFF), 8, 0xFF), 9, 0xFF)},
        {"image of width zero", with(with(ours, dataAt - 5, 0), dataAt - 4, 0)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(DecodePicture(c.bytes).IsPicture()) << c.name;
}

TEST(PcxDecoder, EightBitFilesBecomePaletteBitmaps) {
    const DecodedPicture made = DecodePicture(test::ReadPictureFixture("pattern.pcx"));
    ExpectPaletteBitmap(made, PictureFormat::Pcx8, kPatternWidth, kPatternHeight);
    ExpectPattern(made);

    // Ours: lines wider than the picture (their extra bytes are not pixels) and runs that cross lines.
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(test::PatternColour(i));
    const int w = 5, h = 4, bytesPerLine = 8;
    std::vector<std::uint8_t> lines(bytesPerLine * h, 0xC5); // 0xC5 needs the run form even once
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            lines[y * bytesPerLine + x] = static_cast<std::uint8_t>(y == 2 ? 0 : test::PatternIndex(x, y));
    const DecodedPicture p = DecodePicture(test::MakePcx(5, 8, w, h, lines, bytesPerLine, palette));
    ExpectPaletteBitmap(p, PictureFormat::Pcx8, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(test::RawPixel(p, x, y), palette[y == 2 ? 0 : test::PatternIndex(x, y)]) << x << "," << y;
}

TEST(PcxDecoder, OneBitFilesBecomeRows) {
    const int w = 19, h = 3, bytesPerLine = 4;
    // Row 0 all white, row 1 alternating, row 2 black but its last pixel.
    const std::vector<std::uint8_t> lines = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0x00, 0x20, 0x00};
    const DecodedPicture p = DecodePicture(test::MakePcx(3, 1, w, h, lines, bytesPerLine, {}));
    ASSERT_EQ(p.format, PictureFormat::Pcx1);
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, h);
    EXPECT_EQ(p.stride, 4u);
    for (int x = 0; x < w; ++x) {
        EXPECT_EQ(test::RawPixel(p, x, 0), qRgb(255, 255, 255)) << x;
        EXPECT_EQ(test::RawPixel(p, x, 1), x % 2 == 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << x;
        EXPECT_EQ(test::RawPixel(p, x, 2), x == 18 ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << x;
    }
}

TEST(PcxDecoder, FilesFailingTheChecksGiveNoPicture) {
    const std::vector<std::uint8_t> lines(8 * 4, 3);
    const ByteSet good = test::MakePcx(5, 8, 5, 4, lines, 8, {qRgb(1, 2, 3)});
    ASSERT_TRUE(DecodePicture(good).IsPicture());
    auto with = [](ByteSet b, std::size_t at, std::uint8_t v) {
        b[at] = v;
        return b;
    };
    ByteSet shortRuns = test::MakePcx(5, 8, 5, 4, std::vector<std::uint8_t>(8 * 3, 3), 8, {});
    struct Case {
        const char* name;
        ByteSet bytes;
    };
    const Case cases[] = {
        {"header only", ByteSet(good.begin(), good.begin() + 128)},
        {"right less than left", with(good, 4, 9)},
        {"bottom less than top", with(good, 6, 9)},
        {"three planes", with(good, 65, 3)},
        {"lines narrower than the picture", with(good, 66, 4)},
        {"runs end before the last line", shortRuns},
        {"1 bit with lines of no bytes", with(test::MakePcx(3, 1, 8, 2, {1, 2}, 1, {}), 66, 0)},
        {"65535 x 65535 from a small file",
         with(with(with(with(with(with(good, 8, 0xFF), 9, 0xFF), 10, 0xFF), 11, 0xFF), 66, 0xFF), 67, 0xFF)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(DecodePicture(c.bytes).IsPicture()) << c.name;
}

} // namespace
} // namespace paveno
