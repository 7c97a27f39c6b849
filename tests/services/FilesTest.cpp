// SPDX-License-Identifier: MIT
#include "services/Files.h"
#include "services/FileLock.h"
#include "services/FileSearch.h"
#include "services/Folders.h"
#include "services/Gbk.h"
#include "services/Ini.h"
#include "services/NativePath.h"
#include "services/RunDirectory.h"
#include "services/WholeFile.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace paveno;
using paveno::test::CurrentDirectory;
using paveno::test::FileContent;
using paveno::test::PutFile;
using paveno::test::RunDirectoryScope;
using paveno::test::RunWithoutRoot;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

namespace {

// GBK 0x81 0x5C is "乗": its trail byte is a backslash.
const Text kTrail5C = "\x81\x5C";
const std::string kTrail5CUtf8 = "乗";

std::vector<Text> ListAll(const Text& pattern, FindFilter filter, int& handle) {
    std::vector<Text> names;
    for (Text n = FindFileFirst(pattern, filter, handle); !n.empty(); n = FindFileNext(handle))
        names.push_back(n);
    return names;
}

} // namespace

TEST(NativePath, ConvertsBeforeTurningBackslashesIntoSlashes) {
    struct Case {
        std::string gbk;
        std::optional<std::string> native;
    };
    const Case cases[] = {
        {"/run\\\xD0\xA1\xCB\xB5\\jpg\\T.jpg", "/run/小说/jpg/T.jpg"},
        {"/run\\" + kTrail5C + ".jpg", "/run/" + kTrail5CUtf8 + ".jpg"}, // one name, not a folder and ".jpg"
        {"/run\\\xD5\x5C\\x", "/run/誠/x"},
        {"/run\\\xD0\xA1\xCB", std::nullopt}, // a lone lead byte has no Linux name
        {"", std::nullopt},
        {"/run\\\xD0\xA1\xCB\xB5\\jpg\\..\\..\\..\\etc\\x.jpg", std::nullopt}, // a title like "..\..\x"
        {"/run\\..", std::nullopt},
        {"/run\\...jpg", "/run/...jpg"}, // the title ".." gives a file name, not a step up
        {"/run\\.\\a", "/run/./a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NativePath(c.gbk), c.native) << c.gbk;
}

// A relative path is in the run directory, never in the process's working folder.
TEST(NativePath, ARelativePathStartsAtTheRunDirectory) {
    struct Case {
        Text runDir, gbk;
        std::optional<std::string> native;
    };
    const Case cases[] = {
        {"/run", "\xD0\xA1\xCB\xB5\\ini", "/run/小说/ini"},
        {"/run\\", "a", "/run/a"},
        {"/opt\\" + kTrail5C, "a", "/opt/" + kTrail5CUtf8 + "/a"}, // the run directory converts as a path does
        {"/", "a", "/a"},
        {"/run", "/abs\\x", "/abs/x"}, // an absolute path is left as it is
        {"/run", "..\\x", std::nullopt},
        {"relative", "a", std::nullopt}, // no run directory to start from: nothing rather than the working folder
        {"/run\\..\\up", "a", std::nullopt},
        {"/run\\\xD0\xA1\xCB", "a", std::nullopt}, // a run directory without a Linux name
    };
    const Text saved = GetRunDirectory();
    for (const auto& c : cases) {
        SetRunDirectory(c.runDir);
        EXPECT_EQ(NativePath(c.gbk), c.native) << c.runDir << " + " << c.gbk;
    }
    SetRunDirectory(saved);
}

// Every file operation given a relative path works in the run directory, whatever folder the process was started in:
// the page cache is deleted there and the library's folders are made there.
TEST(Files, RelativePathsLandInTheRunDirectoryWhateverTheWorkingFolder) {
    TempRunDirectory run, elsewhere;
    PutFile(elsewhere.path() / "keep.html", "theirs");
    fs::create_directories(elsewhere.path() / "缓存" / "玄幻小说");
    PutFile(elsewhere.path() / "缓存" / "玄幻小说" / "1.html", "theirs");
    RunDirectoryScope library(run.path());
    CurrentDirectory cwd(elsewhere.path());

    const Text cache = Gbk("缓存"), category = Gbk("缓存\\玄幻小说");
    EXPECT_TRUE(CreateFolder(cache));
    EXPECT_TRUE(CreateFolder(category));
    EXPECT_TRUE(fs::is_directory(run.path() / "缓存" / "玄幻小说"));
    EXPECT_TRUE(WriteFileBytes(category + "\\1.html", BytesOf("page")));
    EXPECT_EQ(AppendToFile(category + "\\1.html", BytesOf("+")), 0);
    EXPECT_EQ(WriteFileWhole(category + "\\2.html", BytesOf("page")), 0);
    EXPECT_TRUE(WriteIniValue(category + "\\a.ini", "s", "k", "v"));
    int error = 0;
    FileLock lock;
    EXPECT_EQ(lock.TryTake(cache, error), FileLock::Result::Taken);
    lock.Release();
    EXPECT_EQ(FileContent(run.path() / "缓存" / "玄幻小说" / "1.html"), "page+");
    EXPECT_EQ(ReadFileBytes(category + "\\2.html"), BytesOf("page"));
    EXPECT_EQ(ReadIniValue(category + "\\a.ini", "s", "k"), "v");
    EXPECT_EQ(GetFileSize(category + "\\1.html"), 5);
    int search = 0;
    EXPECT_EQ(FindFileFirst(category + "\\*.html", FindFilter::FilesOnly(), search), "1.html");
    CloseFileFind(search);
    const std::int32_t file = OpenFile(category + "\\1.html", 1);
    EXPECT_EQ(ReadTextFromFile(file), "page+");

    EXPECT_TRUE(DeleteFolder(cache));
    EXPECT_FALSE(fs::exists(run.path() / "缓存"));
    // The working folder is as it was.
    std::set<std::string> there;
    for (const auto& entry : fs::recursive_directory_iterator(elsewhere.path()))
        there.insert(fs::relative(entry.path(), elsewhere.path()).string());
    EXPECT_EQ(there, (std::set<std::string>{"keep.html", "缓存", "缓存/玄幻小说", "缓存/玄幻小说/1.html"}));
    EXPECT_EQ(FileContent(elsewhere.path() / "缓存" / "玄幻小说" / "1.html"), "theirs");
}

TEST(Files, RunDirectoryHasNoTrailingSeparator) {
    Text exeFolder = GetRunDirectory();
    ASSERT_FALSE(exeFolder.empty());
    EXPECT_NE(exeFolder.back(), '/');
    EXPECT_EQ(GetFileSize(exeFolder), 0) << "the executable's folder exists";

    struct Case {
        Text given, expected;
    };
    const Case cases[] = {
        {"/opt/paveno", "/opt/paveno"},
        {"/opt/paveno/", "/opt/paveno"},
        {"/opt/paveno\\\\", "/opt/paveno"},
        {"/opt/" + kTrail5C, "/opt/" + kTrail5C}, // the 0x5C closes a character, it is no separator
        {"/", ""},
    };
    for (const auto& c : cases) {
        SetRunDirectory(c.given);
        EXPECT_EQ(GetRunDirectory(), c.expected) << c.given;
    }
    SetRunDirectory(exeFolder);
}

TEST(Files, CreateFolderMakesOneFolderOnly) {
    TempRunDirectory run;
    const Text root = run.gbkPath();
    EXPECT_TRUE(CreateFolder(root + "\\a"));
    EXPECT_FALSE(CreateFolder(root + "\\a")) << "an existing folder gives false";
    EXPECT_FALSE(CreateFolder(root + "\\x\\y")) << "the parent must exist";
    EXPECT_FALSE(fs::exists(run.path() / "x"));
    EXPECT_TRUE(CreateFolder(root + "\\\xD0\xA1\xCB\xB5\\"));
    EXPECT_TRUE(fs::is_directory(run.path() / "小说"));

    // A title whose last byte is 0x5C is one folder, not a folder plus a separator.
    EXPECT_TRUE(CreateFolder(root + "\\" + kTrail5C));
    EXPECT_TRUE(CreateFolder(root + "\\" + kTrail5C + "\\b"));
    EXPECT_TRUE(fs::is_directory(run.path() / kTrail5CUtf8 / "b"));
    EXPECT_FALSE(fs::exists(run.path() / "\x81"));

    RunDirectoryScope library(run.path());
    EXPECT_TRUE(CreateFolder("\xD0\xA1\xCB\xB5\\jpg"));
    EXPECT_TRUE(fs::is_directory(run.path() / "小说" / "jpg"));
    EXPECT_FALSE(CreateFolder("\xD0\xA1\xCB")) << "a name that does not convert both ways touches nothing";
}

TEST(Files, DeleteFolderRefusesRootsAndEmptyPaths) {
    for (const char* p : {"", "   ", "C:", "C:\\", "c:/", "/", "\\", "//", "/.", "  /"}) {
        EXPECT_FALSE(DeleteFolder(p)) << "'" << p << "'";
    }
    EXPECT_TRUE(fs::exists("/bin/sh"));
}

TEST(Files, DeleteFolderEmptiesTheTreeButLeavesDotEntriesAndLinkTargets) {
    TempRunDirectory run, outside;
    PutFile(outside.path() / "keep.txt", "precious");
    fs::create_directories(outside.path() / "folder" / "inner");
    PutFile(outside.path() / "folder" / "inner" / "x", "x");

    struct Case {
        const char* name;
        std::function<void(const fs::path&)> build;
        bool removed;
        std::vector<std::string> left; // what must still exist below the folder
    };
    const Case cases[] = {
        {"plain tree",
         [](const fs::path& d) {
             fs::create_directories(d / "a" / "b");
             PutFile(d / "a" / "b" / "1.html", "x");
             PutFile(d / "top.html", "y");
             PutFile(d / (kTrail5CUtf8 + "下载页.html"), "z");
         },
         true,
         {}},
        {"dot-file at the top",
         [](const fs::path& d) {
             PutFile(d / ".keep", "");
             PutFile(d / "a.html", "x");
             fs::create_directories(d / "sub");
         },
         false,
         {".keep"}},
        {"dot-folder deeper down",
         [](const fs::path& d) {
             fs::create_directories(d / "sub" / ".git");
             PutFile(d / "sub" / "a", "x");
         },
         false,
         {"sub/.git"}},
        {"links to a folder and a file outside",
         [&](const fs::path& d) {
             fs::create_directory_symlink(outside.path() / "folder", d / "linked");
             fs::create_symlink(outside.path() / "keep.txt", d / "file-link");
             fs::create_directories(d / "sub");
             fs::create_directory_symlink(outside.path(), d / "sub" / "up");
         },
         true,
         {}},
    };
    for (const auto& c : cases) {
        const fs::path dir = run.path() / "缓存";
        fs::create_directories(dir);
        c.build(dir);
        EXPECT_EQ(DeleteFolder(run.gbkPath() + "\\\xBB\xBA\xB4\xE6"), c.removed) << c.name;
        EXPECT_EQ(fs::exists(dir), !c.removed) << c.name;
        for (const auto& rest : c.left)
            EXPECT_TRUE(fs::exists(dir / rest)) << c.name << ": " << rest;
        std::set<std::string> top;
        for (const auto& rest : c.left)
            top.insert(rest.substr(0, rest.find('/')));
        if (fs::exists(dir)) {
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), std::ssize(top))
                << c.name << ": everything else went";
        }
        fs::remove_all(dir);
        EXPECT_EQ(FileContent(outside.path() / "keep.txt"), "precious") << c.name;
        EXPECT_TRUE(fs::exists(outside.path() / "folder" / "inner" / "x")) << c.name;
    }
}

