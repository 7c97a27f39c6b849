// SPDX-License-Identifier: MIT
// Keeping a library current: an unchanged serialised archive costs a 304, whole kinds go in one run, and a daily run
// over a large category asks for the pages with new books and no more.
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/HeadlessRun.h"
#include "tests/app/CollectionFixture.h"

#include <sys/stat.h>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

class RefreshTest : public CollectionTest {
protected:
    void TearDown() override {
        app::Collecting() = {};
        CollectionTest::TearDown();
    }

    static SiteResponse Answer(std::string body, const Headers& validators, int status = 200) {
        SiteResponse response = SiteResponse::Page(body, status);
        response.headers = validators;
        return response;
    }
    // The request for `target` of the latest run.
    std::optional<SiteRequest> Last(const std::string& target) const {
        std::optional<SiteRequest> last;
        for (const auto& request : site_.requests())
            if (request.target == target) last = request;
        return last;
    }
    static std::int64_t ModifiedNs(const fs::path& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    }
};

// The archive is asked for with the validators the site gave; a 304 keeps it byte for byte and untouched, counts the
// book as present and says 压缩文件未变化; a site that gave none is asked as before and its archive replaced whole.
TEST_F(RefreshTest, AnArchiveIsAskedWhetherItChanged) {
    const std::string date = "Wed, 01 Jan 2025 00:00:00 GMT";
    const struct {
        const char* name;
        Headers validators;
    } cases[] = {{"etag", {{"ETag", "\"v1\""}}},
                 {"last-modified", {{"Last-Modified", date}}},
                 {"both", {{"ETag", "\"v1\""}, {"Last-Modified", date}}},
                 {"neither", {}}};
    int serial = 900;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string title = std::string("连载") + c.name;
        const std::string archive = "/down/2011/" + std::to_string(serial) + ".rar";
        ServeBooks(Serialised(), 1, {MakeBook(serial, title)});
        ServeFiles(serial, 320001);
        const bool conditional = !c.validators.empty();
        site_.respondInTurn(
            archive, {Answer(std::string(320001, 'a'), c.validators),
                      conditional ? Answer("", c.validators, 304) : Answer(std::string(320002, 'b'), c.validators)});
        Collect(false, 0, "1", forms::kAnswerCancel);
        const fs::path kept = At("小说/连载中/玄幻奇幻/" + title + ".rar");
        ASSERT_EQ(fs::file_size(kept), 320001u);
        const std::int64_t modified = ModifiedNs(kept);

        std::vector<std::string> reports;
        site_.clearRequests();
        Collect(false, 0, "1", forms::kAnswerCancel, true,
                [&] { app::Collecting().reports = [&](const Text& r) { reports.push_back(Utf8(r)); }; });
        app::Collecting().reports = {};
        const auto asked = Last(archive);
        ASSERT_TRUE(asked);
        const bool etag = c.validators.size() == 2 || std::string(c.name) == "etag";
        const bool lastModified = c.validators.size() == 2 || std::string(c.name) == "last-modified";
        EXPECT_EQ(asked->header("If-None-Match").value_or(""), etag ? "\"v1\"" : "");
        EXPECT_EQ(asked->header("If-Modified-Since").value_or(""), lastModified ? date : "");
        EXPECT_EQ(Requests("/txt/" + std::to_string(serial)), 1) << "the download page comes as before";
        ASSERT_EQ(reports.size(), 1u);
        if (conditional) {
            EXPECT_EQ(FileText(kept), std::string(320001, 'a'));
            EXPECT_EQ(ModifiedNs(kept), modified) << "a 304 rewrites nothing";
            EXPECT_NE(reports[0].find("压缩文件未变化"), std::string::npos) << reports[0];
            EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在1篇小说，本次成功采集0篇小说！是否查看文件？");
        } else {
            EXPECT_EQ(FileText(kept), std::string(320002, 'b'));
            EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
        }
        // Only the archive of a book downloaded again for the overwrite box is asked conditionally.
        EXPECT_FALSE(Last("/txt/" + std::to_string(serial) + "txt.html")->header("If-None-Match"));
        ++serial;
    }
}

