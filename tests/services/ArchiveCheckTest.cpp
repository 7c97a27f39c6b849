// SPDX-License-Identifier: MIT
#include "services/ArchiveCheck.h"
#include "services/Gbk.h"
#include "services/WholeFile.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/Archives.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace paveno;
using namespace paveno::test;

namespace {

ByteSet Cut(const std::string& whole, std::size_t keep) {
    return BytesOf(std::string_view(whole).substr(0, keep));
}

} // namespace

// A body of unknown length is kept only when it reads through as the archive its first bytes announce; a web page is
// never an archive; an announced length or an unknown format is kept as before.
TEST(ArchiveCheck, OnlyArchivesThatReadThroughAreKept) {
    const ArchiveFiles files{{"第一章.txt", PackedContent(50000)}, {"第二章.txt", PackedContent(30000)}};
    const std::string zip = MakeZip(files), sevenZip = MakeSevenZip(files), rar = MakeRar4(files);
    ASSERT_EQ(RecogniseArchive(BytesOf(zip)), ArchiveFormat::Zip);
    ASSERT_EQ(RecogniseArchive(BytesOf(sevenZip)), ArchiveFormat::SevenZip);
    ASSERT_EQ(RecogniseArchive(BytesOf(rar)), ArchiveFormat::Rar4);
    EXPECT_EQ(RecogniseArchive(BytesOf(std::string("Rar!\x1A\x07\x01\x00", 8))), ArchiveFormat::Rar5);
    EXPECT_EQ(RecogniseArchive(BytesOf("rrrr")), ArchiveFormat::Unknown);
    EXPECT_EQ(RecogniseArchive({}), ArchiveFormat::Unknown);

    struct Case {
        const char* what;
        ByteSet body;
        bool lengthUnknown;
        const char* problem; // UTF-8; "" when kept
    };
    const Case cases[] = {
        {"whole zip", BytesOf(zip), true, ""},
        {"whole 7z", BytesOf(sevenZip), true, ""},
        {"whole rar", BytesOf(rar), true, ""},
        {"zip cut at 40%", Cut(zip, zip.size() * 2 / 5), true, "数据不完整"},
        {"7z cut at 40%", Cut(sevenZip, sevenZip.size() * 2 / 5), true, "数据不完整"},
        {"rar cut at 40%", Cut(rar, rar.size() * 2 / 5), true, "数据不完整"},
        {"rar cut inside its second file", Cut(rar, rar.size() - 1000), true, "数据不完整"},
        {"rar cut to its first bytes", Cut(rar, 7), true, "数据不完整"},
        {"rar cut, length announced", Cut(rar, rar.size() * 2 / 5), false, ""},
        {"unknown format, cut", BytesOf(PackedContent(1000)), true, ""},
        {"html", BytesOf("<html><body>维护中</body></html>"), false, "服务器返回网页"},
        {"html after blanks and a BOM", BytesOf("\xEF\xBB\xBF \r\n\t<!DOCTYPE html>"), true, "服务器返回网页"},
        {"text that is no page", BytesOf("not found"), false, ""},
        {"empty", {}, true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArchiveProblem(c.body, c.lengthUnknown), Gbk(c.problem)) << c.what;
}

TEST(ArchiveCheck, AFetchOfAnUnusableArchiveBecomesAFailedOne) {
    const std::string rar = MakeRar4({{"a.txt", PackedContent(20000)}});
    Fetched cut{Cut(rar, 9000), {200, true, {}}};
    cut.outcome.lengthUnknown = true;
    RefuseUnusableArchive(cut);
    EXPECT_FALSE(cut.outcome.Good());
    EXPECT_EQ(cut.outcome.reason, Gbk("数据不完整"));
    EXPECT_TRUE(cut.body.empty());

    Fetched whole{BytesOf(rar), {200, true, {}}};
    whole.outcome.lengthUnknown = true;
    RefuseUnusableArchive(whole);
    EXPECT_TRUE(whole.outcome.Good());
    EXPECT_EQ(whole.body.size(), rar.size());

    // A body that went into its file as it came (its first bytes in memory) is read back to be read through; a
    // refused one takes its file with it.
    test::TempRunDirectory run;
    for (const auto& [body, good] : {std::pair{Cut(rar, 9000), false}, std::pair{BytesOf(rar), true}}) {
        auto file = std::make_shared<PreparedFile>(run.gbkPath() + "\\book.rar", false);
        file->Append(body);
        file->Close();
        Fetched streamed{ByteSet(body.begin(), body.begin() + 100), {200, true, {}}, file};
        streamed.outcome.lengthUnknown = true;
        file.reset();
        RefuseUnusableArchive(streamed);
        EXPECT_EQ(streamed.outcome.Good(), good);
        EXPECT_EQ(bool(streamed.kept), good);
        EXPECT_EQ(test::Names(run.path()).size(), good ? 1u : 0u);
    }

    Fetched notFound{BytesOf("<html>404</html>"), {404, true, Gbk("服务器返回404")}};
    RefuseUnusableArchive(notFound);
    EXPECT_EQ(notFound.outcome.reason, Gbk("服务器返回404")) << "a failed download keeps its own reason";
}

// A body of unknown length that went into its file must be read back whole to be judged. When memory cannot hold it
// (the judge runs on a transfer's thread, where an exception would end the program), the book fails with 内存不足 and
// its file goes; it is never kept unchecked.
TEST(ArchiveCheckDeathTest, AnArchiveThatMemoryCannotHoldToJudgeIsRefused) {
    test::TempRunDirectory run;
    const auto judged = [&] {
        auto file = std::make_shared<PreparedFile>(run.gbkPath() + "\\book.rar", false);
        const ByteSet chunk(std::size_t{1} << 20, 0x52);
        for (int i = 0; i < 32; ++i)
            file->Append(chunk);
        file->Close();
        Fetched streamed{ByteSet(chunk.begin(), chunk.begin() + 100), {200, true, {}}, file};
        streamed.outcome.lengthUnknown = true;
        file.reset();
        // Room for 16 MiB more than the process holds now: the 32 MiB read-back cannot have it.
        std::ifstream status("/proc/self/status");
        std::size_t holdsKiB = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0) holdsKiB = std::strtoull(line.c_str() + 7, nullptr, 10);
        const rlim_t limit = (holdsKiB << 10) + (rlim_t{16} << 20);
        const rlimit room{limit, limit};
        if (holdsKiB == 0 || setrlimit(RLIMIT_AS, &room) != 0) std::_Exit(2);
        RefuseUnusableArchive(streamed);
        const bool refused = !streamed.outcome.Good() && streamed.outcome.reason == Gbk("内存不足") && !streamed.kept;
        std::_Exit(refused && test::Names(run.path()).empty() ? 0 : 1);
    };
    EXPECT_EXIT(judged(), ::testing::ExitedWithCode(0), "");
}
