// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureDecoder.h"
#include "tests/pictures/PictureFixtures.h"

#include <gtest/gtest.h>

namespace paveno {
namespace {

// Four flat quarters, far enough apart for JPEG's rounding: red top-left, green top-right, blue bottom-left, grey.
QRgb Quarters(int x, int y, int w, int h) {
    const bool right = x >= w / 2, bottom = y >= h / 2;
    if (!right && !bottom) return qRgb(230, 20, 20);
    if (right && !bottom) return qRgb(20, 230, 20);
    if (!right) return qRgb(20, 20, 230);
    return qRgb(128, 128, 128);
}

TEST(JpegDecoder, ColourPictureBecomesBottomUpBlueGreenRedRowsOfAnyWidth) {
    struct Case {
        int width, height;
        bool progressive;
    };
    const Case cases[] = {{51, 40, false}, {51, 40, true}, {64, 17, false}, {1, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << (c.progressive ? " progressive" : ""));
        const ByteSet bytes = test::EncodeJpeg(
            c.width, c.height, 3, [&](int x, int y) { return Quarters(x, y, c.width, c.height); }, 95, c.progressive);
        const DecodedPicture p = DecodePicture(bytes);
        ASSERT_EQ(p.format, PictureFormat::Jpeg);
        ASSERT_EQ(p.width, c.width);
        ASSERT_EQ(p.height, c.height);
        EXPECT_EQ(p.stride, static_cast<std::size_t>(c.width) * 3);
        ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(c.width) * c.height * 3);
        // Away from the quarters' edges every pixel keeps its colour.
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const bool nearEdge = std::abs(2 * x - c.width) < 18 || std::abs(2 * y - c.height) < 18;
                if (nearEdge && c.width > 1) continue;
                ASSERT_TRUE(test::CloseColour(test::RawPixel(p, x, y), Quarters(x, y, c.width, c.height), 12))
                    << "pixel " << x << "," << y;
            }
        }
    }
}

TEST(JpegDecoder, GreyPictureHasThreeEqualComponents) {
    const int w = 33, h = 9;
    const ByteSet bytes = test::EncodeJpeg(
        w, h, 1, [](int x, int) { return qRgb(x * 7, 0, 0); }, 100);
    const DecodedPicture p = DecodePicture(bytes);
    ASSERT_EQ(p.format, PictureFormat::Jpeg);
    ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(w * h * 3));
    for (std::size_t i = 0; i < p.pixels.size(); i += 3) {
        ASSERT_EQ(p.pixels[i], p.pixels[i + 1]);
        ASSERT_EQ(p.pixels[i], p.pixels[i + 2]);
    }
    for (int x = 0; x < w; ++x)
        EXPECT_NEAR(qRed(test::RawPixel(p, x, 4)), x * 7, 3) << x;
}

TEST(JpegDecoder, DamagedOrOversizedFilesGiveNoPicture) {
    const ByteSet whole = test::EncodeJpeg(51, 40, 3, [](int x, int y) { return qRgb(x * 5, y * 6, 90); });
    const ByteSet progressive = test::EncodeJpeg(
        51, 40, 3, [](int x, int y) { return qRgb(x * 5, y * 6, 90); }, 90, true);
    ASSERT_TRUE(DecodePicture(whole).IsPicture());

    // Start-of-frame markers hold the height and width at 5 and 7 past the marker.
    auto withSize = [&](int width, int height) {
        ByteSet b = whole;
        for (std::size_t i = 2; i + 9 < b.size(); ++i) {
            if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
                b[i + 5] = static_cast<std::uint8_t>(height >> 8);
                b[i + 6] = static_cast<std::uint8_t>(height);
                b[i + 7] = static_cast<std::uint8_t>(width >> 8);
                b[i + 8] = static_cast<std::uint8_t>(width);
                break;
            }
        }
        return b;
    };
    auto cut = [](const ByteSet& b, std::size_t n) { return ByteSet(b.begin(), b.begin() + n); };
    struct Case {
        const char* name;
        ByteSet bytes;
    };
    const Case cases[] = {
        {"cut in half", cut(whole, whole.size() / 2)},
        {"progressive cut in half", cut(progressive, progressive.size() / 2)},
        {"without its end marker", cut(whole, whole.size() - 2)},
        {"header only", cut(whole, 200)},
        {"16000 x 16000 (more than 256 MiB of pixels)", withSize(16000, 16000)},
        {"width zero", withSize(0, 40)},
    };
    for (const Case& c : cases) {
        const DecodedPicture p = DecodePicture(c.bytes);
        EXPECT_FALSE(p.IsPicture()) << c.name;
        EXPECT_TRUE(p.pixels.empty()) << c.name;
    }
}

} // namespace
} // namespace paveno
