// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureDecoder.h"
#include "tests/pictures/PictureFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace paveno {
namespace {

TEST(PictureRecognition, FirstSixBytesDecideInTableOrder) {
    struct Case {
        const char* name;
        ByteSet bytes;
        PictureFormat expected;
    };
    const Case cases[] = {
        {"bitmap", {'B', 'M', 0, 0, 0, 0}, PictureFormat::Bmp},
        {"jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0}, PictureFormat::Jpeg},
        {"five bytes of jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0}, PictureFormat::None},
        {"icon", {0, 0, 1, 0, 1, 0}, PictureFormat::Icon},
        {"icon without images", {0, 0, 1, 0, 0, 0}, PictureFormat::None},
        {"cursor", {0, 0, 2, 0, 3, 0}, PictureFormat::Cursor},
        {"gif87a", {'G', 'I', 'F', '8', '7', 'a'}, PictureFormat::Gif},
        {"gif89a", {'G', 'I', 'F', '8', '9', 'a'}, PictureFormat::Gif},
        {"gif88a", {'G', 'I', 'F', '8', '8', 'a'}, PictureFormat::None},
        {"pcx 8 bits version 5", {0x0A, 5, 1, 8, 0, 0}, PictureFormat::Pcx8},
        {"pcx 8 bits version 0", {0x0A, 0, 1, 8, 0, 0}, PictureFormat::Pcx8},
        {"pcx 8 bits version 6", {0x0A, 6, 1, 8, 0, 0}, PictureFormat::None},
        {"pcx 1 bit version 3", {0x0A, 3, 1, 1, 0, 0}, PictureFormat::Pcx1},
        {"pcx 1 bit version 5", {0x0A, 5, 1, 1, 0, 0}, PictureFormat::None},
        {"pcx not run-length", {0x0A, 5, 0, 8, 0, 0}, PictureFormat::None},
        {"png", {0x89, 'P', 'N', 'G', '\r', '\n'}, PictureFormat::None},
        {"empty", {}, PictureFormat::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecognisePictureFormat(c.bytes.data(), c.bytes.size()), c.expected) << c.name;
    EXPECT_EQ(RecognisePictureFormat(nullptr, 100), PictureFormat::None);
    EXPECT_FALSE(DecodePicture(nullptr, 100).IsPicture());
}

TEST(PictureRecognition, NotAPictureGivesNoPictureSilently) {
    const ByteSet jpeg = test::EncodeJpeg(8, 8, 3, [](int, int) { return qRgb(10, 20, 30); });
    struct Case {
        const char* name;
        ByteSet bytes;
    };
    const Case cases[] = {
        {"png file", test::ReadPictureFixture("pattern.png")},
        {"five bytes beginning like a jpeg", ByteSet(jpeg.begin(), jpeg.begin() + 5)},
        {"jpeg signature then rubbish", {0xFF, 0xD8, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
        {"text", BytesOf("hello, this is not a picture")},
        {"bitmap signature only", {'B', 'M', 1, 2, 3, 4, 5, 6}},
        {"gif signature only", {'G', 'I', 'F', '8', '9', 'a'}},
        {"icon directory pointing past the end",
         {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0, 1, 0, 0, 22, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const DecodedPicture p = DecodePicture(c.bytes);
        EXPECT_FALSE(p.IsPicture()) << c.name;
        EXPECT_EQ(p.width, 0) << c.name;
        EXPECT_TRUE(p.pixels.empty()) << c.name;
        EXPECT_TRUE(p.images.empty()) << c.name;
    }
}

// The fuzz targets' seeds come from another encoder (Pillow) and from hand: each must decode as its folder says.
TEST(PictureRecognition, FuzzSeedsDecode) {
    const auto seeds = std::filesystem::path(PAVENO_SOURCE_DIR) / "fuzz" / "corpus";
    const std::pair<const char*, std::vector<PictureFormat>> folders[] = {
        {"jpeg", {PictureFormat::Jpeg}},
        {"bmp", {PictureFormat::Bmp}},
        {"gif", {PictureFormat::Gif}},
        {"pcx", {PictureFormat::Pcx8, PictureFormat::Pcx1}},
        {"icon", {PictureFormat::Icon, PictureFormat::Cursor}},
    };
    for (const auto& [folder, formats] : folders) {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(seeds / folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const ByteSet bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            const DecodedPicture p = DecodePicture(bytes);
            EXPECT_NE(std::find(formats.begin(), formats.end(), p.format), formats.end()) << entry.path();
            EXPECT_GT(p.width, 0) << entry.path();
            ++count;
        }
        EXPECT_GE(count, 2) << folder;
    }
}

} // namespace
} // namespace paveno
