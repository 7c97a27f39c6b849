// SPDX-License-Identifier: MIT
#include "services/Ini.h"

#include "services/GbkScan.h"
#include "services/NativePath.h"
#include "services/WholeFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace paveno {
namespace {

constexpr size_t kValueLimit = 10239; // the reader's buffer is 10240 bytes with its zero byte
constexpr size_t kCachedFiles = 8;    // the library index plus the author files of the last few books

// --- lines ----------------------------------------------------------------------------------------------------

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The form in which names are compared: ASCII letters folded, the two bytes of a GBK character kept as they are
// (its trail byte may be a letter: 0xB0 0x41 and 0xB0 0x61 are different characters).
std::string Folded(std::string_view name) {
    std::string out(name);
    gbk::ForEachChar(out, [&](size_t at, size_t width) {
        if (width == 1 && out[at] >= 'a' && out[at] <= 'z') out[at] = static_cast<char>(out[at] - 'a' + 'A');
    });
    return out;
}

// Cuts to at most `limit` bytes without splitting a double-byte character, and at a zero byte.
Text Cut(std::string_view s, size_t limit) {
    s = s.substr(0, s.find('\0'));
    size_t end = 0;
    while (end < s.size() && end + gbk::CharWidth(s, end) <= limit)
        end += gbk::CharWidth(s, end);
    return Text(s.substr(0, end));
}

enum class LineKind { Other, Section, Key };

std::string JoinKey(std::string_view key, std::string_view value) {
    return std::string(key) + "=" + std::string(value);
}

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // trimmed section or key name
    std::string_view value; // trimmed, quotes still on
};

// A "[" line is a section unless an "=" follows its first "]": an index written by another program may hold a key
// such as "[综漫]某书" (this one writes none), and taking it for a section would hide every key after it.
ParsedLine ParseLine(std::string_view raw) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') return {};
    // "=" lies below every trail byte (and every digit of a four-byte character), so a plain search finds only a
    // real one, and fast: a library index has 100,000 of these lines.
    size_t equals = line.find('=');
    if (line.front() == '[') {
        size_t close = gbk::FindByte(line, ']');
        if (equals == std::string_view::npos || (close != std::string_view::npos && equals < close)) {
            return {LineKind::Section, Trim(line.substr(1, close == std::string_view::npos ? close : close - 1)), {}};
        }
    }
    if (equals == std::string_view::npos) return {};
    std::string_view name = Trim(line.substr(0, equals));
    if (name.empty()) return {};
    return {LineKind::Key, name, Trim(line.substr(equals + 1))};
}

// --- the parsed file --------------------------------------------------------------------------------------------

// Lines keep the bytes that ended them (CR LF, LF, a lone CR or nothing at the end of the file), so that a write
// gives back every line it does not change as it was.
struct Section {
    std::string header; // the "[name]" line as it stands; empty for the lines before the first section
    std::vector<std::string> lines;
    std::unordered_map<std::string, size_t> keys; // folded key -> its first line
    size_t insertAt = 0;                          // after the last key line: where a new key goes

    void Index() {
        keys.clear();
        insertAt = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            ParsedLine p = ParseLine(lines[i]);
            if (p.kind != LineKind::Key) continue;
            keys.emplace(Folded(p.name), i);
            insertAt = i + 1;
        }
    }
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF"; // another editor's byte-order mark

// The line break at the end of a line as stored; empty for the last line of a file that ends without one.
std::string_view LineEnd(std::string_view line) {
    if (line.ends_with("\r\n")) return line.substr(line.size() - 2);
    if (line.ends_with('\n') || line.ends_with('\r')) return line.substr(line.size() - 1);
    return {};
}

struct Document {
    std::string mark;                         // a byte-order mark the file began with, kept for the next write
    std::string lineEnd = "\r\n";             // for new lines: the file's own first line break
    std::vector<Section> sections{Section{}}; // sections[0] holds the lines before the first "[" line
    std::unordered_map<std::string, std::vector<size_t>> byName;

    void IndexNames() {
        byName.clear();
        for (size_t i = 1; i < sections.size(); ++i)
            byName[Folded(ParseLine(sections[i].header).name)].push_back(i);
    }

