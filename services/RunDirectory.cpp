// SPDX-License-Identifier: MIT
#include "services/RunDirectory.h"

#include "services/Gbk.h"
#include "services/GbkScan.h"

#include <mutex>
#include <optional>

namespace paveno {
namespace {

std::mutex gMutex; // services run on one thread, but the guard costs nothing
std::optional<Text> gRunDirectory;

// Drops trailing separators, but not a 0x5C that is the trail byte of the last character.
Text WithoutTrailingSeparators(Text folder) {
    while (gbk::EndsInSeparator(folder, "/\\"))
        folder.pop_back();
    return folder;
}

} // namespace

Text GetRunDirectory() {
    std::lock_guard lock(gMutex);
    if (!gRunDirectory) gRunDirectory = WithoutTrailingSeparators(Utf8ToGbkLossy(ExecutableFolder().string()));
    return *gRunDirectory;
}

void SetRunDirectory(const Text& folder) {
    std::lock_guard lock(gMutex);
    gRunDirectory = WithoutTrailingSeparators(folder);
}

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

} // namespace paveno
