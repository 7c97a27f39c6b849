// SPDX-License-Identifier: MIT
#include "services/Files.h"
#include "services/FileSearch.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace paveno;
using paveno::test::FileContent;
using paveno::test::kTrail5C;
using paveno::test::kTrail5CUtf8;
using paveno::test::PutFile;
using paveno::test::RunWithoutRoot;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

TEST(Files, WholeFilesAsByteSets) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\" + kTrail5C + ".jpg";
    EXPECT_TRUE(ReadFileBytes(file).empty()) << "missing";
    EXPECT_TRUE(ReadFileBytes("").empty());

    const ByteSet a = BytesOf(std::string_view("ab\0c", 4)), none, b = BytesOf("\xFF\x1A");
    EXPECT_TRUE(WriteFileBytes(file, {a, none, b}));
    EXPECT_EQ(ReadFileBytes(file), BytesOf(std::string_view("ab\0c\xFF\x1A", 6)));
    EXPECT_EQ(FileContent(run.path() / (kTrail5CUtf8 + ".jpg")).size(), 6u);

    EXPECT_TRUE(WriteFileBytes(file, none)) << "truncates to nothing";
    EXPECT_EQ(GetFileSize(file), 0);
    EXPECT_TRUE(ReadFileBytes(file).empty());
    EXPECT_TRUE(WriteFileBytes(run.gbkPath() + "\\new", {}));
    EXPECT_EQ(GetFileSize(run.gbkPath() + "\\new"), 0);

    EXPECT_FALSE(WriteFileBytes("", a));
    EXPECT_FALSE(WriteFileBytes(run.gbkPath() + "\\no\\such.jpg", a));
    EXPECT_FALSE(WriteFileBytes(run.gbkPath(), a)) << "a folder is not a file";
    EXPECT_TRUE(ReadFileBytes(run.gbkPath()).empty());
}