    static Document Parse(std::string_view bytes) {
        Document doc;
        if (bytes.starts_with(kUtf8Mark)) {
            doc.mark = kUtf8Mark;
            bytes.remove_prefix(kUtf8Mark.size());
        }
        bool firstBreak = true;
        while (!bytes.empty()) {
            // CR LF, LF and a lone CR each end a line.
            size_t end = gbk::FindAnyOf(bytes, "\r\n");
            if (end != gbk::npos) end += bytes.substr(end, 2) == "\r\n" ? 2 : 1;
            std::string_view line = bytes.substr(0, end);
            bytes.remove_prefix(line.size());
            if (firstBreak && !LineEnd(line).empty()) {
                doc.lineEnd = LineEnd(line);
                firstBreak = false;
            }
            if (ParseLine(line).kind == LineKind::Section)
                doc.sections.push_back(Section{std::string(line), {}, {}, 0});
            else
                doc.sections.back().lines.emplace_back(line);
        }
        for (auto& s : doc.sections)
            s.Index();
        doc.IndexNames();
        return doc;
    }

    std::string Serialize() const {
        size_t total = mark.size();
        for (const auto& s : sections) {
            total += s.header.size() + lineEnd.size();
            for (const auto& l : s.lines)
                total += l.size() + lineEnd.size();
        }
        std::string out;
        out.reserve(total);
        out.append(mark);
        // A last line without a break gets one when something now follows it.
        auto append = [&](const std::string& line) {
            if (out.size() > mark.size() && LineEnd(out).empty()) out.append(lineEnd);
            out.append(line);
        };
        for (size_t i = 0; i < sections.size(); ++i) {
            if (i > 0) append(sections[i].header);
            for (const auto& l : sections[i].lines)
                append(l);
        }
        return out;
    }

    std::string NewLine(std::string_view text) const { return std::string(text) + lineEnd; }

    // Returns whether anything changed.
    bool Set(std::string_view section, std::string_view key, std::string_view value) {
        auto named = byName.find(Folded(section));
        if (named == byName.end()) {
            Section added{NewLine("[" + std::string(section) + "]"), {NewLine(JoinKey(key, value))}, {}, 0};
            added.Index();
            sections.push_back(std::move(added));
            byName[Folded(section)].push_back(sections.size() - 1);
            return true;
        }
        std::string folded = Folded(key);
        for (size_t i : named->second) {
            Section& s = sections[i];
            auto k = s.keys.find(folded);
            if (k == s.keys.end()) continue;
            ParsedLine p = ParseLine(s.lines[k->second]);
            if (p.value == value) return false;
            s.lines[k->second] = JoinKey(p.name, value) + std::string(LineEnd(s.lines[k->second]));
            return true;
        }
        // Only lines after the last key move, and none of them is a key, so the key index stays valid.
        Section& s = sections[named->second.front()];
        s.lines.insert(s.lines.begin() + static_cast<long>(s.insertAt), NewLine(JoinKey(key, value)));
        s.keys.emplace(std::move(folded), s.insertAt++);
        return true;
    }

    bool DeleteKey(std::string_view section, std::string_view key) {
        auto named = byName.find(Folded(section));
        if (named == byName.end()) return false;
        std::string folded = Folded(key);
        bool changed = false;
        for (size_t i : named->second) {
            Section& s = sections[i];
            if (!s.keys.count(folded)) continue;
            std::erase_if(s.lines, [&](const std::string& line) {
                ParsedLine p = ParseLine(line);
                return p.kind == LineKind::Key && Folded(p.name) == folded;
            });
            s.Index();
            changed = true;
        }
        return changed;
    }

    bool DeleteSection(std::string_view section) {
        auto named = byName.find(Folded(section));
        if (named == byName.end()) return false;
        for (auto it = named->second.rbegin(); it != named->second.rend(); ++it)
            sections.erase(sections.begin() + static_cast<long>(*it));
        IndexNames();
        return true;
    }
};

// --- what a lookup or an append needs ---------------------------------------------------------------------------

