// SPDX-License-Identifier: MIT
// WriteIniValue of a new book into the library index, at several index sizes. Each write replaces the whole file
// (temporary file, fsync, rename), so the baselines, measured in the same run on the same folder, are writing the
// same number of bytes once with a plain open/write/close, and the same with an fsync before the close.
#include "services/Files.h"
#include "services/Ini.h"
#include "tests/support/TempRunDirectory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace paveno;

namespace {

const Text kNovels = "\xD0\xA1\xCB\xB5";                     // 小说
const Text kCategory = "\xCD\xEA\xB1\xBE\\\xD0\xFE\xBB\xC3"; // 完本\玄幻
constexpr int kRounds = 31;

Text Title(int i) {
    return "\xCA\xE9\xC3\xFB" + std::to_string(i) + "\xB5\xDA\xD2\xBB\xB2\xBF"; // 书名<i>第一部
}

Text ArchivePath(const Text& run, const Text& title) {
    return run + "\\" + kNovels + "\\" + kCategory + "\\" + title + ".rar";
}

double MedianMs(const std::function<void(int)>& step) {
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        step(i);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + kRounds / 2, times.end());
    return times[kRounds / 2];
}

void PlainWrite(const std::string& path, const std::string& bytes, bool sync) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    if (write(fd, bytes.data(), bytes.size()) < 0) std::perror("write");
    if (sync) fsync(fd);
    close(fd);
}

} // namespace

int main() {
    std::printf("WriteIniValue of a new key into the library index (median of %d writes)\n\n", kRounds);
    std::printf("%8s %10s %12s %12s %12s %10s %10s %12s\n", "keys", "file KB", "write ms", "plain ms", "plain+fsync",
                "x plain", "x fsync", "read us");
    for (int keys : {1000, 5000, 20000}) {
        test::TempRunDirectory run;
        const Text root = run.gbkPath();
        const Text index = root + "\\" + kNovels + ".ini";

        // The index as the collector leaves it: one section, one key per title, the archive path as value.
        std::string bytes = "[" + kNovels + "]\r\n";
        for (int i = 0; i < keys; ++i)
            bytes += Title(i) + "=" + ArchivePath(root, Title(i)) + "\r\n";
        WriteFileBytes(index, BytesOf(bytes));
        ReadIniValue(index, kNovels, Title(0)); // parsed once, as the first lookup of a run would

        double writeMs = MedianMs([&](int i) {
            const Text title = Title(keys + i);
            WriteIniValue(index, kNovels, title, ArchivePath(root, title));
        });
        std::vector<std::uint8_t> now = ReadFileBytes(index);
        const std::string same(now.begin(), now.end());
        const std::string plainPath = (run.path() / "plain.ini").string();
        double plainMs = MedianMs([&](int) { PlainWrite(plainPath, same, false); });
        double syncMs = MedianMs([&](int) { PlainWrite(plainPath, same, true); });
        double readMs = MedianMs([&](int i) { ReadIniValue(index, kNovels, Title(i * 97 % keys)); });

        std::printf("%8d %10.0f %12.3f %12.3f %12.3f %10.2f %10.2f %12.2f\n", keys, same.size() / 1024.0, writeMs,
                    plainMs, syncMs, writeMs / plainMs, writeMs / syncMs, readMs * 1000);
    }
    return 0;
}
