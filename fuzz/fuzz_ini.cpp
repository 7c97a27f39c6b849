// SPDX-License-Identifier: MIT
// Any bytes as an INI file, then a lookup, a write and a second lookup. Beyond "no crash, no leak": whatever the
// file held, a write that reports success must be what the next read gives back, and a deletion must stick.
#include "services/Ini.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct Folder {
    std::filesystem::path path;
    Folder() {
        // In memory when the machine offers it: every stored write syncs its file, which a disk makes slow.
        std::error_code ec;
        std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string templ = (base / "paveno-fuzz-ini-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        path = templ;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

std::string Name(FuzzedDataProvider& in, size_t max) {
    std::string s = in.ConsumeRandomLengthString(max);
    std::erase(s, '\0'); // texts never hold a zero byte
    return s;
}

bool Plain(const std::string& s) {
    return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// Blanks around a value: space, tab, vertical tab and form feed (line breaks are refused on writing).
std::string_view Trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static Folder folder;
    FuzzedDataProvider in(data, size);
    const std::string section = Name(in, 12), key = Name(in, 12), value = Name(in, 24);
    const int op = in.ConsumeIntegralInRange(0, 2);
    const std::string content = in.ConsumeRemainingBytesAsString();

    // A fresh file each time (a new inode), as another program would put it there.
    const auto file = folder.path / "f.ini", staged = folder.path / "staged";
    if (FILE* f = std::fopen(staged.c_str(), "wb")) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    std::filesystem::rename(staged, file);
    const paveno::Text path = file.string();

    paveno::ReadIniValue(path, section, key, value);
    const std::optional<paveno::Text> k = op == 2 ? std::nullopt : std::optional(key);
    const std::optional<paveno::Text> v = op == 0 ? std::optional(value) : std::nullopt;
    const bool stored = paveno::WriteIniValue(path, section, k, v);
    const paveno::Text got = paveno::ReadIniValue(path, section, key, "\x01missing");

    if (!stored || !Plain(section) || !Plain(key) || Trim(section).empty() || Trim(key).empty()) return 0;
    if (op != 0) {
        if (got != "\x01missing") std::abort(); // deleted, yet still there
        return 0;
    }
    std::string_view expected = Trim(value);
    if (expected.size() >= 2 && expected.front() == expected.back() &&
        (expected.front() == '"' || expected.front() == '\''))
        expected = expected.substr(1, expected.size() - 2);
    if (got != expected) std::abort(); // reported as stored, but reads back otherwise
    return 0;
}
