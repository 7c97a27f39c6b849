// SPDX-License-Identifier: MIT
#include "services/FileSearch.h"

#include "services/Gbk.h"
#include "services/GbkScan.h"
#include "services/Handles.h"
#include "services/NativePath.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace paveno {
namespace {

std::mutex gMutex; // the table of searches; services run on one thread, but the guard costs nothing

// --- names and patterns ---------------------------------------------------------------------------------------

// A GBK text as characters, each as one number of its bytes. ASCII letters fold to upper case; the bytes of a
// double-byte character stay exact (a trail byte may look like a letter).
using Characters = std::vector<std::uint32_t>;

Characters FoldedCharacters(std::string_view text) {
    Characters out;
    out.reserve(text.size());
    gbk::ForEachChar(text, [&](size_t at, size_t width) {
        std::uint32_t c = 0;
        for (size_t i = at; i < at + width; ++i)
            c = c << 8 | static_cast<unsigned char>(text[i]);
        out.push_back(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    });
    return out;
}

bool Glob(const Characters& name, const Characters& pattern) {
    size_t n = 0, p = 0, starP = SIZE_MAX, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool HasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

std::string_view Parent(std::string_view nativePath, std::string_view& last) {
    auto slash = nativePath.rfind('/');
    if (slash == std::string_view::npos) {
        last = nativePath;
        return ".";
    }
    last = nativePath.substr(slash + 1);
    return slash == 0 ? std::string_view("/") : nativePath.substr(0, slash);
}

// The entries of a folder in the order the search gives them: "." and ".." first (except at "/"), then the names
// in ASCII-case-folded order. Names that have no GBK form are left out: no handler could name them. The kind of
// entry comes from the folder listing where the file system gives it, so that a search for files needs no stat per
// name.
struct Listed {
    std::string native; // the name on disk
    Text gbk;
    unsigned char type = DT_UNKNOWN;
};

std::vector<Listed> ListFolder(const std::string& folder) {
    std::vector<Listed> out;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return out;
    if (folder != "/") out = {{".", ".", DT_DIR}, {"..", "..", DT_DIR}};
    const size_t dots = out.size();
    while (dirent* e = readdir(dir.get())) {
        std::string_view name(e->d_name);
        if (name == "." || name == "..") continue;
        if (auto gbk = Utf8ToGbk(name)) out.push_back({std::string(name), std::move(*gbk), e->d_type});
    }
    // Each name's sort key is worked out once, not at every comparison: its characters, folded, as 4-byte big-endian
    // numbers, so that one byte comparison orders two names as their characters order them.
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(out.size() - dots);
    for (size_t i = dots; i < out.size(); ++i) {
        std::string key;
        key.reserve(out[i].gbk.size() * 4);
        for (std::uint32_t c : FoldedCharacters(out[i].gbk))
            key.append({static_cast<char>(c >> 24), static_cast<char>(c >> 16), static_cast<char>(c >> 8),
                        static_cast<char>(c)});
        keys.emplace_back(std::move(key), i);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        const int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : out[a.second].gbk < out[b.second].gbk;
    });
    std::vector<Listed> sorted;
    sorted.reserve(out.size());
    for (size_t i = 0; i < dots; ++i)
        sorted.push_back(std::move(out[i]));
    for (auto& key : keys)
        sorted.push_back(std::move(out[key.second]));
    return sorted;
}

std::uint32_t Attributes(const std::string& path, std::string_view name) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return 0;
    std::uint32_t bits = S_ISDIR(st.st_mode) ? FindFilter::Folder : FindFilter::Archive;
    if (!(st.st_mode & S_IWUSR)) bits |= FindFilter::ReadOnly;
    if (name.size() > 0 && name[0] == '.' && name != "." && name != "..") bits |= FindFilter::Hidden;
    return bits;
}

std::string Join(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

// A file search in progress: the matching names, taken at the start, and how far the handler has got.
struct Search {
    std::string folder;
    std::vector<Listed> names;
    size_t next = 0;
    FindFilter filter;
};

std::map<int, Search> gSearches;
int gNextSearch = 1;

// Every matching entry of the pattern's folder, or an empty list when the pattern is no usable path.
bool StartSearch(const Text& pattern, Search& search) {
    auto native = NativePath(pattern);
    if (!native) return false;
    std::string_view last;
    search.folder = std::string(Parent(*native, last));
    if (last.empty()) return false;
    auto gbkPattern = Utf8ToGbk(last);
    if (!gbkPattern) return false;
    const bool everyName = *gbkPattern == "*" || *gbkPattern == "*.*";
    for (auto& entry : ListFolder(search.folder)) {
        if (everyName || FileNameMatches(entry.gbk, *gbkPattern)) search.names.push_back(std::move(entry));
    }
    return !search.names.empty();
}

Text TakeNext(Search& search) {
    while (search.next < search.names.size()) {
        const Listed& entry = search.names[search.next++];
        // A search for files needs only to know a folder from a file, which the listing tells for most entries; a
        // link is followed, as the search has always done.
        if (search.filter.filesOnly && (entry.type == DT_REG || entry.type == DT_DIR)) {
            if (entry.type == DT_REG) return entry.gbk;
            continue;
        }
        std::uint32_t bits = Attributes(Join(search.folder, entry.native), entry.native);
        bool passes = search.filter.filesOnly   ? !(bits & FindFilter::Folder)
                      : search.filter.mask == 0 ? bits == 0
                                                : (bits & search.filter.mask) != 0;
        if (passes) return entry.gbk;
    }
    return {};
}

} // namespace

bool FileNameMatches(const Text& name, const Text& pattern) {
    if (pattern.find_first_not_of('.') == Text::npos) return name == pattern;
    auto n = FoldedCharacters(name);
    auto p = FoldedCharacters(pattern);
    bool nameHasDot = name.find('.') != Text::npos;
    if (pattern.size() >= 2 && pattern.ends_with(".*")) {
        if (!nameHasDot && Glob(n, Characters(p.begin(), p.end() - 2))) return true;
        return Glob(n, p);
    }
    if (pattern.ends_with('.')) {
        while (!p.empty() && p.back() == '.')
            p.pop_back();
        return !nameHasDot && Glob(n, p);
    }
    return Glob(n, p);
}

std::int32_t GetFileSize(const Text& path) {
    auto native = NativePath(path);
    if (!native) return -1;
    std::string target = *native;
    std::string_view last;
    std::string folder(Parent(*native, last));
    if (HasWildcard(last)) {
        auto pattern = Utf8ToGbk(last);
        if (!pattern) return -1;
        auto entries = ListFolder(folder);
        auto match = std::find_if(entries.begin(), entries.end(),
                                  [&](const Listed& e) { return FileNameMatches(e.gbk, *pattern); });
        if (match == entries.end()) return -1;
        target = Join(folder, match->native);
    }
    struct stat st {};
    if (stat(target.c_str(), &st) != 0 && lstat(target.c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(st.st_size));
}

Text FindFileFirst(const Text& pattern, FindFilter filter, int& handle) {
    CloseFileFind(handle);
    Search search;
    search.filter = filter;
    if (!StartSearch(pattern, search)) return {};
    Text name = TakeNext(search);
    if (name.empty()) return {};
    std::lock_guard lock(gMutex);
    handle = NewNumber(gNextSearch, gSearches);
    gSearches.emplace(handle, std::move(search));
    return name;
}

Text FindFileNext(int& handle) {
    if (handle == 0) return {};
    std::lock_guard lock(gMutex);
    auto it = gSearches.find(handle);
    Text name = it == gSearches.end() ? Text() : TakeNext(it->second);
    if (name.empty()) {
        if (it != gSearches.end()) gSearches.erase(it);
        handle = 0;
    }
    return name;
}

void CloseFileFind(int& handle) {
    if (handle == 0) return;
    std::lock_guard lock(gMutex);
    gSearches.erase(handle);
    handle = 0;
}

} // namespace paveno