// A 64-bit hash of a name in its compared form, computed without building that form.
std::uint64_t FoldedHash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ULL;
    gbk::ForEachChar(name, [&](size_t at, size_t width) {
        for (size_t i = at; i < at + width; ++i) {
            char c = name[i];
            if (width == 1 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
    });
    return h;
}

// A file as lookups and appends see it: its bytes, where its sections start and where a new key of each goes, and
// the line of every key by the hash of its name. Far lighter than the parsed document, which only a rewrite needs:
// a library index of 100,000 books is scanned once and then grows by appends that update this in place.
struct Layout {
    struct SectionAt {
        size_t start = 0;    // the first byte of its "[" line (of the file for the lines before the first section)
        size_t insertAt = 0; // after its last key line, or after its "[" line when it has no key: where a key goes
        std::string folded;  // its name in compared form
    };
    std::string bytes;
    size_t markSize = 0;          // a byte-order mark at the start
    std::string lineEnd = "\r\n"; // for new lines: the file's own first line break
    std::vector<SectionAt> sections{SectionAt{}};
    std::unordered_map<std::string, std::vector<size_t>> byName; // folded name -> its sections, in file order
    // Hash of the folded key -> start of its line: the keys the scan found, sorted by hash (16 bytes a key), and those
    // appended since.
    std::vector<std::pair<std::uint64_t, size_t>> scanned;
    std::unordered_multimap<std::uint64_t, size_t> appended;
    bool scanning = false;

    static Layout Scan(std::string bytes) {
        Layout layout;
        layout.bytes = std::move(bytes);
        std::string_view all = layout.bytes;
        if (all.starts_with(kUtf8Mark)) layout.markSize = kUtf8Mark.size();
        layout.sections.front().start = layout.sections.front().insertAt = layout.markSize;
        bool firstBreak = true;
        layout.scanning = true;
        for (size_t at = layout.markSize; at < all.size();) {
            std::string_view line = LineFrom(all, at);
            if (firstBreak && !LineEnd(line).empty()) {
                layout.lineEnd = LineEnd(line);
                firstBreak = false;
            }
            layout.Take(at, line);
            at += line.size();
        }
        layout.scanning = false;
        std::sort(layout.scanned.begin(), layout.scanned.end());
        return layout;
    }

    // The line that starts at `at`, with the break that ends it (CR LF, LF, a lone CR or nothing at the end).
    // CR and LF lie below every trail byte: a plain search finds the line's end.
    static std::string_view LineFrom(std::string_view all, size_t at) {
        std::string_view rest = all.substr(at);
        size_t end = 0;
        while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
            ++end;
        if (end < rest.size()) end += rest.substr(end, 2) == "\r\n" ? 2 : 1;
        return rest.substr(0, end);
    }

    // Files a line that starts at `at` (the next line of the file).
    void Take(size_t at, std::string_view line) {
        const ParsedLine p = ParseLine(line);
        if (p.kind == LineKind::Section) {
            sections.push_back(SectionAt{at, at + line.size(), Folded(p.name)});
            byName[sections.back().folded].push_back(sections.size() - 1);
        } else if (p.kind == LineKind::Key) {
            if (scanning)
                scanned.emplace_back(FoldedHash(p.name), at);
            else
                appended.emplace(FoldedHash(p.name), at);
            sections.back().insertAt = at + line.size();
        }
    }

    const SectionAt& SectionOf(size_t offset) const {
        auto after = std::upper_bound(sections.begin() + 1, sections.end(), offset,
                                      [](size_t o, const SectionAt& s) { return o < s.start; });
        return *(after - 1);
    }

    const std::vector<size_t>* Named(std::string_view section) const {
        auto named = byName.find(Folded(section));
        return named == byName.end() ? nullptr : &named->second;
    }

    // The first line of the key among the sections of that name (a section may appear more than once).
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const {
        if (!Named(section)) return std::nullopt;
        const std::string foldedSection = Folded(section), foldedKey = Folded(key);
        size_t first = gbk::npos;
        const auto consider = [&](size_t at) {
            if (at >= first) return;
            const ParsedLine p = ParseLine(LineFrom(bytes, at));
            if (Folded(p.name) == foldedKey && SectionOf(at).folded == foldedSection) first = at;
        };
        const std::uint64_t hash = FoldedHash(key);
        for (auto it = std::lower_bound(scanned.begin(), scanned.end(), std::pair<std::uint64_t, size_t>(hash, 0));
             it != scanned.end() && it->first == hash; ++it)
            consider(it->second);
        for (auto [from, to] = appended.equal_range(hash); from != to; ++from)
            consider(from->second);
        if (first == gbk::npos) return std::nullopt;
        return LineFrom(bytes, first);
    }

    bool EndsWithBreak() const { return bytes.size() <= markSize || !LineEnd(bytes).empty(); }
};

// What a write of a key does to the file.
struct WritePlan {
    enum Kind { Nothing, Append, Rewrite } kind = Rewrite;
    std::string added; // for Append: the bytes that go at the end of the file
};

// A new key lands where a rewrite would put it: after the last key of the first section of its name, or in a new
// section at the end. When that place is the end of the file, the file only grows.
WritePlan PlanSet(const Layout& layout, std::string_view section, std::string_view key, std::string_view value) {
    const std::vector<size_t>* named = layout.Named(section);
    std::string lines;
    if (named) {
        if (const auto line = layout.Find(section, key))
            return {ParseLine(*line).value == value ? WritePlan::Nothing : WritePlan::Rewrite, {}};
        if (layout.sections[named->front()].insertAt != layout.bytes.size()) return {};
    } else {
        lines = "[" + std::string(section) + "]" + layout.lineEnd;
    }
    lines += JoinKey(key, value) + layout.lineEnd;
    // A last line without a break gets one when something now follows it.
    return {WritePlan::Append, (layout.EndsWithBreak() ? "" : layout.lineEnd) + lines};
}

// --- the cache of read files ------------------------------------------------------------------------------------

// What tells that another writer has changed the file: a replaced file has another inode, an edited one another
// size or time.
struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0, ctimeNs = 0;
    bool operator==(const Stamp&) const = default;

    static Stamp Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
    }
};

