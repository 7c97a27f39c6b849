// SPDX-License-Identifier: MIT
#include "services/Ini.h"

#include "services/GbkScan.h"
#include "services/NativePath.h"
#include "services/WholeFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
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

// A "[" line is a section unless an "=" follows its first "]": a book title such as "[综漫]某书" is a key of the
// library index, and taking it for a section would hide every key after it.
ParsedLine ParseLine(std::string_view raw) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') return {};
    size_t equals = gbk::FindByte(line, '=');
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

    // The first line of the key among the sections of that name (a section may appear more than once).
    const std::string* Find(std::string_view section, std::string_view key) const {
        auto named = byName.find(Folded(section));
        if (named == byName.end()) return nullptr;
        std::string folded = Folded(key);
        for (size_t i : named->second) {
            const Section& s = sections[i];
            if (auto k = s.keys.find(folded); k != s.keys.end()) return &s.lines[k->second];
        }
        return nullptr;
    }

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

// --- the cache of parsed files ----------------------------------------------------------------------------------

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
    Document doc;
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

enum class Load { Ok, Missing, Failed };

// The parsed file, from the cache while the file on disk is the one that was parsed.
Load Obtain(const std::string& path, Document*& doc) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        gCache.erase(path);
        return errno == ENOENT || errno == ENOTDIR ? Load::Missing : Load::Failed;
    }
    auto it = gCache.find(path);
    if (it != gCache.end() && it->second.stamp == Stamp::Of(st)) {
        it->second.lastUse = ++gUseCounter;
        doc = &it->second.doc;
        return Load::Ok;
    }
    if (!S_ISREG(st.st_mode)) return Load::Failed;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Load::Failed;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Load::Failed;
    if (stat(path.c_str(), &st) != 0) return Load::Failed;

    if (gCache.size() >= kCachedFiles && !gCache.count(path)) {
        auto oldest = gCache.begin();
        for (auto c = gCache.begin(); c != gCache.end(); ++c)
            if (c->second.lastUse < oldest->second.lastUse) oldest = c;
        gCache.erase(oldest);
    }
    CachedFile& entry = gCache[path];
    entry = {Stamp::Of(st), Document::Parse(bytes), ++gUseCounter};
    doc = &entry.doc;
    return Load::Ok;
}

// Writes a temporary file beside the target, makes it durable and renames it over the target: a crash leaves the
// old file or the new one, never a mix. (The folder is not synced: after a crash the rename may be undone, which
// leaves the old file, and that is allowed.)
bool ReplaceFile(const std::string& path, std::string_view bytes) {
    return ReplaceWholeFile(path, bytes, true) == 0;
}

// Another program may write the same file: the folder's advisory lock is held from reading the file to renaming the
// new one over it, so neither write loses the other's keys. (The file itself cannot carry the lock: the rename
// replaces it.)
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

std::string_view SkipLeadingControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    return s;
}

bool HasLineBreak(std::string_view s) {
    return gbk::FindAnyOf(s, "\r\n") != gbk::npos;
}

} // namespace

bool IsStorableIniSection(const Text& name) {
    const std::string_view sec = Trim(name);
    return !sec.empty() && !HasLineBreak(sec) && gbk::FindByte(sec, ']') == gbk::npos;
}

bool IsStorableIniKey(const Text& name) {
    const std::string_view k = Trim(name);
    return !k.empty() && !HasLineBreak(k) && gbk::FindByte(k, '=') == gbk::npos && k.front() != ';' &&
           !(k.front() == '[' && gbk::FindByte(k, ']') == gbk::npos);
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
    Document* doc = nullptr;
    if (Obtain(Absolute(*native), doc) != Load::Ok) return Cut(fallback, kValueLimit);
    const std::string* line = doc->Find(Trim(sec), Trim(k));
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
    std::string_view k = key ? Trim(*key) : std::string_view();
    if (value && HasLineBreak(*value)) return false;

    auto native = NativePath(path);
    if (!native) return false;
    std::string target = Absolute(*native);
    // Replacing a link would cut it off from its file; write to the file it names.
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!realpath(target.c_str(), resolved)) return false;
        target = resolved;
    }

    std::lock_guard lock(gMutex);
    const FolderLock folderLock(target);
    Document* doc = nullptr;
    Document fresh;
    switch (Obtain(target, doc)) {
    case Load::Failed:
        return false;
    case Load::Missing:
        doc = &fresh;
        break;
    case Load::Ok:
        // A read-only file stays as it is, as it would if it were written in place.
        if (access(target.c_str(), W_OK) != 0) return false;
        break;
    }

    bool changed = !key ? doc->DeleteSection(sec) : !value ? doc->DeleteKey(sec, k) : doc->Set(sec, k, *value);
    if (!changed) return true;
    if (!ReplaceFile(target, doc->Serialize())) {
        gCache.erase(target); // the parsed copy holds the change that did not reach the disk
        return false;
    }
    if (stat(target.c_str(), &st) != 0) {
        gCache.erase(target);
        return true;
    }
    if (doc == &fresh) {
        if (gCache.size() >= kCachedFiles) gCache.clear();
        gCache[target] = {Stamp::Of(st), std::move(fresh), ++gUseCounter};
    } else {
        gCache[target].stamp = Stamp::Of(st);
    }
    return true;
}

} // namespace paveno
