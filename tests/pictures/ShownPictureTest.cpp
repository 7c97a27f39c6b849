// SPDX-License-Identifier: MIT
// A picture decoded for a box: what the box shows, and no more memory than that takes.
#include "forms/pictures/PictureDecoder.h"
#include "forms/pictures/PictureImage.h"
#include "tests/pictures/PictureFixtures.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>

namespace paveno {
namespace {

QRgb Busy(int x, int y) {
    return qRgb((x * 7 + y) % 256, (y * 5) % 256, (x * y) % 256);
}

// The picture a box of w x h shows, decoded for it and cut to it.
QImage ShownIn(const ByteSet& bytes, int w, int h) {
    PictureImage image(DecodePictureShown(bytes, w, h));
    image.CutTo(QSize(w, h));
    return image.Image();
}

// Runs `body` in a child process whose address space may grow by at most `extraBytes`; its exit status, -1 when
// it did not exit.
int InChildWithin(std::size_t extraBytes, const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::ifstream status("/proc/self/status");
        std::size_t kib = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0) kib = std::stoul(line.substr(7));
        const rlimit limit{kib * 1024 + extraBytes, kib * 1024 + extraBytes};
        setrlimit(RLIMIT_AS, &limit);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

} // namespace

// The box draws the picture at its own size from its top-left corner: decoding for the box shows the same pixels.
TEST(ShownPicture, ABoxShowsTheSameCornerOfEveryPicture) {
    struct Case {
        const char* what;
        ByteSet bytes;
    };
    const Case cases[] = {
        {"colour JPEG", test::EncodeJpeg(500, 400, 3, Busy)},
        {"grey JPEG", test::EncodeJpeg(300, 500, 1, Busy)},
        {"progressive JPEG", test::EncodeJpeg(500, 400, 3, Busy, 90, true)},
        {"JPEG smaller than the box", test::EncodeJpeg(51, 40, 3, Busy)},
        {"JPEG as wide as the box", test::EncodeJpeg(152, 300, 3, Busy)},
        {"bitmap", test::MakeBmp(test::BitmapRecipe(400, 300, 24).Colours(Busy))},
        {"GIF", test::MakeGif({300, 250, 0, 0, 300, 250, false,
                               [] {
                                   std::vector<QRgb> palette;
                                   for (int i = 0; i < 16; ++i)
                                       palette.push_back(test::PatternColour(i));
                                   return palette;
                               }(),
                               test::PatternIndex})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage whole = PictureImage(DecodePicture(c.bytes)).Image();
        ASSERT_FALSE(whole.isNull());
        const QImage shown = ShownIn(c.bytes, 152, 216);
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(shown.size(), QSize(std::min(whole.width(), 152), std::min(whole.height(), 216)));
        EXPECT_EQ(shown, whole.copy(0, 0, shown.width(), shown.height()));
    }
    EXPECT_FALSE(DecodePictureShown(test::EncodeJpeg(51, 40, 3, Busy), 0, 216).IsPicture()) << "a box of no size";
}

// A cover of 8192 x 8192 pixels (a few hundred kB of JPEG) shown in a box of 152 x 216 decodes within 40 MB of
// address space; decoded whole it would take 256 MB and fails there. Any other format is bounded instead: one
// whose drawable image passes the budget is no picture in a box.
TEST(ShownPicture, AHugeCoverCostsWhatTheBoxShows) {
    const ByteSet huge = test::EncodeJpeg(
        8192, 8192, 3, [](int x, int y) { return qRgb(x / 64, y / 64, 100); }, 75);
    ASSERT_LT(huge.size(), std::size_t{4} << 20);
    constexpr std::size_t kRoom = std::size_t{40} << 20;
    EXPECT_EQ(InChildWithin(kRoom,
                            [&] {
                                const QImage shown = ShownIn(huge, 152, 216);
                                return shown.size() == QSize(152, 216) &&
                                               test::CloseColour(shown.pixel(100, 200), qRgb(1, 3, 100), 6)
                                           ? 0
                                           : 1;
                            }),
              0);
    EXPECT_EQ(InChildWithin(kRoom, [&] { return DecodePicture(huge).IsPicture() ? 0 : 1; }), 1)
        << "the room is too small for the whole picture, so the first check means something";

    const ByteSet bigBitmap = test::MakeBmp(test::BitmapRecipe(2100, 2100, 24).Colours(Busy));
    EXPECT_TRUE(DecodePicture(bigBitmap).IsPicture());
    EXPECT_FALSE(DecodePictureShown(bigBitmap, 152, 216).IsPicture());
    EXPECT_TRUE(DecodePicture(bigBitmap).IsPicture()) << "the budget was for the box's decoding only";
}

} // namespace paveno
