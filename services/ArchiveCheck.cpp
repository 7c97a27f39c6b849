// SPDX-License-Identifier: MIT
#include "services/ArchiveCheck.h"

#include "services/Gbk.h"
#include "services/WholeFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>

namespace paveno {
namespace {

bool StartsWith(std::span<const std::uint8_t> body, std::string_view magic) {
    return body.size() >= magic.size() && std::equal(magic.begin(), magic.end(), body.begin(),
                                                     [](char m, std::uint8_t b) { return std::uint8_t(m) == b; });
}

struct ReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
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

bool ArchiveReadsThrough(std::span<const std::uint8_t> body) {
    const std::unique_ptr<archive, ReadFree> reader(archive_read_new());
    if (!reader) return false;
    archive* a = reader.get();
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_zip(a);
    archive_read_support_format_7zip(a);
    archive_read_support_filter_none(a);
    if (archive_read_open_memory(a, body.data(), body.size()) != ARCHIVE_OK) return false;
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        archive_entry* entry = nullptr;
        const int header = archive_read_next_header(a, &entry);
        if (header == ARCHIVE_EOF) return true;
        if (header < ARCHIVE_WARN) return false;
        la_ssize_t got;
        while ((got = archive_read_data(a, buffer.data(), buffer.size())) > 0) {
        }
        if (got == ARCHIVE_FATAL) return false;
        // ARCHIVE_FAILED: this entry cannot be unpacked here; the archive goes on after it.
        if (got < 0 && archive_read_data_skip(a) == ARCHIVE_FATAL) return false;
    }
}

Text ArchiveProblem(std::span<const std::uint8_t> body, bool lengthUnknown) {
    if (LooksLikeWebPage(body)) return Gbk("服务器返回网页");
    if (lengthUnknown && RecogniseArchive(body) != ArchiveFormat::Unknown && !ArchiveReadsThrough(body))
        return Gbk("数据不完整");
    return {};
}

void RefuseUnusableArchive(Fetched& fetched) {
    if (!fetched.outcome.Good()) return;
    // A body that went into its file as it came is read back only where it must be read through.
    std::optional<ByteSet> whole;
    if (fetched.kept && fetched.kept->Size() > fetched.body.size() && fetched.outcome.lengthUnknown) {
        whole = fetched.kept->ReadBack();
        if (!whole) return; // a file that cannot be read back cannot be committed either: the commit says why
    }
    Text problem = ArchiveProblem(whole ? *whole : fetched.body, fetched.outcome.lengthUnknown);
    if (problem.empty()) return;
    ByteSet().swap(fetched.body);
    fetched.kept.reset();
    fetched.outcome.whole = false;
    fetched.outcome.reason = std::move(problem);
}

} // namespace paveno
