// SPDX-License-Identifier: MIT
#include "services/Ini.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace paveno;
using paveno::test::FileContent;
using paveno::test::PutFile;
using paveno::test::RunWithoutRoot;
using paveno::test::TempRunDirectory;
namespace fs = std::filesystem;

namespace {

const Text kNovels = "\xD0\xA1\xCB\xB5"; // 小说
const Text kAuthor = "\xD7\xF7\xD5\xDF"; // 作者

std::vector<std::string> StrayFiles(const fs::path& folder, const std::string& keep) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename() != keep) names.push_back(e.path().filename().string());
    return names;
}

// A file edited by hand: odd spacing, comments, quotes, a duplicate key and section, a stray line.
const std::string kHandEdited = "; library index\r\n"
                                "orphan=before any section\r\n"
                                "[ \xD0\xA1\xCB\xB5 ]  \r\n"
                                "  Alpha =  first value  \r\n"
                                "alpha=second value\r\n"
                                "quoted=\"  in quotes  \"\r\n"
                                "single='x'\r\n"
                                "half=\"open\r\n"
                                "mixed=\"x'\r\n"
                                "empty=\r\n"
                                "; a=commented out\r\n"
                                "not a key line\r\n"
                                "eq=a=b\r\n"
                                "\xB0\x41=upper trail\r\n"
                                "\xB0\x61=lower trail\r\n"
                                "[Other]\r\n"
                                "k=other\r\n"
                                "[\xD0\xA1\xCB\xB5]\r\n"
                                "late=from the second copy\r\n"
                                "alpha=shadowed\r\n";

ino_t Inode(const fs::path& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Sets the file's modification time to a moment long past, so that any later write shows.
void MakeOld(const fs::path& p) {
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    utimensat(AT_FDCWD, p.c_str(), times, 0);
}

bool Untouched(const fs::path& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 && st.st_mtim.tv_sec == 1000000000;
}

} // namespace

TEST(Ini, ReadsAFileEditedByHand) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\index.ini";
    struct Case {
        std::string content;
        Text section, key;
        std::optional<Text> defaultValue;
        Text expected;
    };
    const std::string lfOnly = "[s]\nk = v \n[t]\nk=w\n";
    const Case cases[] = {
        {kHandEdited, kNovels, "ALPHA", {}, "first value"}, // the first of two equal keys wins
        {kHandEdited, " \xD0\xA1\xCB\xB5 ", " alpha", {}, "first value"},
        {kHandEdited, kNovels, "quoted", {}, "  in quotes  "},
        {kHandEdited, kNovels, "single", {}, "x"},
        {kHandEdited, kNovels, "half", {}, "\"open"},
        {kHandEdited, kNovels, "mixed", {}, "\"x'"},
        {kHandEdited, kNovels, "empty", "dflt", ""}, // present but empty is not missing
        {kHandEdited, kNovels, "; a", "dflt", "dflt"},
        {kHandEdited, kNovels, "a", "dflt", "dflt"},
        {kHandEdited, kNovels, "not a key line", "dflt", "dflt"},
        {kHandEdited, kNovels, "eq", {}, "a=b"},
        {kHandEdited, kNovels, "\xB0\x41", {}, "upper trail"}, // a trail byte that looks like a letter
        {kHandEdited, kNovels, "\xB0\x61", {}, "lower trail"},
        {kHandEdited, kNovels, "late", {}, "from the second copy"},
        {kHandEdited, "other", "K", {}, "other"},
        {kHandEdited, "orphan", "orphan", "dflt", "dflt"},
        {kHandEdited, kNovels, "missing", {}, ""},
        {kHandEdited, kNovels, "missing", "dflt  ", "dflt"}, // trailing blanks of the default go
        {kHandEdited, "nowhere", "alpha", "d", "d"},
        {kHandEdited, "   ", "alpha", "d", ""}, // a blank section: empty text, not the default
        {kHandEdited, kNovels, "\t", "d", ""},
        {lfOnly, "S", "K", {}, "v"},
        {lfOnly, "t", "k", {}, "w"},
        {"[s]\r\nk=v", "s", "k", {}, "v"}, // no line break at the end
        {"[s]\rk=v\r[t]\rk=w", "t", "k", {}, "w"},
        {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", {}, "v"},
        {std::string("[s]\nk=a\0b\n", 11), "s", "k", {}, "a"},
    };
    for (const auto& c : cases) {
        PutFile(run.path() / "index.ini", c.content);
        EXPECT_EQ(ReadIniValue(file, c.section, c.key, c.defaultValue), c.expected) << c.section << "/" << c.key;
    }
    EXPECT_EQ(ReadIniValue(run.gbkPath() + "\\missing.ini", "s", "k", "d"), "d");
    PutFile(run.path() / "index.ini", kHandEdited);
    EXPECT_EQ(ReadIniValue(" \t" + file, "other", "k"), "other") << "leading blanks of the path are skipped";
    EXPECT_EQ(ReadIniValue("", "s", "k", "d"), "");
}

