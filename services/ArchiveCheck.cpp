// SPDX-License-Identifier: MIT
#include "services/ArchiveCheck.h"

#include "services/Gbk.h"
#include "services/SystemLibrary.h"
#include "services/WholeFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

namespace paveno {
namespace {

bool StartsWith(std::span<const std::uint8_t> body, std::string_view magic) {
    return body.size() >= magic.size() && std::equal(magic.begin(), magic.end(), body.begin(),
                                                     [](char m, std::uint8_t b) { return std::uint8_t(m) == b; });
}

// libarchive, loaded when an archive of unknown length must first be read through.
struct ArchiveCalls {
    decltype(&archive_read_new) readNew;
    decltype(&archive_read_support_format_rar) supportRar;
    decltype(&archive_read_support_format_rar5) supportRar5;
    decltype(&archive_read_support_format_zip) supportZip;
    decltype(&archive_read_support_format_7zip) support7zip;
    decltype(&archive_read_support_filter_none) supportNoFilter;
    decltype(&archive_read_open_memory) openMemory;
    decltype(&archive_read_next_header) nextHeader;
    decltype(&archive_read_data) readData;
    decltype(&archive_read_data_skip) skipData;
    decltype(&archive_read_free) readFree;
};

const ArchiveCalls* Archives() {
    static const ArchiveCalls* const loaded =
        LoadSystemLibrary<ArchiveCalls>("libarchive.so.13", [](void* library, ArchiveCalls& calls) {
            return FindCall(library, "archive_read_new", calls.readNew) &&
                   FindCall(library, "archive_read_support_format_rar", calls.supportRar) &&
                   FindCall(library, "archive_read_support_format_rar5", calls.supportRar5) &&
                   FindCall(library, "archive_read_support_format_zip", calls.supportZip) &&
                   FindCall(library, "archive_read_support_format_7zip", calls.support7zip) &&
                   FindCall(library, "archive_read_support_filter_none", calls.supportNoFilter) &&
                   FindCall(library, "archive_read_open_memory", calls.openMemory) &&
                   FindCall(library, "archive_read_next_header", calls.nextHeader) &&
                   FindCall(library, "archive_read_data", calls.readData) &&
                   FindCall(library, "archive_read_data_skip", calls.skipData) &&
                   FindCall(library, "archive_read_free", calls.readFree);
        });
    return loaded;
}

struct ReadFree {
    void operator()(archive* a) const { Archives()->readFree(a); }
};

} // namespace

ArchiveFormat RecogniseArchive(std::span<const std::uint8_t> body) {
    using namespace std::string_view_literals;
    if (StartsWith(body, "Rar!\x1A\x07\x00"sv)) return ArchiveFormat::Rar4;
    if (StartsWith(body, "Rar!\x1A\x07\x01\x00"sv)) return ArchiveFormat::Rar5;
    if (StartsWith(body, "PK\x03\x04"sv) || StartsWith(body, "PK\x05\x06"sv)) return ArchiveFormat::Zip;
    if (StartsWith(body, "7z\xBC\xAF\x27\x1C"sv)) return ArchiveFormat::SevenZip;
    return ArchiveFormat::Unknown;
}

bool LooksLikeWebPage(std::span<const std::uint8_t> body) {
    if (StartsWith(body, "\xEF\xBB\xBF")) body = body.subspan(3);
    const auto first = std::find_if(body.begin(), body.end(), [](std::uint8_t b) {
        return b != ' ' && b != '\t' && b != '\r' && b != '\n' && b != '\f' && b != '\v';
    });
    return first != body.end() && *first == '<';
}

std::optional<bool> ArchiveReadsThrough(std::span<const std::uint8_t> body) {
    const ArchiveCalls* calls = Archives();
    if (!calls) return std::nullopt;
    const std::unique_ptr<archive, ReadFree> reader(calls->readNew());
    if (!reader) return false;
    archive* a = reader.get();
    calls->supportRar(a);
    calls->supportRar5(a);
    calls->supportZip(a);
    calls->support7zip(a);
    calls->supportNoFilter(a);
    if (calls->openMemory(a, body.data(), body.size()) != ARCHIVE_OK) return false;
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        archive_entry* entry = nullptr;
        const int header = calls->nextHeader(a, &entry);
        if (header == ARCHIVE_EOF) return true;
        if (header < ARCHIVE_WARN) return false;
        la_ssize_t got;
        while ((got = calls->readData(a, buffer.data(), buffer.size())) > 0) {
        }
        if (got == ARCHIVE_FATAL) return false;
        // ARCHIVE_FAILED: this entry cannot be unpacked here; the archive goes on after it.
        if (got < 0 && calls->skipData(a) == ARCHIVE_FATAL) return false;
    }
}

Text ArchiveProblem(std::span<const std::uint8_t> body, bool lengthUnknown) {
    if (LooksLikeWebPage(body)) return Gbk("服务器返回网页");
    if (!lengthUnknown || RecogniseArchive(body) == ArchiveFormat::Unknown) return {};
    const std::optional<bool> whole = ArchiveReadsThrough(body);
    if (!whole) return Gbk("无法载入解压库");
    if (!*whole) return Gbk("数据不完整");
    return {};
}

void RefuseUnusableArchive(Fetched& fetched) {
    if (!fetched.outcome.Good()) return;
    // A body that went into its file as it came is read back only where it must be read through.
    std::optional<ByteSet> whole;
    Text problem;
    if (fetched.kept && fetched.kept->Size() > fetched.body.size() && fetched.outcome.lengthUnknown) {
        if (fetched.kept->Failed()) return; // a file whose writing failed is never committed: the commit says why
        // What cannot be read through is not kept unchecked. This runs on a transfer's thread, where an exception
        // would end the program.
        try {
            whole = fetched.kept->ReadBack();
            if (!whole) problem = Gbk("数据不完整");
        } catch (const std::bad_alloc&) {
            problem = Gbk("内存不足");
        }
    }
    if (problem.empty()) problem = ArchiveProblem(whole ? *whole : fetched.body, fetched.outcome.lengthUnknown);
    if (problem.empty()) return;
    ByteSet().swap(fetched.body);
    fetched.kept.reset();
    fetched.outcome.whole = false;
    fetched.outcome.reason = std::move(problem);
}

} // namespace paveno