TEST(Files, DeleteFolderGivenALinkLeavesItsTarget) {
    TempRunDirectory run, outside;
    PutFile(outside.path() / "a.txt", "x");
    fs::create_directory_symlink(outside.path(), run.path() / "link");
    EXPECT_FALSE(DeleteFolder(run.gbkPath() + "\\link"));
    EXPECT_TRUE(fs::exists(outside.path() / "a.txt"));
}

TEST(Files, DeleteFolderByRelativeNameWithLeadingSpaces) {
    TempRunDirectory run;
    fs::create_directories(run.path() / "缓存" / "玄幻小说");
    PutFile(run.path() / "缓存" / "玄幻小说" / "1.html", "page");
    RunDirectoryScope library(run.path());
    EXPECT_TRUE(DeleteFolder("  \xBB\xBA\xB4\xE6"));
    EXPECT_FALSE(fs::exists(run.path() / "缓存"));
    EXPECT_FALSE(DeleteFolder("\xBB\xBA\xB4\xE6")) << "already gone";
}

TEST(Files, DeleteFolderSkipsWhatItCannotRemove) {
    TempRunDirectory run;
    fs::permissions(run.path(), fs::perms::all);
    const fs::path dir = run.path() / "cache";
    fs::create_directories(dir / "locked");
    fs::create_directories(dir / "open");
    PutFile(dir / "locked" / "inside", "x");
    PutFile(dir / "open" / "a", "x");
    PutFile(dir / "z", "x");
    fs::permissions(dir, fs::perms::all);
    fs::permissions(dir / "open", fs::perms::all);
    fs::permissions(dir / "locked", fs::perms::none);

    const Text path = run.gbkPath() + "\\cache";
    ASSERT_EQ(RunWithoutRoot([&] { return DeleteFolder(path) ? 1 : 0; }), 0);
    fs::permissions(dir / "locked", fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(dir / "locked" / "inside"));
    EXPECT_FALSE(fs::exists(dir / "open")) << "the rest of the tree still goes";
    EXPECT_FALSE(fs::exists(dir / "z"));
}

TEST(Files, GetFileSizeMeasuresTheFirstMatch) {
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

TEST(Files, FileNameMatchingLikeWindows) {
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

TEST(Files, ListingArchivesOfACategory) {
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

TEST(Files, ListingWithAnAttributeMask) {
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