TEST(Ini, LongValuesAreCutWithoutSplittingACharacter) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\long.ini";
    struct Case {
        std::string value;
        size_t expectedSize;
    };
    const Case cases[] = {
        {std::string(10239, 'a'), 10239},
        {std::string(20000, 'a'), 10239},
        {std::string(10238, 'a') + "\xD0\xA1", 10238}, // the character would straddle the limit
        {std::string(10237, 'a') + "\xD0\xA1", 10239},
    };
    for (const auto& c : cases) {
        PutFile(run.path() / "long.ini", "[s]\r\nk=" + c.value + "\r\n");
        Text got = ReadIniValue(file, "s", "k");
        EXPECT_EQ(got.size(), c.expectedSize);
        EXPECT_EQ(got, c.value.substr(0, c.expectedSize));
    }
}

TEST(Ini, WritesKeepTheRestOfTheFile) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\w.ini";
    struct Op {
        Text section;
        std::optional<Text> key, value;
    };
    struct Case {
        const char* name;
        std::optional<std::string> before; // nullopt: no file
        std::vector<Op> ops;
        std::optional<std::string> after;
    };
    const Case cases[] = {
        {"new file", std::nullopt, {{"s", "k", "v"}}, "[s]\r\nk=v\r\n"},
        {"new key after the last key, before a trailing comment and blank lines",
         "[a]\r\nx=1\r\n; about b\r\n\r\n[b]\r\ny=2\r\n",
         {{"A", "z", "3"}},
         "[a]\r\nx=1\r\nz=3\r\n; about b\r\n\r\n[b]\r\ny=2\r\n"},
        {"new key into a section without keys", "[a]\r\n\r\n[b]\r\n", {{"a", "k", "v"}}, "[a]\r\nk=v\r\n\r\n[b]\r\n"},
        {"new section at the end of a file without a last line break",
         "[a]\r\nx=1",
         {{"b", "y", "2"}},
         "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        {"replace in place keeps spelling, spacing elsewhere and comments",
         "; top\r\n[ S ]\r\n  Key = old \r\nodd line\r\nk2 = z\r\n",
         {{"s", "KEY", "new"}},
         "; top\r\n[ S ]\r\nKey=new\r\nodd line\r\nk2 = z\r\n"},
        {"the first of two equal keys is replaced",
         "[s]\r\nk=1\r\nk=2\r\n",
         {{"s", "k", "3"}},
         "[s]\r\nk=3\r\nk=2\r\n"},
        {"an LF-only file keeps its line ends, and new lines take them",
         "[s]\nk=1\n;c\n",
         {{"s", "j", "2"}, {"t", "k", "3"}},
         "[s]\nk=1\nj=2\n;c\n[t]\nk=3\n"},
        {"lone CRs end lines", "[s]\rk=1\r[t]\rk=2", {{"s", "k", "3"}, {"t", "j", "4"}}, "[s]\rk=3\r[t]\rk=2\rj=4\r"},
        {"mixed line ends stay where they were",
         "[s]\r\nk=1\nj=2\r\r\n",
         {{"s", "j", "3"}, {"s", "i", "4"}},
         "[s]\r\nk=1\nj=3\ri=4\r\n\r\n"},
        {"a byte-order mark stays and hides no section",
         "\xEF\xBB\xBF[" + kNovels + "]\r\nA=1\r\n",
         {{kNovels, "B", "2"}, {kNovels, "A", "3"}},
         "\xEF\xBB\xBF[" + kNovels + "]\r\nA=3\r\nB=2\r\n"},
        {"omitted value deletes every copy of the key",
         "[s]\r\nk=1\r\nj=2\r\nK=3\r\n[t]\r\nk=4\r\n",
         {{"s", "k", std::nullopt}},
         "[s]\r\nj=2\r\n[t]\r\nk=4\r\n"},
        {"omitted key deletes the section with its lines",
         "[s]\r\nk=1\r\n;c\r\n[t]\r\nk=2\r\n[S]\r\nk=3\r\n",
         {{"s", std::nullopt, "ignored"}},
         "[t]\r\nk=2\r\n"},
        {"deleting what is not there writes nothing", std::nullopt, {{"s", "k", std::nullopt}}, std::nullopt},
        {"deleting a missing section", "[s]\nk=1\n", {{"t", std::nullopt, std::nullopt}}, "[s]\nk=1\n"},
        {"the same value again writes nothing", "[s]\nk=1\n", {{"s", "k", "1"}}, "[s]\nk=1\n"},
        {"names are written trimmed, values as given", std::nullopt, {{" s ", " k ", " v "}}, "[s]\r\nk= v \r\n"},
        {"a title in brackets is a key, and the keys after it stay in the section",
         std::nullopt,
         {{kNovels, "[\xD7\xDB\xC2\xFE]T", "p1"}, {kNovels, "U", "p2"}},
         "[" + kNovels + "]\r\n[\xD7\xDB\xC2\xFE]T=p1\r\nU=p2\r\n"},
    };
    for (const auto& c : cases) {
        const fs::path p = run.path() / "w.ini";
        fs::remove(p);
        if (c.before) PutFile(p, *c.before);
        for (const auto& op : c.ops)
            EXPECT_TRUE(WriteIniValue(file, op.section, op.key, op.value)) << c.name;
        EXPECT_EQ(fs::exists(p) ? std::optional(FileContent(p)) : std::nullopt, c.after) << c.name;
        EXPECT_EQ(StrayFiles(run.path(), "w.ini"), std::vector<std::string>{}) << c.name << ": no temporary file";
    }
}

