// SPDX-License-Identifier: MIT
#include "services/Folders.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace paveno;
using paveno::test::FileContent;
using paveno::test::kTrail5C;
using paveno::test::kTrail5CUtf8;
using paveno::test::PutFile;
using paveno::test::RunDirectoryScope;
using paveno::test::RunWithoutRoot;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

TEST(Folders, CreateFolderMakesOneFolderOnly) {
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

TEST(Folders, DeleteFolderRefusesRootsAndEmptyPaths) {
    for (const char* p : {"", "   ", "C:", "C:\\", "c:/", "/", "\\", "//", "/.", "  /"}) {
        EXPECT_FALSE(DeleteFolder(p)) << "'" << p << "'";
    }
    EXPECT_TRUE(fs::exists("/bin/sh"));
}

TEST(Folders, DeleteFolderEmptiesTheTreeButLeavesDotEntriesAndLinkTargets) {
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

TEST(Folders, DeleteFolderGivenALinkLeavesItsTarget) {
    TempRunDirectory run, outside;
    PutFile(outside.path() / "a.txt", "x");
    fs::create_directory_symlink(outside.path(), run.path() / "link");
    EXPECT_FALSE(DeleteFolder(run.gbkPath() + "\\link"));
    EXPECT_TRUE(fs::exists(outside.path() / "a.txt"));
}

TEST(Folders, DeleteFolderByRelativeNameWithLeadingSpaces) {
    TempRunDirectory run;
    fs::create_directories(run.path() / "缓存" / "玄幻小说");
    PutFile(run.path() / "缓存" / "玄幻小说" / "1.html", "page");
    RunDirectoryScope library(run.path());
    EXPECT_TRUE(DeleteFolder("  \xBB\xBA\xB4\xE6"));
    EXPECT_FALSE(fs::exists(run.path() / "缓存"));
    EXPECT_FALSE(DeleteFolder("\xBB\xBA\xB4\xE6")) << "already gone";
}

TEST(Folders, DeleteFolderSkipsWhatItCannotRemove) {
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
