// SPDX-License-Identifier: MIT
#include "services/FileSearch.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace paveno;
using paveno::test::kTrail5C;
using paveno::test::kTrail5CUtf8;
using paveno::test::PutFile;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

namespace {

std::vector<Text> ListAll(const Text& pattern, FindFilter filter, int& handle) {
    std::vector<Text> names;
    for (Text n = FindFileFirst(pattern, filter, handle); !n.empty(); n = FindFileNext(handle))
        names.push_back(n);
    return names;
}

} // namespace

TEST(FileSearch, GetFileSizeMeasuresTheFirstMatch) {
    TempRunDirectory run;
    const Text root = run.gbkPath();
    PutFile(run.path() / "b.txt", "12345");
    PutFile(run.path() / "a.TXT", "123");
    PutFile(run.path() / "empty.rar", "");
    PutFile(run.path() / (kTrail5CUtf8 + ".jpg"), "1234567");
    fs::create_directories(run.path() / "folder.rar");
    {
        int fd = open((run.path() / "big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_EQ(ftruncate(fd, (off_t{1} << 32) + 7), 0); // sparse: takes no room
        close(fd);
    }
    struct Case {
        Text path;
        std::int32_t size;
    };
    const Case cases[] = {
        {"\\b.txt", 5},
        {"\\missing.txt", -1},
        {"\\empty.rar", 0},
        {"\\folder.rar", 0},
        {"\\*.txt", 3}, // "a.TXT" comes first
        {"\\b.*", 5},
        {"\\?.txt", 3},
        {"\\*.zip", -1},
        {"\\" + kTrail5C + ".jpg", 7},
        {"\\?.jpg", 7}, // one double-byte character
        {"\\big.bin", 7},
        {"\\*", 0}, // "." comes first, and it is a folder
        {"\\nowhere\\*.txt", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileSize(root + c.path), c.size) << c.path;
}

TEST(FileSearch, FileNameMatchingLikeWindows) {
    struct Case {
        Text name, pattern;
        bool matches;
    };
    const Case cases[] = {
        {"a.rar", "*.rar", true},
        {"A.RAR", "*.rar", true},
        {"a.rarx", "*.rar", false},
        {"a.rar.bak", "*.rar", false},
        {".rar", "*.rar", true},
        {"abc", "*.*", true},
        {"a.b.c", "*.*", true},
        {"abc", "*", true},
        {"abc", "*.", true},
        {"a.b", "*.", false},
        {"abc", "abc.*", true},
        {"abc.txt", "abc.*", true},
        {"abcd", "abc.*", false},
        {"ab", "?", false},
        {"a", "?", true},
        {"\xD0\xA1\xCB\xB5.rar", "??.rar", true}, // two characters, four bytes
        {"\xD0\xA1\xCB\xB5.rar", "????.rar", false},
        {"\xB0\x41", "\xB0\x61", false}, // trail bytes that look like letters are not folded
        {"\xB0\x41", "\xB0\x41", true},
        {"x\xD0\xA1y", "X*Y", true},
        {"a.rar", "A.RAR", true},
        {".", ".", true},
        {"..", ".", false},
        {"t" + kTrail5C + ".rar", "t?.rar", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileNameMatches(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

TEST(FileSearch, ListingArchivesOfACategory) {
    TempRunDirectory run;
    const Text root = run.gbkPath();
    PutFile(run.path() / "b.rar", "b");
    PutFile(run.path() / "a.rar", "a");
    PutFile(run.path() / (kTrail5CUtf8 + ".rar"), "t");
    PutFile(run.path() / "notes.txt", "");
    PutFile(run.path() / "\xFF.rar", ""); // no GBK form: no handler could name it
    fs::create_directories(run.path() / "c.rar");
    // Links are taken for what they name: a file, a folder, or (named nothing) a file.
    fs::create_symlink(run.path() / "a.rar", run.path() / "A2.rar");
    fs::create_symlink(run.path() / "c.rar", run.path() / "d.rar");
    fs::create_symlink(run.path() / "gone", run.path() / "e.rar");

    int handle = 0;
    EXPECT_EQ(ListAll(root + "\\*.rar", FindFilter::FilesOnly(), handle),
              (std::vector<Text>{"a.rar", "A2.rar", "b.rar", "e.rar", kTrail5C + ".rar"}));
    EXPECT_EQ(handle, 0) << "the search closes itself when the names run out";
    EXPECT_EQ(FindFileNext(handle), "");

    // Starting again while a search runs replaces it; numbers are never 0.
    EXPECT_EQ(FindFileFirst(root + "\\*.rar", FindFilter::FilesOnly(), handle), "a.rar");
    int first = handle;
    EXPECT_NE(first, 0);
    EXPECT_EQ(FindFileFirst(root + "/*.RAR", FindFilter::FilesOnly(), handle), "a.rar");
    EXPECT_NE(handle, 0);
    CloseFileFind(handle);
    EXPECT_EQ(handle, 0);
    int stale = first;
    EXPECT_EQ(FindFileNext(stale), "") << "a closed search gives nothing";
    EXPECT_EQ(stale, 0);

    EXPECT_EQ(FindFileFirst(root + "\\*.zip", FindFilter::FilesOnly(), handle), "");
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(FindFileFirst(root + "\\missing\\*.rar", FindFilter::FilesOnly(), handle), "");
    EXPECT_EQ(FindFileFirst(root + "\\", FindFilter::FilesOnly(), handle), "");
    EXPECT_EQ(handle, 0);
}

TEST(FileSearch, ListingWithAnAttributeMask) {
    TempRunDirectory run;
    const Text root = run.gbkPath();
    PutFile(run.path() / "plain", "");
    PutFile(run.path() / ".hidden", "");
    PutFile(run.path() / "locked", "");
    fs::permissions(run.path() / "locked", fs::perms::owner_read);
    fs::create_directories(run.path() / "sub");

    struct Case {
        FindFilter filter;
        std::vector<Text> names;
    };
    const Case cases[] = {
        {FindFilter::FilesOnly(), {".hidden", "locked", "plain"}},
        {FindFilter::Mask(FindFilter::Folder), {".", "..", "sub"}},
        {FindFilter::Mask(FindFilter::Hidden), {".hidden"}},
        {FindFilter::Mask(FindFilter::ReadOnly), {"locked"}},
        {FindFilter::Mask(FindFilter::Archive), {".hidden", "locked", "plain"}},
        {FindFilter::Mask(FindFilter::System), {}},
        {FindFilter::Mask(0), {}},
    };
    for (const auto& c : cases) {
        int handle = 0;
        EXPECT_EQ(ListAll(root + "\\*.*", c.filter, handle), c.names) << c.filter.mask;
        EXPECT_EQ(handle, 0);
    }
}
