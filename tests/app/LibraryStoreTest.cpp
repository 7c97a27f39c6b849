// SPDX-License-Identifier: MIT
#include "app/LibraryStore.h"

#include "services/Gbk.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

using namespace paveno;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kFinished = {"玄幻小说", "都市小说", "言情小说", "黑道小说", "修真小说", "奇幻小说",
                                            "仙侠小说", "武侠小说", "网游小说", "科幻小说", "军事小说", "历史小说",
                                            "同人小说", "穿越小说", "总裁小说", "校园小说"};
const std::vector<std::string> kSerialised = {"玄幻奇幻", "武侠仙侠", "都市小说", "言情小说",
                                              "历史军事", "网游竞技", "科幻灵异", "同人小说"};

Text ShippedItem(bool finished, int index) {
    const auto& items = finished ? kFinished : kSerialised;
    return index < static_cast<int>(items.size()) ? Gbk(items[static_cast<size_t>(index)]) : Text();
}

size_t CountFolders(const fs::path& folder) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        n += entry.is_directory();
    return n;
}

} // namespace

// A run makes its own category's folders first (a name of both kinds shares its cache folder), the others later;
// together they are the whole tree, and a second run changes nothing.
TEST(LibraryStore, PreparesTheShippedTreeAndTheSecondRunChangesNothing) {
    test::TempRunDirectory run;
    test::RunDirectoryScope library(run.path());
    const auto ours = [](bool finished, const Text& name) { return finished && name == Gbk("都市小说"); };
    store::PrepareLibraryFolders(ShippedItem, ours);
    EXPECT_EQ(CountFolders(run.path() / "缓存"), 1u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "完本"), 1u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "ini" / "完本"), 1u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "连载中"), 0u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "ini" / "连载中"), 0u);
    EXPECT_TRUE(fs::is_directory(run.path() / "小说" / "jpg"));
    EXPECT_TRUE(fs::is_directory(run.path() / "缓存" / "都市小说"));
    store::PrepareLibraryFolders(ShippedItem, std::not_fn(ours));
    store::PrepareLibraryFolders(ShippedItem);

    // Three names occur in both kinds and share one cache folder.
    EXPECT_EQ(CountFolders(run.path() / "缓存"), 21u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "完本"), 16u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "ini" / "完本"), 16u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "连载中"), 8u);
    EXPECT_EQ(CountFolders(run.path() / "小说" / "ini" / "连载中"), 8u);
    EXPECT_EQ(CountFolders(run.path() / "小说"), 4u); // jpg, ini, 完本, 连载中
    EXPECT_TRUE(fs::is_directory(run.path() / "小说" / "完本" / "校园小说"));
    EXPECT_TRUE(fs::is_directory(run.path() / "缓存" / "科幻灵异"));
}

TEST(LibraryStore, BuildsThePathsOfEveryRecord) {
    const Text run = "/r";
    const Text category = store::CategoryPath(true, Gbk("武侠小说"));
    EXPECT_EQ(category, Gbk("完本\\武侠小说"));
    EXPECT_EQ(store::CategoryPath(false, Gbk("武侠仙侠")), Gbk("连载中\\武侠仙侠"));
    EXPECT_EQ(store::ArchivePath(run, category, "T"), Gbk("/r\\小说\\完本\\武侠小说\\T.rar"));
    EXPECT_EQ(store::CoverPath(run, "T"), Gbk("/r\\小说\\jpg\\T.jpg"));
    EXPECT_EQ(store::IntroductionPath(run, category, "T"), Gbk("/r\\小说\\ini\\完本\\武侠小说\\T简介.ini"));
    EXPECT_EQ(store::AuthorPath(run, category, "T"), Gbk("/r\\小说\\ini\\完本\\武侠小说\\T.ini"));
    EXPECT_EQ(store::IndexPath(run), Gbk("/r\\小说\\ini\\小说.ini"));
    EXPECT_EQ(store::DownloadPagePath(run, "T"), Gbk("/r\\缓存\\T下载页.html"));
    EXPECT_EQ(store::CachedListPagePath(run, Gbk("玄幻小说"), 12), Gbk("/r\\缓存\\玄幻小说\\12.html"));
}

