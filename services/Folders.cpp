// SPDX-License-Identifier: MIT
#include "services/Folders.h"

#include "services/NativePath.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paveno {
namespace {

// Empties the folder open as `fd` (which this takes over), entry by entry, without following any link.
void EmptyFolder(int fd) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::string> names; // the whole list first: removing while listing may skip entries
    while (dirent* e = readdir(dir.get())) {
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    std::sort(names.begin(), names.end());
    int parent = dirfd(dir.get());
    for (const auto& name : names) {
        struct stat st {};
        if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            int child = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) EmptyFolder(child);
            unlinkat(parent, name.c_str(), AT_REMOVEDIR);
        } else {
            unlinkat(parent, name.c_str(), 0); // a link goes, its target stays
        }
    }
}

bool IsDriveRoot(std::string_view p) {
    return (p.size() == 2 && p[1] == ':') || (p.size() == 3 && p[1] == ':' && (p[2] == '\\' || p[2] == '/'));
}

} // namespace

bool CreateFolder(const Text& path) {
    auto native = NativePath(path);
    return native && mkdir(native->c_str(), 0777) == 0;
}

bool DeleteFolder(const Text& path) {
    std::string_view p(path);
    p.remove_prefix(std::min(p.find_first_not_of(' '), p.size()));
    if (p.empty() || IsDriveRoot(p)) return false;
    auto native = NativePath(p);
    if (!native) return false;
    char resolved[PATH_MAX];
    if (!realpath(native->c_str(), resolved) || std::string_view(resolved) == "/") return false;
    // O_NOFOLLOW: a link given as the folder is not a folder of ours to empty.
    int fd = open(native->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    EmptyFolder(fd);
    return rmdir(native->c_str()) == 0;
}

} // namespace paveno
