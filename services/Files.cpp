// SPDX-License-Identifier: MIT
#include "services/Files.h"

#include "services/GbkScan.h"
#include "services/Handles.h"
#include "services/NativePath.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace paveno {
namespace {

std::mutex gMutex; // the table of open files; services run on one thread, but the guard costs nothing

struct OpenEntry {
    int fd = -1;
    ~OpenEntry() {
        if (fd >= 0) close(fd);
    }
};

std::map<int, std::unique_ptr<OpenEntry>> gFiles;
int gNextFile = 1;

} // namespace

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::size_t ReadUpTo(int fd, std::span<std::uint8_t> into) {
    std::size_t got = 0;
    while (got < into.size()) {
        const ssize_t n = read(fd, into.data() + got, into.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
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
            out.resize(ReadUpTo(fd, out));
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
    for (auto part : parts)
        ok = ok && WriteAll(fd, {reinterpret_cast<const char*>(part.data()), part.size()});
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

} // namespace paveno
