// SPDX-License-Identifier: MIT
#include "services/NativePath.h"

#include "services/Gbk.h"
#include "services/RunDirectory.h"

#include <algorithm>

namespace paveno {
namespace {

// The path as Linux names it, without regard to where a relative one starts.
std::optional<std::string> ConvertedPath(std::string_view gbkPath) {
    if (gbkPath.empty() || gbkPath.find('\0') != std::string_view::npos) return std::nullopt;
    auto utf8 = GbkToUtf8(gbkPath);
    if (!utf8) return std::nullopt;
    // A name that would come back as other bytes would make us touch a file the handler did not name.
    auto back = Utf8ToGbk(*utf8);
    if (!back || *back != gbkPath) return std::nullopt;
    std::replace(utf8->begin(), utf8->end(), '\\', '/');

    std::string_view rest(*utf8);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        if (rest.substr(0, slash) == "..") return std::nullopt;
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return utf8;
}

} // namespace

std::optional<std::string> NativePath(std::string_view gbkPath) {
    auto path = ConvertedPath(gbkPath);
    if (!path || path->front() == '/') return path;
    // A relative path belongs in the run directory, whatever folder the process was started in. A run directory
    // that is no absolute Linux path gives no answer rather than a guess.
    const Text runDir = GetRunDirectory();
    if (runDir.empty()) return "/" + *path; // the run directory is "/"
    auto base = ConvertedPath(runDir);
    if (!base || base->front() != '/') return std::nullopt;
    return *base + "/" + *path;
}

} // namespace paveno
