// SPDX-License-Identifier: MIT
#include "app/HeadlessRun.h"
#include "app/Program.h"
#include "app/Properties.h"
#include "services/ConnectTo.h"
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
        // Values that would quietly do something else than asked are mistakes.
        {{"--run-dir", ""}, false},
        {{"--run-dir=a\\b"}, false},
        {{"--connect-to", "garbage"}, false},
        {{"--connect-to=www.nv.example:80:127.0.0.1"}, false},
        {{"--connect-to", "www.nv.example:http:127.0.0.1:8080"}, false},
        {{"--connect-to", "::127.0.0.1:65536"}, false},
        {{"--connect-to", "[::1]:80:[::1]:8080", "--connect-to", "www.nv.example:80::"}, true},
        {{"--collect", "完本/玄幻小说", "--collect", "完本/都市言情"}, false},
        {{"--collect", "完本/玄幻小说", "--overwrite"}, false},
        {{"--overwrite", "--collect", "完本/玄幻小说"}, false},
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
    fs::create_directory(base.path() / "here");
    test::CurrentDirectory inBase(base.path() / "here");
    app::ProgramOptions options;
    for (const char* given : {"../书库/新的", "../书库/./新的/", "../here/../书库/新的"}) {
        options.runDirectory = fs::u8path(given);
        const auto folder = app::ResolveRunDirectory(options);
        ASSERT_TRUE(folder) << given;
        // The library's own paths hold no "." or ".." parts: the folder comes in its plain form.
        EXPECT_EQ(*folder, fs::canonical(base.path()) / "书库" / "新的") << given;
    }

    std::ofstream(base.path() / "a-file") << "x"; // a folder cannot be made inside a file
    options.runDirectory = base.path() / "a-file" / "library";
    EXPECT_FALSE(app::ResolveRunDirectory(options));
}

// A mapping in the environment that cannot be read is told, in the window with a box and headless on standard error,
// and the program ends as for any other usage error instead of going to the built-in hosts.
TEST_F(AppTest, AnUnreadableConnectionMappingInTheEnvironmentIsAUsageError) {
    setenv("PAVENO_CONNECT_TO", "::127.0.0.1:8080, garbage", 1);
    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = false;
    EXPECT_EQ(app::RunProgram(options), 2);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"PAVENO_CONNECT_TO 无法识别：garbage"});
    EXPECT_FALSE(Loaded(W::主窗口::id));

    box_.shown.clear();
    options.collect = app::CollectRequest{"连载中", "武侠仙侠", "1", "0", false};
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::RunHeadlessCollection(options), 2);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("PAVENO_CONNECT_TO"), std::string::npos) << said;
    EXPECT_NE(said.find("garbage"), std::string::npos) << said;
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(site_.requests().empty()) << "nothing was fetched";
    unsetenv("PAVENO_CONNECT_TO");
}

TEST(CommandLine, ConnectionMappingsMustHaveTheConnectToForm) {
    const std::pair<const char*, bool> cases[] = {
        {"www.nv.example:80:127.0.0.1:8080", true},
        {"::127.0.0.1:8080", true},
        {":::", true}, // every field empty: matches any and changes nothing, as curl reads it
        {"[::1]:80:[2001:db8::1]:8080", true},
        {"www.nv.example:80:127.0.0.1", false},
        {"www.nv.example:80:127.0.0.1:8080:9", false},
        {"::1:80:127.0.0.1:8080", false}, // an IPv6 address without brackets
        {"www.nv.example:0:127.0.0.1:8080", false},
        {"www.nv.example:80:127.0.0.1:123456", false},
        {"www.nv.example:-1:127.0.0.1:8080", false},
        {"www.nv.example:80:127.0.0.1:80 80", false},
        {"www.nv example:80:127.0.0.1:8080", false},
        {"[::1:80:127.0.0.1:8080", false},
        {"http://www.nv.example:80:127.0.0.1:8080", false},
        {"", false},
        {"garbage", false},
    };
    for (const auto& [entry, readable] : cases)
        EXPECT_EQ(ConnectToEntryReadable(entry), readable) << entry;
}
