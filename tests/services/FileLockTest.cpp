// SPDX-License-Identifier: MIT
#include "services/FileLock.h"
#include "services/Gbk.h"
#include "services/WholeFile.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>

using namespace paveno;
using paveno::test::FileContent;
using paveno::test::Names;
using paveno::test::PutFile;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

// The library's lock: a second holder is refused without waiting, and a holder that dies leaves no lock behind.
TEST(FileLock, ALockIsRefusedWhileHeldAndFreedWhenItsHolderDies) {
    TempRunDirectory run;
    const Text path = run.gbkPath() + "\\.lock";
    int error = 0;
    FileLock first, second;
    ASSERT_EQ(first.TryTake(path, error), FileLock::Result::Taken);
    EXPECT_EQ(second.TryTake(path, error), FileLock::Result::Busy);
    first.Release();

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        FileLock held;
        int e = 0;
        held.TryTake(path, e);
        (void)!write(ready[1], "x", 1);
        pause(); // until killed
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(second.TryTake(path, error), FileLock::Result::Busy);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(second.TryTake(path, error), FileLock::Result::Taken);
    close(ready[0]);
    close(ready[1]);

    EXPECT_EQ(second.TryTake(run.gbkPath() + "\\missing folder\\.lock", error), FileLock::Result::Failed);
    EXPECT_EQ(error, ENOENT);
}

// A folder carries its lock itself: there is no file to delete to get round it. A link to a file is refused and the
// file it names is left alone; a link to a folder is followed, as a library on another disk is.
TEST(FileLock, ALockOnAFolderAndNeverThroughAFileLink) {
    TempRunDirectory run;
    fs::create_directories(run.path() / "lib" / "sub");
    PutFile(run.path() / "outside.txt", "keep");
    fs::create_symlink(run.path() / "outside.txt", run.path() / "lib" / ".lock");
    fs::create_directory_symlink(run.path() / "lib", run.path() / "linked");
    int error = 0;
    FileLock folder, again, viaLink, fileLink;
    ASSERT_EQ(folder.TryTake(run.gbkPath() + "\\lib", error), FileLock::Result::Taken);
    EXPECT_EQ(again.TryTake(run.gbkPath() + "\\lib", error), FileLock::Result::Busy);
    EXPECT_EQ(viaLink.TryTake(run.gbkPath() + "\\linked", error), FileLock::Result::Busy);
    EXPECT_EQ(Names(run.path() / "lib"), (std::vector<std::string>{".lock", "sub"})) << "the lock made no file";

    EXPECT_EQ(fileLink.TryTake(run.gbkPath() + "\\lib\\.lock", error), FileLock::Result::Failed);
    EXPECT_EQ(error, ELOOP);
    EXPECT_EQ(WriteFailureReason(error), Gbk("文件是符号链接"));
    EXPECT_EQ(FileContent(run.path() / "outside.txt"), "keep");

    folder.Release();
    EXPECT_EQ(viaLink.TryTake(run.gbkPath() + "\\linked", error), FileLock::Result::Taken);
}
