// SPDX-License-Identifier: MIT
// What the crash-safe writes cost. The library's files are written as a collection writes them: a plain
// create/truncate and write (WriteFileBytes) is the baseline; WriteFileWhole writes a temporary file in the same
// folder and renames it over the final name; ReplaceWholeFile with `durable` also syncs the data before the rename.
// Two loads: archives (100 files of 512 KiB) and small files such as covers and introductions (300 of 20 KiB), each
// into new names and over names already there (a re-download). Everything runs in one temporary folder (set TMPDIR to
// measure another disk); the methods take turns in every round, each after a sync so that it does not pay for the
// write-back of the one before. Medians of the rounds, ratios against the plain write of the same run.
// Usage: write_bench [ROUNDS] (5 when not given).
#include "services/Files.h"
#include "services/NativePath.h"
#include "services/WholeFile.h"
#include "tests/support/TempRunDirectory.h"

#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace paveno;

namespace {

struct Load {
    const char* name;
    int files;
    std::size_t bytes;
};

struct Method {
    const char* name;
    std::function<bool(const Text& gbkPath, const std::string& nativePath, const ByteSet& bytes)> write;
};

const std::array<Method, 3> kMethods = {{
    {"plain write",
     [](const Text& path, const std::string&, const ByteSet& bytes) { return WriteFileBytes(path, bytes); }},
    {"temporary + rename",
     [](const Text& path, const std::string&, const ByteSet& bytes) { return WriteFileWhole(path, bytes) == 0; }},
    {"+ fsync (durable)",
     [](const Text&, const std::string& native, const ByteSet& bytes) {
         const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
         return ReplaceWholeFile(native, view, /*durable=*/true) == 0;
     }},
}};

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

std::string FileSystemOf(const std::filesystem::path& folder) {
    struct statfs fs {};
    if (statfs(folder.c_str(), &fs) != 0) return "?";
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:
        return "ext2/3/4";
    case 0x01021994:
        return "tmpfs";
    case 0x9123683E:
        return "btrfs";
    case 0x58465342:
        return "xfs";
    case 0x794C7630:
        return "overlayfs";
    default: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%lX", static_cast<unsigned long>(fs.f_type));
        return hex;
    }
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    test::TempRunDirectory run;
    std::printf("write_bench: %d rounds, median ms per load, in %s (%s)\n\n", rounds, run.path().c_str(),
                FileSystemOf(run.path()).c_str());
    std::printf("%-22s %-14s %-20s %10s %10s %8s\n", "load", "names", "method", "ms", "us/file", "x plain");

    const std::array<Load, 2> loads = {
        {{"100 files of 512 KiB", 100, 512 * 1024}, {"300 files of 20 KiB", 300, 20 * 1024}}};
    std::mt19937 random(1170);
    for (const Load& load : loads) {
        ByteSet bytes(load.bytes);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        for (const bool existing : {false, true}) {
            std::array<std::vector<double>, kMethods.size()> times;
            for (int round = 0; round < rounds; ++round) {
                for (std::size_t m = 0; m < kMethods.size(); ++m) {
                    // A folder of its own per method and round; with `existing` it already holds every name.
                    const std::filesystem::path folder =
                        run.path() / ("r" + std::to_string(round) + "m" + std::to_string(m));
                    std::filesystem::create_directories(folder);
                    std::vector<Text> gbk;
                    std::vector<std::string> native;
                    for (int i = 0; i < load.files; ++i) {
                        gbk.push_back(run.gbkPath() + "\\" + folder.filename().string() + "\\book" + std::to_string(i) +
                                      ".rar");
                        native.push_back(*NativePath(gbk.back()));
                        if (existing) WriteFileBytes(gbk.back(), bytes);
                    }
                    sync();
                    const auto start = std::chrono::steady_clock::now();
                    for (int i = 0; i < load.files; ++i) {
                        if (!kMethods[m].write(gbk[i], native[i], bytes)) {
                            std::fprintf(stderr, "write_bench: %s failed for %s\n", kMethods[m].name,
                                         native[i].c_str());
                            return 1;
                        }
                    }
                    times[m].push_back(
                        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
                    std::filesystem::remove_all(folder);
                }
            }
            const double plain = Median(times[0]);
            for (std::size_t m = 0; m < kMethods.size(); ++m) {
                const double ms = Median(times[m]);
                std::printf("%-22s %-14s %-20s %10.1f %10.1f %8.2f\n", m == 0 ? load.name : "",
                            m == 0 ? (existing ? "over existing" : "new") : "", kMethods[m].name, ms,
                            1000.0 * ms / load.files, ms / plain);
            }
        }
    }
    return 0;
}
