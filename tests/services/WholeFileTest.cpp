// SPDX-License-Identifier: MIT
#include "services/WholeFile.h"
#include "services/Gbk.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>

using namespace paveno;
using paveno::test::FileContent;
using paveno::test::Names;
using paveno::test::PutFile;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

namespace {

// Runs `body` in a child process and gives its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

} // namespace

// A disk that fills up half-way through a file: the old file stays whole, no temporary file is left, and the reason
// is the one the user reads.
TEST(WholeFile, AWriteThatCannotFinishLeavesTheOldFile) {
    TempRunDirectory run;
    PutFile(run.path() / "book.rar", "the old archive");
    const Text path = run.gbkPath() + "\\book.rar";
    const std::string big(200000, 'n');
    const int error = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG instead of ending the process
        const rlimit limit{100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
        return WriteFileWhole(path, std::span(reinterpret_cast<const std::uint8_t*>(big.data()), big.size()));
    });
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(GbkToUtf8Lossy(WriteFailureReason(error)), "磁盘已满");
    EXPECT_EQ(FileContent(run.path() / "book.rar"), "the old archive");
    EXPECT_EQ(Names(run.path()), std::vector<std::string>{"book.rar"});

    EXPECT_EQ(WriteFileWhole(path, std::span(reinterpret_cast<const std::uint8_t*>(big.data()), big.size())), 0);
    EXPECT_EQ(FileContent(run.path() / "book.rar"), big);
    EXPECT_EQ(WriteFileWhole(run.gbkPath() + "\\no folder\\x.rar", {}), ENOENT);
}

// A file written ahead sits under a temporary name beside its final one until it is committed (the old file stays
// whole until then); dropped, it leaves nothing; a folder that is not there fails at the commit and makes none.
TEST(WholeFile, APreparedFileTakesItsNameOnlyWhenCommitted) {
    TempRunDirectory run;
    PutFile(run.path() / "book.rar", "the old archive");
    const std::string fresh = "the new archive";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(fresh.data()), fresh.size());
    {
        PreparedFile prepared(run.gbkPath() + "\\book.rar", bytes, true);
        const auto names = Names(run.path());
        ASSERT_EQ(names.size(), 2u);
        EXPECT_TRUE(IsTemporaryFileName(names[1])) << names[1];
        EXPECT_EQ(FileContent(run.path() / "book.rar"), "the old archive");
        EXPECT_EQ(prepared.Commit(), 0);
        EXPECT_EQ(prepared.Commit(), 0) << "a second commit changes nothing";
    }
    EXPECT_EQ(FileContent(run.path() / "book.rar"), fresh);
    EXPECT_EQ(Names(run.path()), std::vector<std::string>{"book.rar"});

    { PreparedFile dropped(run.gbkPath() + "\\other.rar", bytes, false); }
    EXPECT_EQ(Names(run.path()), std::vector<std::string>{"book.rar"}) << "a file never committed leaves nothing";

    PreparedFile nowhere(run.gbkPath() + "\\no folder\\x.rar", bytes, false);
    EXPECT_EQ(nowhere.Commit(), ENOENT);
    EXPECT_EQ(Names(run.path()), std::vector<std::string>{"book.rar"});
}

// A file written as its bytes come: nothing on the disk before the first bytes, a rewind starts it anew, what was
// written reads back, and a file closed without a byte is made empty.
TEST(WholeFile, APreparedFileWrittenBitByBitHoldsItsLastStart) {
    TempRunDirectory run;
    auto bytes = [](std::string_view s) {
        return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    PreparedFile growing(run.gbkPath() + "\\book.rar", true);
    EXPECT_TRUE(Names(run.path()).empty()) << "no file before the first bytes";
    growing.Append(bytes("a cut first try"));
    growing.Rewind();
    growing.Append(bytes("the answer "));
    growing.Append(bytes("asked again"));
    EXPECT_EQ(growing.Size(), 22u);
    const auto back = growing.ReadBack();
    ASSERT_TRUE(back);
    EXPECT_EQ(std::string(back->begin(), back->end()), "the answer asked again");
    growing.Close();
    growing.Append(bytes(" and more")); // too late: the writing is over
    EXPECT_EQ(growing.Commit(), 0);
    EXPECT_EQ(FileContent(run.path() / "book.rar"), "the answer asked again");

    PreparedFile empty(run.gbkPath() + "\\empty.txt", false);
    empty.Close();
    EXPECT_EQ(empty.Commit(), 0);
    EXPECT_EQ(FileContent(run.path() / "empty.txt"), "");

    PreparedFile nowhere(run.gbkPath() + "\\no folder\\x.rar", false);
    nowhere.Append(bytes("lost"));
    EXPECT_FALSE(nowhere.ReadBack());
    EXPECT_EQ(nowhere.Commit(), ENOENT);
    EXPECT_EQ(Names(run.path()), (std::vector<std::string>{"book.rar", "empty.txt"}));
}

TEST(WholeFile, LeftoverTemporaryFilesAreTheProgramsOwnOnly) {
    TempRunDirectory run;
    for (const char* name : {"a/~paveno-Ab12Cd.part", "a/b/~paveno-zzzzzz.part", "a/~paveno-.part",
                             "a/~paveno-notes.txt", "a/book.part", "a/b/书.rar"}) {
        fs::create_directories((run.path() / name).parent_path());
        PutFile(run.path() / name, "x");
    }
    fs::create_directories(run.path() / "a" / "~paveno-folder.part");
    fs::create_symlink(run.path() / "a" / "book.part", run.path() / "a" / "~paveno-link00.part");
    RemoveTemporaryFiles(run.gbkPath() + "\\a");
    EXPECT_EQ(Names(run.path() / "a"),
              (std::vector<std::string>{"b", "book.part", "~paveno-.part", "~paveno-folder.part", "~paveno-link00.part",
                                        "~paveno-notes.txt"}));
    EXPECT_EQ(Names(run.path() / "a" / "b"), (std::vector<std::string>{"~paveno-zzzzzz.part", "书.rar"}))
        << "a sub-folder is another folder's business";
}
