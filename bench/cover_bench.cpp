// SPDX-License-Identifier: MIT
// Memory taken by a large cover shown in the library window's picture box (152 x 216), decoded whole as before and
// decoded for the box: the peak resident growth of a child process that does only the decoding, against a child that
// does nothing (the baseline of the same run).
#include "forms/pictures/PictureDecoder.h"
#include "forms/pictures/PictureImage.h"
#include "tools/jpeg/JpegEncoder.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {

long PeakKib(const std::function<void()>& work) {
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return -1;
    return usage.ru_maxrss;
}

} // namespace

int main() {
    using namespace paveno;
    for (const int side : {2048, 4096, 8192}) {
        const ByteSet cover = tools::EncodeJpeg({side, side, 3, 75}, [](int x, int y) {
            return static_cast<std::uint32_t>((x / 64) << 16 | (y / 64) << 8 | 100);
        });
        const long base = PeakKib([] {});
        const long whole = PeakKib([&] { PictureImage image(DecodePicture(cover)); });
        const long shown = PeakKib([&] {
            PictureImage image(DecodePictureShown(cover, 152, 216));
            image.CutTo(QSize(152, 216));
        });
        std::printf("%5d x %-5d cover (%6zu kB): whole %7.1f MB, for the box %6.1f MB, ratio %.3f\n", side, side,
                    cover.size() / 1000, (whole - base) / 1024.0, (shown - base) / 1024.0,
                    double(shown - base) / double(whole - base));
    }
    return 0;
}