// A changed archive (a 200 to the conditional request) replaces the old one whole, and its new validators are the
// ones asked with next time.
TEST_F(RefreshTest, AChangedArchiveIsReplacedWhole) {
    ServeBooks(Serialised(), 1, {MakeBook(910, "更新的书")});
    ServeFiles(910, 320001);
    const std::string archive = "/down/2011/910.rar";
    site_.respondInTurn(archive, {Answer(std::string(320001, 'a'), {{"ETag", "\"v1\""}}),
                                  Answer(std::string(330000, 'b'), {{"ETag", "\"v2\""}}),
                                  Answer("", {{"ETag", "\"v2\""}}, 304)});
    Collect(false, 0, "1", forms::kAnswerCancel);
    Collect(false, 0, "1", forms::kAnswerCancel, true);
    EXPECT_EQ(FileText(At("小说/连载中/玄幻奇幻/更新的书.rar")), std::string(330000, 'b'));
    Collect(false, 0, "1", forms::kAnswerCancel, true);
    EXPECT_EQ(Last(archive)->header("If-None-Match").value_or(""), "\"v2\"");
    EXPECT_EQ(FileText(At("小说/连载中/玄幻奇幻/更新的书.rar")), std::string(330000, 'b'));
}

// New books only: the category ends after the first page on which every book was present; a page that holds a new
// book is never skipped, and no page beyond the end is asked for.
TEST_F(RefreshTest, NewOnlyEndsAfterTheFirstPageWithoutANewBook) {
    for (int page = 1; page <= 4; ++page) {
        std::vector<demo::Book> books;
        for (int i = 0; i < 2; ++i) {
            const int serial = 920 + page * 10 + i;
            books.push_back(MakeBook(serial, "页" + std::to_string(page) + "书" + std::to_string(i)));
            ServeFiles(serial);
        }
        ServeBooks(Finished(), page, books);
    }
    auto present = [&](int page, int i) {
        WriteSized(At("小说/完本/玄幻小说/页" + std::to_string(page) + "书" + std::to_string(i) + ".rar"), 30001);
    };
    const struct {
        std::vector<std::pair<int, int>> present; // (page, book) already in the library
        int pagesAsked;                           // list pages the run asks for
    } cases[] = {
        {{{1, 0}, {1, 1}}, 1},                 // nothing new on page 1
        {{{1, 0}, {2, 0}, {2, 1}}, 2},         // page 1 had a new book, page 2 none
        {{{2, 0}, {2, 1}, {3, 0}, {3, 1}}, 2}, // page 1 new (collected now); page 2 none
    };
    for (const auto& c : cases) {
        for (const auto& entry : fs::directory_iterator(run_.path()))
            fs::remove_all(entry.path());
        for (const auto& [page, i] : c.present)
            present(page, i);
        site_.clearRequests();
        Collect(true, 0, "4", forms::kAnswerCancel, false, [] { app::Collecting().newOnly = true; });
        EXPECT_EQ(Requests(Finished().listPath), c.pagesAsked);
        for (int page = 1; page <= c.pagesAsked; ++page)
            for (int i = 0; i < 2; ++i)
                EXPECT_TRUE(
                    fs::exists(At("小说/完本/玄幻小说/页" + std::to_string(page) + "书" + std::to_string(i) + ".rar")))
                    << page << "/" << i;
        EXPECT_EQ(Requests("/down/2011/9" + std::to_string(20 + (c.pagesAsked + 1) * 10)), 0)
            << "a book of a page beyond the end was asked for";
    }
}

// --collect 连载中 collects every serialised category in one run, in the window's order, with one summary.
TEST_F(RefreshTest, AWholeKindInOneHeadlessRun) {
    const auto& categories = demo::DemoCatalogue::Categories();
    int serialised = 0;
    for (std::size_t c = 0; c < categories.size(); ++c) {
        if (categories[c].finished) continue;
        const int serial = 950 + int(c);
        ServeBooks(categories[c], 1, {MakeBook(serial, "全类" + std::to_string(c))});
        ServeFiles(serial);
        ++serialised;
    }
    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = false;
    options.collect = app::CollectRequest{"连载中", "", "1", "0", false};
    EXPECT_EQ(app::RunHeadlessCollection(options), 0);
    for (std::size_t c = 0; c < categories.size(); ++c) {
        if (categories[c].finished) continue;
        EXPECT_TRUE(fs::exists(At("小说/连载中/" + Utf8(categories[c].name) + "/全类" + std::to_string(c) + ".rar")))
            << c;
    }
    EXPECT_EQ(Requests("/wanben/"), 0) << "no finished category was asked for";
}

} // namespace
