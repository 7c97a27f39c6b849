// SPDX-License-Identifier: MIT
#include "tests/support/Archives.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace paveno::test {
namespace {

std::string Written(const ArchiveFiles& files, int (*setFormat)(archive*)) {
    std::string out(1 << 20, '\0');
    for (const auto& [name, content] : files)
        out.resize(out.size() + content.size() * 2);
    size_t used = 0;
    archive* a = archive_write_new();
    setFormat(a);
    archive_write_open_memory(a, out.data(), out.size(), &used);
    for (const auto& [name, content] : files) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_size(entry, static_cast<la_int64_t>(content.size()));
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_write_header(a, entry);
        archive_write_data(a, content.data(), content.size());
        archive_entry_free(entry);
    }
    if (archive_write_close(a) != ARCHIVE_OK) throw std::runtime_error(archive_error_string(a));
    archive_write_free(a);
    out.resize(used);
    return out;
}

std::uint32_t Crc32(std::string_view bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char b : bytes)
        crc = table[(crc ^ static_cast<std::uint8_t>(b)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void Put(std::string& s, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>(value >> (8 * i)));
}

// A RAR 4 block: its CRC (the low 16 bits of the CRC-32 of everything after it) leads it.
std::string Block(const std::string& afterCrc) {
    std::string block;
    Put(block, Crc32(afterCrc) & 0xFFFF, 2);
    return block + afterCrc;
}

} // namespace

std::string PackedContent(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * 7 + i / 97);
    return s;
}

std::string MakeZip(const ArchiveFiles& files) {
    return Written(files, archive_write_set_format_zip);
}

std::string MakeSevenZip(const ArchiveFiles& files) {
    return Written(files, archive_write_set_format_7zip);
}

std::string MakeRar4(const ArchiveFiles& files) {
    std::string rar("Rar!\x1A\x07\x00", 7);
    std::string main;
    Put(main, 0x73, 1);
    Put(main, 0, 2);  // flags
    Put(main, 13, 2); // header size
    Put(main, 0, 6);  // reserved
    rar += Block(main);
    for (const auto& [name, content] : files) {
        std::string file;
        Put(file, 0x74, 1);
        Put(file, 0x8000, 2);                   // the packed size follows
        Put(file, 32 + name.size(), 2);         // header size
        Put(file, content.size(), 4);           // packed size
        Put(file, content.size(), 4);           // unpacked size
        Put(file, 2, 1);                        // written on Windows
        Put(file, Crc32(content), 4);           // the file's CRC-32
        Put(file, (45u << 25) | (1u << 21), 4); // 2025-01-01 00:00 as a DOS time
        Put(file, 20, 1);                       // version needed
        Put(file, 0x30, 1);                     // stored
        Put(file, name.size(), 2);
        Put(file, 0x20, 4); // archive attribute
        file += name;
        rar += Block(file) + content;
    }
    std::string end;
    Put(end, 0x7B, 1);
    Put(end, 0x4000, 2);
    Put(end, 7, 2);
    rar += Block(end);
    return rar;
}

} // namespace paveno::test