struct CachedFile {
    Stamp stamp;
    Layout layout;
    std::uint64_t lastUse = 0;
};

std::mutex gMutex;
std::map<std::string, CachedFile> gCache; // by absolute native path
std::uint64_t gUseCounter = 0;

std::string Absolute(const std::string& native) {
    if (!native.empty() && native.front() == '/') return native;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return native;
    std::string out(cwd);
    if (out.back() != '/') out += '/';
    return out + native;
}

// Makes room for one more file: the least recently used goes, never the whole cache, so that the author file of
// every new book does not push out the library index that the next book needs again.
CachedFile& CacheEntry(const std::string& path) {
    if (gCache.size() >= kCachedFiles && !gCache.count(path)) {
        auto oldest = gCache.begin();
        for (auto c = gCache.begin(); c != gCache.end(); ++c)
            if (c->second.lastUse < oldest->second.lastUse) oldest = c;
        gCache.erase(oldest);
    }
    CachedFile& entry = gCache[path];
    entry.lastUse = ++gUseCounter;
    return entry;
}

constexpr size_t kRoomToGrow = 64 * 1024;

// The whole file and the stamp of what was read; nullopt when it cannot be read (or keeps changing under the read).
std::optional<std::pair<std::string, Stamp>> ReadWhole(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::pair<std::string, Stamp>> out;
    for (int attempt = 0; attempt < 3 && !out; ++attempt) {
        struct stat before {
        }, after{};
        if (fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) break;
        // Room beyond the file's size: its end shows without the buffer growing (a copy of a library index of
        // 100,000 books), and a run's appended lines fit without moving the bytes read. A small file gets room of
        // its own size, not 64 KiB for every author record read.
        const size_t size = static_cast<size_t>(before.st_size);
        std::string bytes(size + std::min(size, kRoomToGrow) + 1, '\0');
        size_t got = 0;
        bool failed = false;
        for (;;) {
            if (got == bytes.size()) bytes.resize(got + 4096 + got / 2); // it grew since the fstat
            const ssize_t n = pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed = true;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (failed || fstat(fd, &after) != 0) break;
        bytes.resize(got);
        if (Stamp::Of(before) == Stamp::Of(after) && static_cast<off_t>(got) == after.st_size)
            out.emplace(std::move(bytes), Stamp::Of(after));
    }
    close(fd);
    return out;
}

enum class Load { Ok, Missing, Failed };

// The file as read, from the cache while the file on disk is the one that was read.
Load Obtain(const std::string& path, Layout*& layout, Stamp* stamp = nullptr) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        gCache.erase(path);
        return errno == ENOENT || errno == ENOTDIR ? Load::Missing : Load::Failed;
    }
    auto it = gCache.find(path);
    if (it == gCache.end() || !(it->second.stamp == Stamp::Of(st))) {
        if (!S_ISREG(st.st_mode)) return Load::Failed;
        auto read = ReadWhole(path);
        if (!read) return Load::Failed;
        CachedFile& entry = CacheEntry(path);
        entry.stamp = read->second;
        entry.layout = Layout::Scan(std::move(read->first));
        it = gCache.find(path);
    }
    it->second.lastUse = ++gUseCounter;
    layout = &it->second.layout;
    if (stamp) *stamp = it->second.stamp;
    return Load::Ok;
}