TEST(Files, OpenFileModes) {
    TempRunDirectory run;
    fs::permissions(run.path(), fs::perms::all);
    const Text root = run.gbkPath();
    struct Case {
        int mode;
        bool exists;
        bool opens;
        std::string after; // content after opening ("-" for no file)
    };
    const Case cases[] = {
        {1, true, true, "old"},  {1, false, false, "-"},  {2, true, true, "old"}, {2, false, false, "-"},
        {3, true, true, "old"},  {3, false, false, "-"},  {4, true, true, ""},    {4, false, true, ""},
        {5, true, true, "old"},  {5, false, true, ""},    {6, true, true, "old"}, {6, false, true, ""},
        {0, true, false, "old"}, {7, true, false, "old"},
    };
    std::set<std::int32_t> numbers;
    for (const auto& c : cases) {
        const fs::path p = run.path() / "f.txt";
        fs::remove(p);
        if (c.exists) PutFile(p, "old");
        std::int32_t n = OpenFile(root + "\\f.txt", c.mode);
        EXPECT_EQ(n != 0, c.opens) << "mode " << c.mode << (c.exists ? " existing" : " missing");
        EXPECT_EQ(fs::exists(p) ? FileContent(p) : "-", c.after) << "mode " << c.mode;
        if (n != 0) {
            EXPECT_TRUE(numbers.insert(n).second) << "file numbers are distinct";
        }
    }
    PutFile(run.path() / "f.txt", "old");
    EXPECT_NE(OpenFile(root + "\\f.txt"), 0) << "default mode: read and write";
    for (int sharing : {1, 2, 3, 4})
        EXPECT_NE(OpenFile(root + "\\f.txt", 1, sharing), 0) << sharing;
    EXPECT_EQ(OpenFile(root + "\\f.txt", 1, 0), 0);
    EXPECT_EQ(OpenFile(root + "\\f.txt", 1, 5), 0);
    EXPECT_EQ(OpenFile("", 6), 0);
    EXPECT_EQ(OpenFile(root, 1), 0) << "a folder is not a file";

    fs::permissions(run.path() / "f.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const Text file = root + "\\f.txt";
    EXPECT_EQ(RunWithoutRoot([&] { return OpenFile(file) != 0 ? 1 : 0; }), 0) << "a read-only file, default mode";
    EXPECT_EQ(RunWithoutRoot([&] { return OpenFile(file, 1) != 0 ? 1 : 0; }), 1) << "read-only file, read mode";
}

TEST(Files, ReadTextFromFileEndsAndPositions) {
    TempRunDirectory run;
    struct Case {
        std::string content;
        std::optional<std::int32_t> count;
        Text first, second; // two reads in a row with the same count
    };
    const Case cases[] = {
        {std::string("ab\0cd", 5), std::nullopt, "ab", ""}, // the position rests on the zero byte
        {"ab\x1A"
         "cd",
         std::nullopt, "ab", ""},
        {std::string("ab\xB0\0cd", 6), std::nullopt, "ab", ""},       // half a character before a zero byte
        {std::string("\xB0\xA1\0", 3), std::nullopt, "\xB0\xA1", ""}, // a whole character before it stays
        {"\x81\x1A"
         "a",
         std::nullopt, "\x81", ""}, // 0x1A is no trail byte
        {"abcdef", 3, "abc", "def"},
        {"abcdef", 4, "abcd", "ef"},
        {"\xD0\xA1\xCB\xB5", 3, "\xD0\xA1\xCB", "\xB5"}, // a count may cut a character
        {"abc", 0, "", ""},
        {"abc", -5, "", ""},
        {"", std::nullopt, "", ""},
        {"abc", 1 << 30, "abc", ""},
    };
    int i = 0;
    for (const auto& c : cases) {
        const fs::path p = run.path() / ("t" + std::to_string(i++));
        PutFile(p, c.content);
        std::int32_t n = OpenFile(run.gbkPath() + "\\" + p.filename().string());
        ASSERT_NE(n, 0);
        EXPECT_EQ(ReadTextFromFile(n, c.count), c.first) << i;
        EXPECT_EQ(ReadTextFromFile(n, c.count), c.second) << i;
    }
    // An omitted count is the whole length, not what is left: the rest still comes whole.
    PutFile(run.path() / "rest", "123456");
    std::int32_t n = OpenFile(run.gbkPath() + "\\rest", 1);
    EXPECT_EQ(ReadTextFromFile(n, 2), "12");
    EXPECT_EQ(ReadTextFromFile(n), "3456");
    EXPECT_EQ(ReadTextFromFile(0), "");
    EXPECT_EQ(ReadTextFromFile(-1), "");

    // A file open for writing only cannot be read: empty text, and the position goes to the end.
    PutFile(run.path() / "w", "abc");
    std::int32_t w = OpenFile(run.gbkPath() + "\\w", 5);
    EXPECT_EQ(ReadTextFromFile(w), "");
    std::int32_t again = OpenFile(run.gbkPath() + "\\w", 5);
    EXPECT_NE(again, w);
}

// Appends make the file and add to it; a link at the name is refused, so nothing lands in the file it names.
TEST(Files, AppendsNeverWriteThroughALink) {
    TempRunDirectory run;
    const Text record = run.gbkPath() + "\\record.txt";
    EXPECT_EQ(AppendToFile(record, ByteSet{'a', '\r', '\n'}), 0);
    EXPECT_TRUE(AppendFileBytes(record, ByteSet{'b'}));
    EXPECT_EQ(FileContent(run.path() / "record.txt"), "a\r\nb");

    PutFile(run.path() / "elsewhere.txt", "keep");
    fs::create_symlink(run.path() / "elsewhere.txt", run.path() / "linked.txt");
    EXPECT_EQ(AppendToFile(run.gbkPath() + "\\linked.txt", ByteSet{'x'}), ELOOP);
    EXPECT_FALSE(AppendFileBytes(run.gbkPath() + "\\linked.txt", ByteSet{'x'}));
    EXPECT_EQ(FileContent(run.path() / "elsewhere.txt"), "keep");
    EXPECT_EQ(AppendToFile(run.gbkPath() + "\\missing\\record.txt", ByteSet{'x'}), ENOENT);
}