TEST(LibraryStore, TitlesThatAreNoFileNameGiveNoPath) {
    struct Case {
        Text title;
        bool valid;
    };
    const Case cases[] = {
        {Gbk("斗破苍穹"), true},
        {"\x81\x5C"
         "abc",
         true}, // a trail byte 0x5C belongs to its character, it is no separator
        {"...", true},
        {"", false},
        {".", false},
        {"..", false},
        {"..\\..\\x", false},
        {"a/b", false},
        {"a:b", false},
        {"a*b", false},
        {"a?b", false},
        {"a\"b", false},
        {"a<b", false},
        {"a>b", false},
        {"a|b", false},
        {"a\tb", false},
        {"ab\xB0", false}, // cut in the middle of a character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store::IsValidTitle(c.title), c.valid) << c.title;
        EXPECT_EQ(store::CoverPath("/r", c.title).empty(), !c.valid) << c.title;
        EXPECT_EQ(store::ArchivePath("/r", "x", c.title).empty(), !c.valid) << c.title;
    }
}

TEST(LibraryStore, TitlesTheIndexOrTheFileSystemWouldRefuseAreNamed) {
    const std::string longest(241, 'a'); // with "下载页.html" (14 bytes in UTF-8): 255 bytes, the longest name
    struct Case {
        std::string title; // UTF-8
        std::string problem;
    } cases[] = {
        {"正常", ""},
        {"x;y[z]=", "书名不能用作索引"}, // "=" anywhere
        {"a=b", "书名不能用作索引"},
        {";注释", "书名不能用作索引"},
        // Stored without an index key or author record: no name either must hold.
        {"[节", ""},
        {"[综漫]节", ""},
        {"[节=", "书名不能用作索引"},
        {"x;y[z", ""},
        {"x]y", "书名不能用作索引"}, // the author file's section
        {longest, ""},
        {longest + "a", "书名太长"},
        {[] {
             std::string title;
             for (int i = 0; i < 90; ++i)
                 title += "书";
             return title;
         }(),
         "书名太长"}, // 270 bytes of UTF-8, though only 180 of GBK
        {"a|b", "书名不能用作文件名"},
    };
    for (const auto& c : cases) {
        const auto problem = store::TitleProblem(Gbk(c.title));
        EXPECT_EQ(problem ? GbkToUtf8Lossy(*problem) : "", c.problem) << c.title;
    }
}

// A run removes what a killed run left half-written where it writes, and walks nothing else of the library.
TEST(LibraryStore, ARunCleansOnlyTheFoldersItWrites) {
    test::TempRunDirectory run;
    test::RunDirectoryScope library(run.path());
    store::PrepareLibraryFolders(ShippedItem);
    const fs::path leftovers[] = {"小说/完本/武侠小说/~paveno-aaaaaa.part",
                                  "小说/ini/完本/武侠小说/~paveno-bbbbbb.part",
                                  "小说/ini/~paveno-cccccc.part",
                                  "小说/jpg/~paveno-dddddd.part",
                                  "缓存/~paveno-eeeeee.part",
                                  "缓存/武侠小说/~paveno-ffffff.part",
                                  "小说/完本/网游小说/~paveno-gggggg.part",
                                  "小说/连载中/武侠仙侠/~paveno-hhhhhh.part",
                                  "缓存/网游小说/~paveno-iiiiii.part"};
    for (const auto& file : leftovers)
        std::ofstream(run.path() / file) << "half";
    const Text runDir = run.gbkPath();
    const std::vector<Text> categories = {Gbk("武侠小说")};
    EXPECT_EQ(store::RunFolders(runDir, true, categories).size(), 6u);
    store::RemoveRunLeftovers(runDir, true, categories);
    std::vector<bool> kept;
    for (const auto& file : leftovers)
        kept.push_back(fs::exists(run.path() / file));
    EXPECT_EQ(kept, (std::vector<bool>{false, false, false, false, false, false, true, true, true}));
}

TEST(LibraryStore, BracketTitlesGetNoIndexRecordsAndAuthorsKeepToOneLine) {
    const std::pair<std::string, bool> titles[] = {{"[综漫]书", true}, {"[", true}, {"书[综漫]", false}, {"书", false}};
    for (const auto& [title, bracket] : titles)
        EXPECT_EQ(store::HasIndexRecords(Gbk(title)), !bracket) << title;
    const std::pair<std::string, std::string> authors[] = {
        {"作者\r\n二行", "作者  二行"}, {"a\tb\x7F", "a b "}, {"\n", " "}, {"普通", "普通"}, {"", ""}};
    for (const auto& [raw, clean] : authors)
        EXPECT_EQ(store::AuthorForRecord(Gbk(raw)), Gbk(clean)) << raw;
}
