// SPDX-License-Identifier: MIT
#include "services/Files.h"

#include "services/Gbk.h"
#include "services/GbkScan.h"
#include "services/NativePath.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paveno {
namespace {

std::mutex gMutex; // the tables below; services run on one thread, but the guard costs nothing

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

int NewNumber(int& next, auto& table) {
    while (next <= 0 || table.count(next))
        next = next <= 0 ? 1 : next + 1;
    return next++;
}

// --- open files -------------------------------------------------------------------------------------------------

struct OpenEntry {
    int fd = -1;
    ~OpenEntry() {
        if (fd >= 0) close(fd);
    }
};

std::map<int, std::unique_ptr<OpenEntry>> gFiles;
int gNextFile = 1;

// --- run directory ----------------------------------------------------------------------------------------------

std::optional<Text> gRunDirectory;

// Drops trailing separators, but not a 0x5C that is the trail byte of the last character.
Text WithoutTrailingSeparators(Text folder) {
    while (gbk::EndsInSeparator(folder, "/\\"))
        folder.pop_back();
    return folder;
}

// --- folder deletion --------------------------------------------------------------------------------------------

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

Text GetRunDirectory() {
    std::lock_guard lock(gMutex);
    if (!gRunDirectory) gRunDirectory = WithoutTrailingSeparators(Utf8ToGbkLossy(ExecutableFolder().string()));
    return *gRunDirectory;
}

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

void SetRunDirectory(const Text& folder) {
    std::lock_guard lock(gMutex);
    gRunDirectory = WithoutTrailingSeparators(folder);
}

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

ByteSet ReadFileBytes(const Text& path) {
    auto native = NativePath(path);
    if (!native) return {};
    int fd = open(native->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    ByteSet out;
    struct stat st {};
    try {
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            out.resize(static_cast<size_t>(st.st_size));
            size_t got = 0;
            while (got < out.size()) {
                ssize_t n = read(fd, out.data() + got, out.size() - got);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            out.resize(got);
        }
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    close(fd);
    return out;
}

bool WriteFileBytes(const Text& path, std::initializer_list<std::span<const std::uint8_t>> parts) {
    auto native = NativePath(path);
    if (!native) return false;
    int fd = open(native->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = true;
    for (auto part : parts) {
        size_t done = 0;
        while (ok && done < part.size()) {
            ssize_t n = write(fd, part.data() + done, part.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = false;
            else
                done += static_cast<size_t>(n);
        }
    }
    return close(fd) == 0 && ok;
}

int AppendToFile(const Text& path, std::span<const std::uint8_t> bytes) {
    auto native = NativePath(path);
    if (!native) return EINVAL;
    // A link at the name is refused: the record belongs in the library, not wherever a link points.
    const int fd = open(native->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    ssize_t n;
    do {
        n = write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    int error = n < 0 ? errno : n != static_cast<ssize_t>(bytes.size()) ? ENOSPC : 0;
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

bool AppendFileBytes(const Text& path, std::span<const std::uint8_t> bytes) {
    return AppendToFile(path, bytes) == 0;
}

std::int32_t OpenFile(const Text& path, std::optional<std::int32_t> mode, std::optional<std::int32_t> sharing) {
    static constexpr int kFlags[] = {O_RDONLY,           O_WRONLY,        O_RDWR, O_WRONLY | O_CREAT | O_TRUNC,
                                     O_WRONLY | O_CREAT, O_RDWR | O_CREAT};
    int m = mode.value_or(3), s = sharing.value_or(1);
    if (path.empty() || m < 1 || m > 6 || s < 1 || s > 4) return 0;
    auto native = NativePath(path);
    if (!native) return 0;
    auto entry = std::make_unique<OpenEntry>();
    entry->fd = open(native->c_str(), kFlags[m - 1] | O_CLOEXEC, 0666);
    struct stat st {};
    if (entry->fd < 0 || fstat(entry->fd, &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    std::lock_guard lock(gMutex);
    int number = NewNumber(gNextFile, gFiles);
    gFiles.emplace(number, std::move(entry));
    return number;
}

namespace {

// Where text read from a file ends: at a zero byte or 0x1A, or at a lead byte right before a zero byte (half a
// character). A lead byte takes its trail byte along, so the last whole character before a zero byte is kept.
// `resume` is where a following read starts: on the zero or 0x1A byte.
struct TextEnd {
    std::size_t end;
    std::size_t resume;
};

std::optional<TextEnd> FindTextEnd(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += gbk::CharWidth(bytes, i)) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0 || c == 0x1A) return TextEnd{i, i};
        if ((c & 0x80) && i + 1 < bytes.size() && bytes[i + 1] == 0) return TextEnd{i, i + 1};
    }
    return std::nullopt;
}

} // namespace

Text ReadTextFromFile(std::int32_t fileNumber, std::optional<std::int32_t> count) {
    int fd;
    {
        std::lock_guard lock(gMutex);
        auto it = gFiles.find(fileNumber);
        if (it == gFiles.end()) return {};
        fd = it->second->fd;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) return {};
    std::int64_t wanted = count ? *count : static_cast<std::int64_t>(st.st_size);
    if (wanted < 1) return {};
    off_t start = lseek(fd, 0, SEEK_CUR);
    if (start < 0) return {};
    // Nothing past the end can arrive, so the buffer need not be larger than what is left.
    if (S_ISREG(st.st_mode)) wanted = std::min<std::int64_t>(wanted, std::max<std::int64_t>(st.st_size - start, 0));

    std::string buffer;
    try {
        buffer.resize(static_cast<size_t>(wanted));
    } catch (const std::bad_alloc&) {
        lseek(fd, 0, SEEK_END);
        return {};
    }
    size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lseek(fd, 0, SEEK_END);
            return {};
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    buffer.resize(got);

    if (const auto end = FindTextEnd(buffer)) {
        lseek(fd, start + static_cast<off_t>(end->resume), SEEK_SET);
        buffer.resize(end->end);
    }
    return buffer;
}

Text ReadTextFile(const Text& path) {
    ByteSet bytes = ReadFileBytes(path);
    std::string_view text = ViewOf(bytes);
    if (const auto end = FindTextEnd(text)) text = text.substr(0, end->end);
    return Text(text);
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
