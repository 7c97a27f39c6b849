// SPDX-License-Identifier: MIT
#include "services/FileLock.h"
#include "services/FileSearch.h"
#include "services/Files.h"
#include "services/Folders.h"
#include "services/Gbk.h"
#include "services/Ini.h"
#include "services/NativePath.h"
#include "services/RunDirectory.h"
#include "services/WholeFile.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

using namespace paveno;
using paveno::test::CurrentDirectory;
using paveno::test::FileContent;
using paveno::test::kTrail5C;
using paveno::test::kTrail5CUtf8;
using paveno::test::PutFile;
using paveno::test::RunDirectoryScope;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

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

TEST(RunDirectory, HasNoTrailingSeparator) {
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

// Every file operation given a relative path works in the run directory, whatever folder the process was started in:
// the page cache is deleted there and the library's folders are made there.
TEST(RunDirectory, RelativePathsLandInTheRunDirectoryWhateverTheWorkingFolder) {
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