TEST(Ini, GbkNamesAndValuesRoundTrip) {
    TempRunDirectory run;
    const Text index = run.gbkPath() + "\\" + kNovels + ".ini";
    struct Case {
        Text section, key, value;
    };
    const Case cases[] = {
        {kNovels, "\x81\x5C", run.gbkPath() + "\\" + kNovels + "\\\xCD\xEA\xB1\xBE\\\x81\x5C.rar"},
        {kNovels, "\xB0\x41", "A"}, // two keys that differ only in a trail byte's letter case
        {kNovels, "\xB0\x61", "a"},
        {kNovels, "[\xD7\xDB\xC2\xFE]T", "bracket title"},
        {kNovels, "Title", "'quoted'"},
        {"\x81\x5C", kAuthor, "\xD7\xF7\xD5\xDF\xC3\xFB"},
        {"[x", "k", "v"},
        {"a=b", "k", "v"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(WriteIniValue(index, c.section, c.key, c.value)) << c.key;
    for (const auto& c : cases) {
        Text expected = c.value.front() == '\'' ? c.value.substr(1, c.value.size() - 2) : c.value;
        EXPECT_EQ(ReadIniValue(index, c.section, c.key), expected) << c.key;
    }
    EXPECT_EQ(ReadIniValue(index, kNovels, "TITLE"), "quoted") << "ASCII letters fold";
    EXPECT_TRUE(fs::exists(run.path() / "小说.ini"));
}

TEST(Ini, RefusesWhatTheFileCouldNotGiveBack) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\r.ini";
    const std::string before = "[s]\r\nk=1\r\n";
    PutFile(run.path() / "r.ini", before);
    struct Case {
        Text section;
        std::optional<Text> key, value;
    };
    const Case cases[] = {
        {"s", "k", "x\r\n[evil]\r\nk=y"}, // a value must not add lines
        {"s", "a\nb", "v"},
        {"s\nk", "k", "v"},
        {"s", "a=b", "v"},
        {"s", ";k", "v"},
        {"s", "[k", "v"},
        {"a]b", "k", "v"},
        // A name that ends in a lead byte standing alone: the "]" or "=" after it would be read as its trail byte.
        {"\xD0\xA1\xCB", "k", "v"},
        {"s", "\xD0\xA1\xCB", "v"},
        {"s", "\xD0\xA1\xCB  ", "v"}, // the blanks around a name are not written
        {"   ", "k", "v"},
        {"s", "  ", "v"},
        {"s", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(WriteIniValue(file, c.section, c.key, c.value)) << c.section << "/" << c.key.value_or("-");
    EXPECT_EQ(FileContent(run.path() / "r.ini"), before);
    EXPECT_FALSE(WriteIniValue("", "s", "k", "v"));
    EXPECT_FALSE(WriteIniValue(run.gbkPath() + "\\missing\\x.ini", "s", "k", "v"));
    EXPECT_FALSE(WriteIniValue(run.gbkPath() + "\\\xD0\xA1\xCB.ini", "s", "k", "v"));
}

TEST(Ini, SeesWhatAnotherWriterChanged) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\c.ini";
    const fs::path p = run.path() / "c.ini";
    ASSERT_TRUE(WriteIniValue(file, "s", "k", "mine"));
    ASSERT_EQ(ReadIniValue(file, "s", "k"), "mine");

    // Replaced by rename: another inode.
    PutFile(run.path() / "other", "[s]\r\nk=theirs\r\n");
    fs::rename(run.path() / "other", p);
    EXPECT_EQ(ReadIniValue(file, "s", "k"), "theirs");

    // Edited in place to the same size: only the time tells.
    PutFile(p, "[s]\r\nk=THEIRS\r\n");
    timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 123}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    EXPECT_EQ(ReadIniValue(file, "s", "k"), "THEIRS");

    // A write after an outside change keeps that change.
    PutFile(p, "[s]\r\nk=theirs\r\nadded=by hand\r\n");
    ASSERT_TRUE(WriteIniValue(file, "s", "j", "mine"));
    EXPECT_EQ(FileContent(p), "[s]\r\nk=theirs\r\nadded=by hand\r\nj=mine\r\n");

    fs::remove(p);
    EXPECT_EQ(ReadIniValue(file, "s", "k", "gone"), "gone");
    ASSERT_TRUE(WriteIniValue(file, "s", "new", "1"));
    EXPECT_EQ(FileContent(p), "[s]\r\nnew=1\r\n") << "a deleted file starts again empty, not from the cache";
}

TEST(Ini, AFailedWriteLeavesTheOldFileWhole) {
    TempRunDirectory run;
    fs::permissions(run.path(), fs::perms::all);
    const fs::path folder = run.path() / "ini";
    fs::create_directories(folder);
    const std::string before = "[s]\r\nk=old\r\n";
    PutFile(folder / "index.ini", before);
    fs::permissions(folder / "index.ini", fs::perms::all);
    const Text file = run.gbkPath() + "\\ini\\index.ini";

    // A folder that takes no new file: the temporary file cannot be made, so nothing is written.
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(RunWithoutRoot([&] { return WriteIniValue(file, "s", "k", "new") ? 1 : 0; }), 0);
    EXPECT_EQ(FileContent(folder / "index.ini"), before);
    EXPECT_EQ(StrayFiles(folder, "index.ini"), std::vector<std::string>{});

    // A read-only file is not replaced behind its back.
    fs::permissions(folder, fs::perms::all);
    fs::permissions(folder / "index.ini", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(RunWithoutRoot([&] { return WriteIniValue(file, "s", "k", "new") ? 1 : 0; }), 0);
    EXPECT_EQ(FileContent(folder / "index.ini"), before);

    // A writable file keeps its permissions through the rename.
    fs::permissions(folder / "index.ini", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(WriteIniValue(file, "s", "k", "new"));
    EXPECT_EQ(fs::status(folder / "index.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(StrayFiles(folder, "index.ini"), std::vector<std::string>{});
}

// A link at an INI file's name may lead outside the library: writing refuses it and the file it names stays as it
// was, while reading still follows it.
TEST(Ini, AFileLinkIsNeverWrittenThrough) {
    TempRunDirectory run, elsewhere;
    PutFile(elsewhere.path() / "real.ini", "[s]\r\nk=1\r\n");
    fs::create_symlink(elsewhere.path() / "real.ini", run.path() / "link.ini");
    EXPECT_FALSE(WriteIniValue(run.gbkPath() + "\\link.ini", "s", "k", "2"));
    EXPECT_FALSE(WriteIniValue(run.gbkPath() + "\\link.ini", "s", "j", "3"));
    EXPECT_TRUE(fs::is_symlink(run.path() / "link.ini"));
    EXPECT_EQ(FileContent(elsewhere.path() / "real.ini"), "[s]\r\nk=1\r\n");
    EXPECT_EQ(ReadIniValue(run.gbkPath() + "\\link.ini", "s", "k"), "1");
}

// Two programs adding keys to one index at the same time: each write re-reads the file under the folder's lock, so
// no key of either is lost.
TEST(Ini, TwoProgramsWritingOneFileKeepEveryKey) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\index.ini";
    std::string old = "[" + kNovels + "]\r\n";
    for (int k = 0; k < 3000; ++k)
        old += "old" + std::to_string(k) + "=v\r\n";
    PutFile(run.path() / "index.ini", old);
    ASSERT_EQ(ReadIniValue(file, kNovels, "old0"), "v"); // both programs start with the index read
    constexpr int kKeys = 60;
    std::vector<pid_t> children;
    for (int program = 0; program < 2; ++program) {
        const pid_t pid = fork();
        if (pid == 0) {
            bool ok = true;
            for (int k = 0; k < kKeys; ++k)
                ok = WriteIniValue(file, kNovels, "p" + std::to_string(program) + "k" + std::to_string(k), "v") && ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int present = 0;
    for (int program = 0; program < 2; ++program)
        for (int k = 0; k < kKeys; ++k)
            present += ReadIniValue(file, kNovels, "p" + std::to_string(program) + "k" + std::to_string(k)) == "v";
    EXPECT_EQ(present, 2 * kKeys);
    // Whole lines only, each key once, the old ones where they were.
    const std::string now = FileContent(run.path() / "index.ini");
    EXPECT_EQ(now.substr(0, old.size()), old);
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 1 + 3000 + 2 * kKeys);
    EXPECT_TRUE(now.ends_with("=v\r\n"));
}

// A new key whose place is the end of the file is added there (the file only grows: same inode, the old bytes as
// they were); anything else replaces the file whole, and the same value again writes nothing.
TEST(Ini, ANewKeyAtTheEndIsAppendedAndOnlyAChangeRewrites) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\a.ini";
    const fs::path p = run.path() / "a.ini";
    enum How { Appended, Rewritten, Untouched_ };
    struct Case {
        const char* name;
        std::string before;
        Text section, key, value;
        std::string after;
        How how;
    };
    const std::string novels = "[" + kNovels + "]\r\n";
    const Case cases[] = {
        {"a new title", novels + "A=1\r\n", kNovels, "B", "2", novels + "A=1\r\nB=2\r\n", Appended},
        {"a title in brackets before it", novels + "[x]T=1\r\n", kNovels, "U", "2", novels + "[x]T=1\r\nU=2\r\n",
         Appended},
        {"no line break at the end", "[s]\r\nk=v", "s", "j", "w", "[s]\r\nk=v\r\nj=w\r\n", Appended},
        {"a byte-order mark", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "j", "2", "\xEF\xBB\xBF[s]\r\nk=1\r\nj=2\r\n",
         Appended},
        {"only a byte-order mark", "\xEF\xBB\xBF", "s", "k", "v", "\xEF\xBB\xBF[s]\r\nk=v\r\n", Appended},
        {"an empty file", "", "s", "k", "v", "[s]\r\nk=v\r\n", Appended},
        {"lone CRs", "[s]\rk=1\r", "s", "j", "2", "[s]\rk=1\rj=2\r", Appended},
        {"a new section", "[s]\nk=1\n", "t", "k", "3", "[s]\nk=1\n[t]\nk=3\n", Appended},
        {"a last section without keys", "[t]\r\nk=1\r\n[s]\r\n", "S", "j", "2", "[t]\r\nk=1\r\n[s]\r\nj=2\r\n",
         Appended},
        {"the section is not last", "[s]\r\nk=1\r\n[t]\r\nx=1\r\n", "s", "j", "2",
         "[s]\r\nk=1\r\nj=2\r\n[t]\r\nx=1\r\n", Rewritten},
        {"the first of two sections of the name is not last", "[s]\r\n[t]\r\nk=1\r\n[s]\r\n", "s", "j", "2",
         "[s]\r\nj=2\r\n[t]\r\nk=1\r\n[s]\r\n", Rewritten},
        {"a comment after the last key", "[s]\r\nk=1\r\n; end\r\n", "s", "j", "2", "[s]\r\nk=1\r\nj=2\r\n; end\r\n",
         Rewritten},
        {"a blank line at the end", "[s]\r\nk=1\r\n\r\n", "s", "j", "2", "[s]\r\nk=1\r\nj=2\r\n\r\n", Rewritten},
        {"a changed value", "[s]\r\nk=1\r\nj=2\r\n", "s", "k", "3", "[s]\r\nk=3\r\nj=2\r\n", Rewritten},
        {"the same value", "[s]\r\n k = 1 \r\n", "S", "K", "1", "[s]\r\n k = 1 \r\n", Untouched_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(p);
        PutFile(p, c.before);
        MakeOld(p);
        const ino_t before = Inode(p);
        ASSERT_TRUE(WriteIniValue(file, c.section, c.key, c.value));
        EXPECT_EQ(FileContent(p), c.after);
        EXPECT_EQ(Inode(p) == before, c.how != Rewritten);
        EXPECT_EQ(Untouched(p), c.how == Untouched_);
        EXPECT_EQ(ReadIniValue(file, c.section, c.key), c.value);
        EXPECT_EQ(StrayFiles(run.path(), "a.ini"), std::vector<std::string>{});
    }
}

// What the program keeps of a file for lookups and appends must say what the file says: after every write, each key
// reads back the same from the kept copy and from a fresh read of the file.
TEST(Ini, TheKeptCopyAgreesWithTheFileAfterEveryWrite) {
    TempRunDirectory run;
    const Text file = run.gbkPath() + "\\k.ini";
    const fs::path p = run.path() / "k.ini";
    PutFile(p, "\xEF\xBB\xBF; kept\r\n[s]\r\nold=1");
    std::map<std::pair<Text, Text>, Text> expected{{{"s", "old"}, "1"}};
    std::mt19937 random(19);
    const Text sections[] = {"s", "T", kNovels};
    auto check = [&](const char* when, int step) {
        for (const auto& [where, value] : expected)
            ASSERT_EQ(ReadIniValue(file, where.first, where.second, "missing"), value)
                << when << " step " << step << " " << where.first << "/" << where.second;
    };
    for (int step = 0; step < 160; ++step) {
        const Text section = sections[random() % 3];
        const Text key = (random() % 2 ? "\xB0\x41" : "k") + std::to_string(random() % 60);
        const Text value = "v" + std::to_string(random() % 4);
        ASSERT_TRUE(WriteIniValue(file, section, key, value));
        // Names fold ASCII letters: "T" and "t" are one section.
        expected[{section == "T" ? "t" : section, key}] = value;
        if (step % 20 == 0) {
            check("kept", step);
            MakeOld(p); // the file looks changed from outside: it is read again
            check("read again", step);
        }
    }
    check("kept", 160);
    MakeOld(p);
    check("read again", 160);
}

// A disk that fills up in the middle of an appended line: the file goes back to what it was, and the write fails.
TEST(Ini, AnAppendThatCannotFinishLeavesTheFileAsItWas) {
    TempRunDirectory run;
    const fs::path p = run.path() / "full.ini";
    const std::string before = "[s]\r\n" + std::string(991, 'x') + "=1\r\n"; // 1000 bytes
    PutFile(p, before);
    const Text file = run.gbkPath() + "\\full.ini";
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1010, 1010};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool refused = !WriteIniValue(file, "s", "a-key-too-long-for-the-room-left", "v");
        _exit(refused ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the failed append is reported";
    EXPECT_EQ(FileContent(p), before);
    EXPECT_TRUE(WriteIniValue(file, "s", "a-key", "v"));
    EXPECT_EQ(FileContent(p), before + "a-key=v\r\n");
}
