// SPDX-License-Identifier: MIT
#include "app/HeadlessRun.h"
#include "app/Program.h"
#include "app/Properties.h"
#include "services/Gbk.h"
#include "services/TextOps.h"
#include "tests/app/AppFixture.h"
#include "tools/demosite/DemoCatalogue.h"

#include <fstream>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

TEST(CommandLine, ReadsTheOptionsAndRefusesMistakes) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        bool library = false;
        std::string kind{}, category{}, pages{}, delay{};
        bool overwrite = false;
        bool help = false, version = false;
    };
    const Case cases[] = {
        {{}, true},
        {{"--library"}, true, true},
        {{"--connect-to", "::127.0.0.1:8080", "--library"}, true, true},
        {{"--collect", "完本/玄幻小说", "--pages", "3"}, true, false, "完本", "玄幻小说", "3"},
        {{"--collect=连载中/武侠仙侠", "--delay=0", "--overwrite"}, true, false, "连载中", "武侠仙侠", "1", "0", true},
        {{"--collect", "完本/玄幻小说", "--pages", "10000", "--delay", "600000"},
         true,
         false,
         "完本",
         "玄幻小说",
         "10000",
         "600000"},
        {{"--collect", "玄幻小说"}, false},
        // Page counts and delays out of range or not whole numbers are mistakes, not runs that do nothing.
        {{"--collect", "完本/玄幻小说", "--pages", "abc"}, false},
        {{"--collect", "完本/玄幻小说", "--pages", "0"}, false},
        {{"--collect", "完本/玄幻小说", "--pages", "-1"}, false},
        {{"--collect", "完本/玄幻小说", "--pages", "2.5"}, false},
        {{"--collect", "完本/玄幻小说", "--pages", "10001"}, false},
        {{"--collect", "完本/玄幻小说", "--pages", "2147483647"}, false},
        {{"--collect", "完本/玄幻小说", "--delay", "-1"}, false},
        {{"--collect", "完本/玄幻小说", "--delay", "600001"}, false},
        {{"--collect", "完本/玄幻小说", "--delay", ""}, false},
        {{"--pages"}, false},
        {{"--frobnicate"}, false},
        // Help and version end the reading where they stand: mistakes before them still count, later ones do not.
        {{"--help"}, true, false, "", "", "", "", false, true},
        {{"-h", "--frobnicate"}, true, false, "", "", "", "", false, true},
        {{"--collect", "完本/玄幻小说", "--pages", "0", "--help"}, true, false, "", "", "", "", false, true},
        {{"--library", "--version", "--pages"}, true, false, "", "", "", "", false, false, true},
        {{"--frobnicate", "--help"}, false},
        {{"--version=2"}, false},
        {{"--run-dir", "--help"}, true}, // a folder of that name, not a request for help
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = app::ParseArguments(c.args, error);
        ASSERT_EQ(options.has_value(), c.ok) << error;
        if (!options) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options->showHelp, c.help);
        EXPECT_EQ(options->showVersion, c.version);
        if (c.help || c.version) continue;
        EXPECT_EQ(options->openLibrary, c.library);
        EXPECT_EQ(options->collect.has_value(), !c.kind.empty());
        if (!options->collect) continue;
        EXPECT_FALSE(options->updateCheck) << "the headless run asks no update server";
        EXPECT_EQ(options->collect->kind, c.kind);
        EXPECT_EQ(options->collect->category, c.category);
        EXPECT_EQ(options->collect->pages, c.pages);
        EXPECT_EQ(options->collect->delayMs.value_or(""), c.delay);
        EXPECT_EQ(options->collect->overwrite, c.overwrite);
    }
    std::string error;
    const auto runDir = app::ParseArguments({"--run-dir", "/tmp/书库"}, error);
    ASSERT_TRUE(runDir);
    EXPECT_EQ(runDir->runDirectory, fs::u8path("/tmp/书库"));
}

TEST_F(AppTest, TheHeadlessRunCollectsLikeAUserAndEnds) {
    const demo::DemoCatalogue catalogue({.booksPerCategory = 3, .archiveBytes = 500});
    const auto& category = demo::DemoCatalogue::Categories()[17]; // 连载中/武侠仙侠
    site_.serve(category.listPath + "1.html", ToText(catalogue.Answer(category.listPath + "1.html").body));
    for (int b = 0; b < 3; ++b) {
        const int serial = catalogue.BookAt(17, b).serial;
        for (const std::string& path :
             {"/txt/" + std::to_string(serial) + "txt.html", "/dianzishu/UploadPic/" + std::to_string(serial) + ".jpg",
              "/down/2011/" + std::to_string(serial) + ".rar"}) {
            const ByteSet body = catalogue.Answer(path).body;
            site_.serve(path, std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
        }
    }
    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = false;
    options.collect = app::CollectRequest{"连载中", "武侠仙侠", "2", "0", false};
    EXPECT_EQ(app::RunHeadlessCollection(options), 0);
    EXPECT_EQ(end_.codes, std::vector<int>{0});
    std::size_t archives = 0;
    for (const auto& entry : fs::directory_iterator(At("小说/连载中/武侠仙侠")))
        archives += entry.is_regular_file();
    EXPECT_EQ(archives, 3u);
    EXPECT_FALSE(fs::exists(At("缓存"))) << "the summary is answered with OK, which clears the cache";
    EXPECT_EQ(forms::CurrentSeams().messageBox, &box_) << "the run's own box is gone with it";

    end_.codes.clear();
    options.collect = app::CollectRequest{"连载中", "玄幻小说", "1", std::nullopt, false};
    EXPECT_EQ(app::RunHeadlessCollection(options), 2);
    options.collect = app::CollectRequest{"全部", "玄幻小说", "1", std::nullopt, false};
    EXPECT_EQ(app::RunHeadlessCollection(options), 2);
}

// --version prints the version the update check holds against the server's, not a copy that could drift from it.
TEST_F(AppTest, TheVersionPrintedIsTheOneTheUpdateCheckCompares) {
    const std::string version = app::ProgramVersion();
    ASSERT_FALSE(version.empty());
    site_.serve("/pavenobk/banben", "999999"); // newer than any: the update window stays
    ASSERT_TRUE(Start(true));
    Settle();
    ASSERT_TRUE(Loaded(W::更新窗口::id));
    EXPECT_EQ(GbkToUtf8Lossy(app::ReadText(W::更新窗口::id, W::更新窗口::编辑框2, forms::EditBox::kContent)), version);
}

TEST(CommandLine, TheLibraryFolderIsMadeAbsoluteAndCreated) {
    test::TempRunDirectory base;
    test::CurrentDirectory inBase(base.path());
    app::ProgramOptions options;
    options.runDirectory = "书库/新的";
    const auto folder = app::ResolveRunDirectory(options);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->is_absolute());
    EXPECT_TRUE(fs::is_directory(base.path() / "书库" / "新的"));

    std::ofstream(base.path() / "a-file") << "x"; // a folder cannot be made inside a file
    options.runDirectory = base.path() / "a-file" / "library";
    EXPECT_FALSE(app::ResolveRunDirectory(options));
}