// Another program may write the same file: the folder's advisory lock is held from reading the file to renaming the
// new one over it (or to the end of an append), so neither write loses the other's keys. (The file itself cannot
// carry the lock: the rename replaces it.)
class FolderLock {
public:
    explicit FolderLock(const std::string& file) {
        const size_t slash = file.rfind('/');
        const std::string folder = slash == 0 ? "/" : file.substr(0, slash);
        fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// Keeps what was just written as the cached form of the file.
void Remember(const std::string& path, std::string bytes) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        gCache.erase(path);
        return;
    }
    CachedFile& entry = CacheEntry(path);
    entry.stamp = Stamp::Of(st);
    entry.layout = Layout::Scan(std::move(bytes));
}

// Replaces the file whole: a temporary file beside it, renamed over it, so that a crash leaves either the old file or
// the new one. An existing file's new bytes are on the disk before the rename, so not even a power cut leaves it
// empty or cut (the folder is not synced: the rename may be undone, which leaves the old file, and that is allowed).
// A file that did not exist has nothing to lose and is not written out.
bool Rewrite(const std::string& path, const Layout& now, bool existed, std::string_view section,
             const std::optional<std::string_view>& key, const std::optional<Text>& value) {
    Document doc = Document::Parse(now.bytes);
    const bool changed = !key     ? doc.DeleteSection(section)
                         : !value ? doc.DeleteKey(section, *key)
                                  : doc.Set(section, *key, *value);
    if (!changed) return true;
    std::string bytes = doc.Serialize();
    if (ReplaceWholeFile(path, bytes, existed) != 0) {
        gCache.erase(path);
        return false;
    }
    Remember(path, std::move(bytes));
    return true;
}

enum class Appended { Done, Failed, FileChanged, NotAFile };

// Adds whole lines at the end of the file in one write. The file must still be the one the layout describes; a
// link is not written through (the rewrite deals with it).
Appended Append(const std::string& path, const Stamp& stamp, Layout& layout, const std::string& added) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP ? Appended::NotAFile : Appended::Failed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !(Stamp::Of(st) == stamp)) {
        close(fd);
        gCache.erase(path);
        return Appended::FileChanged;
    }
    ssize_t n;
    do {
        n = write(fd, added.data(), added.size());
    } while (n < 0 && errno == EINTR);
    bool ok = n == static_cast<ssize_t>(added.size());
    // Part of a line (a full disk) would say something else than the file said: it goes again.
    if (!ok && n > 0)
        while (ftruncate(fd, st.st_size) != 0 && errno == EINTR) {
        }
    ok = fstat(fd, &st) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        gCache.erase(path);
        return Appended::Failed;
    }
    size_t at = layout.bytes.size();
    layout.bytes += added;
    while (at < layout.bytes.size()) {
        const std::string_view line = Layout::LineFrom(layout.bytes, at);
        layout.Take(at, line);
        at += line.size();
    }
    gCache[path].stamp = Stamp::Of(st);
    return Appended::Done;
}

std::string_view SkipLeadingControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    return s;
}

bool HasLineBreak(std::string_view s) {
    return gbk::FindAnyOf(s, "\r\n") != gbk::npos;
}

