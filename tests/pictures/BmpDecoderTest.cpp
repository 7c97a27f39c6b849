// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureDecoder.h"
#include "tests/pictures/PictureFixtures.h"

#include <gtest/gtest.h>

namespace paveno {
namespace {

std::vector<QRgb> PatternPalette(int entries) {
    std::vector<QRgb> palette;
    for (int i = 0; i < entries; ++i)
        palette.push_back(test::PatternColour(i % 16));
    return palette;
}

// An n-bit channel value widened to 8 bits so that its maximum becomes 255.
int Widen(std::uint32_t v, int bits) {
    return static_cast<int>(v * 255 / ((1u << bits) - 1));
}

TEST(BmpDecoder, EveryDepthBecomesBottomUpBlueGreenRed) {
    const int w = 51, h = 7;
    auto index = [](int x, int y) { return test::PatternIndex(x, y); };
    // 16 bits: five bits a channel, from the pattern.
    auto raw555 = [](int x, int y) { return std::uint32_t((x % 32) << 10 | (y * 4 % 32) << 5 | (x + y) % 32); };
    auto raw565 = [](int x, int y) { return std::uint32_t((x % 32) << 11 | (y * 9 % 64) << 5 | (x + y) % 32); };
    auto raw888 = [](int x, int y) { return std::uint32_t((x * 5) << 16 | (y * 30) << 8 | (x + y)); };
    struct Case {
        const char* name;
        test::BitmapRecipe recipe;
        std::function<QRgb(int, int)> expected;
    };
    using S = test::BitmapRecipe;
    const std::vector<Case> cases = {
        {"1 bit", S(w, h, 1).Palette(PatternPalette(2)).Indexes([](int x, int y) { return (x + y) % 2; }),
         [](int x, int y) { return test::PatternColour((x + y) % 2); }},
        {"4 bits", S(w, h, 4).Palette(PatternPalette(16)).Indexes(index),
         [](int x, int y) { return test::PatternColour(test::PatternIndex(x, y)); }},
        {"4 bits, short palette", S(w, h, 4).Palette(PatternPalette(3)).Indexes([](int x, int) { return x % 5; }),
         [](int x, int) { return x % 5 < 3 ? test::PatternColour(x % 5) : qRgb(0, 0, 0); }},
        {"8 bits", S(w, h, 8).Palette(PatternPalette(256)).Indexes([](int x, int y) { return (x * 7 + y) % 256; }),
         [](int x, int y) { return test::PatternColour((x * 7 + y) % 16); }},
        {"8 bits top-down", S(w, h, 8).Palette(PatternPalette(16)).Indexes(index).TopDown(),
         [](int x, int y) { return test::PatternColour(test::PatternIndex(x, y)); }},
        {"8 bits, core header", S(w, h, 8).Palette(PatternPalette(16)).Indexes(index).CoreHeader(),
         [](int x, int y) { return test::PatternColour(test::PatternIndex(x, y)); }},
        {"16 bits, 5-5-5", S(w, h, 16).Raw(raw555),
         [](int x, int y) { return qRgb(Widen(x % 32, 5), Widen(y * 4 % 32, 5), Widen((x + y) % 32, 5)); }},
        {"16 bits, 5-6-5 bit fields", S(w, h, 16).Masks({0xF800, 0x07E0, 0x001F}).Raw(raw565),
         [](int x, int y) { return qRgb(Widen(x % 32, 5), Widen(y * 9 % 64, 6), Widen((x + y) % 32, 5)); }},
        {"24 bits", S(w, h, 24).Colours([](int x, int y) { return qRgb(x * 5, y * 30, 200); }),
         [](int x, int y) { return qRgb(x * 5, y * 30, 200); }},
        {"32 bits", S(w, h, 32).Raw(raw888), [](int x, int y) { return qRgb(x * 5, y * 30, x + y); }},
        {"32 bits, bit fields in another order", S(w, h, 32).Masks({0x000000FF, 0x0000FF00, 0x00FF0000}).Raw(raw888),
         [](int x, int y) { return qRgb(x + y, y * 30, x * 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedPicture p = DecodePicture(test::MakeBmp(c.recipe));
        ASSERT_EQ(p.format, PictureFormat::Bmp);
        ASSERT_EQ(p.width, w);
        ASSERT_EQ(p.height, h);
        ASSERT_EQ(p.pixels.size(), std::size_t{w * h * 3});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_TRUE(test::CloseColour(test::RawPixel(p, x, y), c.expected(x, y), 1)) << x << "," << y;
    }
}

// Run-length bitmaps: 8 bits (a run, a literal run, end of line, a jump, end of bitmap) and 4 bits.
TEST(BmpDecoder, RunLengthBitmapsDecode) {
    auto file = [](int bitCount, int compression, const ByteSet& runs) {
        const auto recipe =
            test::BitmapRecipe(4, 3, bitCount).Palette(PatternPalette(16)).Indexes([](int, int) { return 0; });
        ByteSet b = test::MakeBmp(recipe);
        b[30] = static_cast<std::uint8_t>(compression);
        const std::size_t rows = 14 + 40 + 16 * 4;
        b.resize(rows);
        b.insert(b.end(), runs.begin(), runs.end());
        return b;
    };
    struct Case {
        const char* name;
        ByteSet bytes;
        std::vector<int> bottomUpIndexes; // 4 x 3, bottom row first
    };
    const Case cases[] = {
        {"8 bits",
         file(8, 1, {3, 5, 0, 0, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 1, 0, 1, 2, 0, 1}),
         {5, 5, 5, 0, 7, 8, 9, 0, 0, 2, 0, 0}},
        {"4 bits", file(4, 2, {4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1}), {1, 2, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedPicture p = DecodePicture(c.bytes);
        ASSERT_EQ(p.format, PictureFormat::Bmp);
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(test::RawPixel(p, i % 4, 2 - i / 4), test::PatternColour(c.bottomUpIndexes[i])) << i;
    }
    // The same runs without their end-of-bitmap mark: a truncated file.
    EXPECT_FALSE(DecodePicture(file(8, 1, {3, 5, 0, 0, 0, 3, 7, 8, 9})).IsPicture());
    EXPECT_FALSE(DecodePicture(file(8, 1, {0, 5, 1})).IsPicture()) << "literal run past the end";
}

TEST(BmpDecoder, DamagedOrOversizedFilesGiveNoPicture) {
    const auto recipe = test::BitmapRecipe(51, 7, 24).Colours([](int x, int y) { return qRgb(x, y, 0); });
    const ByteSet good = test::MakeBmp(recipe);
    ASSERT_TRUE(DecodePicture(good).IsPicture());
    auto patched = [&](std::size_t at, std::uint32_t value, int bytes) {
        ByteSet b = good;
        for (int i = 0; i < bytes; ++i)
            b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    struct Case {
        const char* name;
        ByteSet bytes;
    };
    const Case cases[] = {
        {"53 bytes", ByteSet(good.begin(), good.begin() + 53)},
        {"last row missing a pixel byte", ByteSet(good.begin(), good.end() - 4)},
        {"rows offset past the end", patched(10, 0x10000, 4)},
        {"2 bits per pixel", patched(28, 2, 2)},
        {"JPEG compression", patched(30, 4, 4)},
        {"width zero", patched(18, 0, 4)},
        {"negative width", patched(18, 0xFFFFFFF0, 4)},
        {"height of the most negative number", patched(22, 0x80000000, 4)},
        {"100000 x 100000", patched(18, 100000, 4)},
        {"unknown header size", patched(14, 20, 4)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(DecodePicture(c.bytes).IsPicture()) << c.name;
    // Declared 30000 x 3000 with the rows of a small file: refused without taking 270 MB.
    ByteSet big = patched(18, 30000, 4);
    big[22] = 0xB8;
    big[23] = 0x0B;
    EXPECT_FALSE(DecodePicture(big).IsPicture());
}

} // namespace
} // namespace paveno