// Whether a name written before "]" or "=" ends where it was written: a last lead byte that stands alone would take
// the bracket or the sign as its trail byte, and the line would no longer read back as written.
bool EndsOnACharacter(std::string_view name) {
    const std::size_t last = gbk::LastCharAt(name);
    return last == gbk::npos || last != name.size() - 1 || !gbk::IsLeadByte(static_cast<unsigned char>(name[last]));
}

} // namespace

bool IsStorableIniSection(const Text& name) {
    const std::string_view sec = Trim(name);
    return !sec.empty() && !HasLineBreak(sec) && gbk::FindByte(sec, ']') == gbk::npos && EndsOnACharacter(sec);
}

bool IsStorableIniKey(const Text& name) {
    const std::string_view k = Trim(name);
    return !k.empty() && !HasLineBreak(k) && gbk::FindByte(k, '=') == gbk::npos && k.front() != ';' &&
           !(k.front() == '[' && gbk::FindByte(k, ']') == gbk::npos) && EndsOnACharacter(k);
}

Text ReadIniValue(const Text& path, const Text& section, const Text& key, const std::optional<Text>& defaultValue) {
    std::string_view file = SkipLeadingControls(path), sec = SkipLeadingControls(section), k = SkipLeadingControls(key);
    if (file.empty() || sec.empty() || k.empty()) return {};
    std::string_view fallback = defaultValue ? std::string_view(*defaultValue) : std::string_view();
    while (!fallback.empty() && IsBlank(fallback.back()))
        fallback.remove_suffix(1);

    auto native = NativePath(file);
    if (!native) return Cut(fallback, kValueLimit);
    std::lock_guard lock(gMutex);
    Layout* layout = nullptr;
    if (Obtain(Absolute(*native), layout) != Load::Ok) return Cut(fallback, kValueLimit);
    const auto line = layout->Find(Trim(sec), Trim(k));
    if (!line) return Cut(fallback, kValueLimit);
    std::string_view value = ParseLine(*line).value;
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
        value = value.substr(1, value.size() - 2);
    return Cut(value, kValueLimit);
}

bool WriteIniValue(const Text& path, const Text& section, const std::optional<Text>& key,
                   const std::optional<Text>& value) {
    if (path.empty() || !IsStorableIniSection(section) || (key && !IsStorableIniKey(*key))) return false;
    std::string_view sec = Trim(section);
    std::optional<std::string_view> k;
    if (key) k = Trim(*key);
    if (value && HasLineBreak(*value)) return false;

    auto native = NativePath(path);
    if (!native) return false;
    const std::string target = Absolute(*native);
    // A link at the file's name may lead anywhere, outside the library too: it is refused, never written through.
    // (Linked folders on the way are the user's choice and are followed.)
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return false;

    std::lock_guard lock(gMutex);
    const FolderLock folderLock(target);
    for (int attempt = 0;; ++attempt) {
        Layout* layout = nullptr;
        Stamp stamp;
        const Load load = Obtain(target, layout, &stamp);
        if (load == Load::Failed) return false;
        // A read-only file stays as it is, as it would if it were written in place.
        if (load == Load::Ok && access(target.c_str(), W_OK) != 0) return false;
        const Layout missing;
        const Layout& now = load == Load::Ok ? *layout : missing;
        if (!k || !value) return Rewrite(target, now, load == Load::Ok, sec, k, value);

        const WritePlan plan = PlanSet(now, sec, *k, *value);
        if (plan.kind == WritePlan::Nothing) return true;
        if (plan.kind == WritePlan::Append && load == Load::Missing) {
            if (ReplaceWholeFile(target, plan.added) != 0) return false;
            Remember(target, plan.added);
            return true;
        }
        if (plan.kind == WritePlan::Append) {
            switch (Append(target, stamp, *layout, plan.added)) {
            case Appended::Done:
                return true;
            case Appended::Failed:
                return false;
            case Appended::FileChanged:
                if (attempt < 2) continue; // read it again and decide again
                return false;
            case Appended::NotAFile:
                break;
            }
        }
        return Rewrite(target, now, true, sec, k, value);
    }
}

} // namespace paveno
