// SPDX-License-Identifier: MIT
#include "tools/demosite/DemoCatalogue.h"

#include "services/Gbk.h"
#include "services/TextOps.h"

#include <gtest/gtest.h>

#include <set>

using namespace paveno;
using namespace paveno::demo;

namespace {
int Count(const Text& text, const Text& part) {
    int n = 0;
    for (size_t at = text.find(part); at != Text::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}
} // namespace

// The collector ends a category at the first page under 3000 bytes, so full pages must stay above it and the
// page after the last must stay below it.
TEST(DemoCatalogue, PagesHoldTwentyEntriesAndTheCategoryEndsWithAShortPage) {
    const DemoCatalogue site({.booksPerCategory = 45});
    struct Case {
        std::string path;
        int entries;
        bool shortPage;
    };
    const Case cases[] = {
        {"/wanben/xh/tuijian1.html", 20, false}, {"/wanben/xh/tuijian3.html", 5, false},
        {"/wanben/xh/tuijian4.html", 0, true},   {"/tongren/list40-2.html", 20, false},
        {"/tongren/list40-9.html", 0, true},
    };
    for (const auto& c : cases) {
        const Response answer = site.Answer(c.path);
        EXPECT_EQ(answer.status, 200) << c.path;
        const Text page = ToText(answer.body);
        EXPECT_EQ(page.size(), answer.body.size()) << "zero byte in " << c.path;
        EXPECT_EQ(Count(page, "<dl>\r\n\t                  <dt><a target=\"_blank\" href=\""), c.entries) << c.path;
        EXPECT_EQ(page.size() < 3000, c.shortPage) << c.path << " " << page.size();
        EXPECT_TRUE(GbkToUtf8(page).has_value()) << c.path;
    }
    EXPECT_EQ(site.Answer("/wanben/xh/tuijian0.html").status, 404);
    EXPECT_EQ(site.Answer("/nothing").status, 404);
}

TEST(DemoCatalogue, TitlesAreUniqueValidFileNamesAndFilesHaveTheirSizes) {
    const DemoCatalogue site({.booksPerCategory = 120, .archiveBytes = 31000, .coverBytes = 20480});
    std::set<Text> titles;
    for (int c = 0; c < 24; ++c) {
        for (int b = 0; b < 120; ++b) {
            const Book book = site.BookAt(c, b);
            EXPECT_TRUE(titles.insert(book.title).second) << c << "/" << b;
            EXPECT_EQ(book.title.find_first_of("\\/:*?\"<>|"), Text::npos);
        }
    }
    const ByteSet cover = site.Answer("/dianzishu/UploadPic/100007.jpg").body;
    EXPECT_GE(cover.size(), 20480u);
    EXPECT_EQ(cover[0], 0xFF);
    EXPECT_EQ(cover[1], 0xD8);
    EXPECT_EQ(site.Answer("/down/2011/100007.rar").body.size(), 31000u);
    EXPECT_EQ(site.Answer("/down/2011/100007.rar").body, site.Archive(100007));
}

TEST(DemoCatalogue, UpdateServerAnswersTheVersion) {
    EXPECT_EQ(ToText(DemoCatalogue().Answer("/pavenobk/banben").body), "1170");
    EXPECT_EQ(ToText(DemoCatalogue({.newerVersion = true}).Answer("/pavenobk/banben").body), "1171");
    EXPECT_NE(ToText(DemoCatalogue().Answer("/pavenobk/gengxincx").body).find("/pavenobk/"), Text::npos);
}

TEST(DemoCatalogue, LineFeedOnlyPagesHaveNoCarriageReturn) {
    const Text page = ToText(DemoCatalogue({.lineFeedsOnly = true}).Answer("/wanben/ds/tuijian1.html").body);
    EXPECT_EQ(page.find('\r'), Text::npos);
    EXPECT_GT(page.size(), 3000u);
}

// Which archives of a category fail, come cut or drip, as a row of letters for the first twelve books: the K-th,
// 2K-th, ... book of each category is picked, and a book picked twice takes the first of fail, cut, drip.
TEST(DemoCatalogue, ArchiveFaultsPickEveryKthBookOfEachCategory) {
    struct Case {
        CatalogueOptions options;
        std::string faults; // '.' whole, 'F' 404 page, 'C' cut, 'D' drip
    };
    const Case cases[] = {
        {{}, "............"},
        {{.failArchives = 3}, "..F..F..F..F"},
        {{.cutArchives = 4}, "...C...C...C"},
        {{.dripArchives = 5}, "....D....D.."},
        {{.failArchives = 1}, "FFFFFFFFFFFF"},
        {{.failArchives = 4, .cutArchives = 2, .dripArchives = 3}, ".CDF.C.FDC.F"},
        {{.cutArchives = 6, .dripArchives = 2}, ".D.D.C.D.D.C"},
    };
    for (const auto& c : cases) {
        CatalogueOptions options = c.options;
        options.archiveBytes = 50000;
        const DemoCatalogue site(options);
        for (int category : {0, 17}) {
            std::string faults;
            for (int i = 0; i < 12; ++i) {
                const int serial = site.BookAt(category, i).serial;
                const Response answer = site.Answer("/down/2011/" + std::to_string(serial) + ".rar");
                const bool whole = answer.body == site.Archive(serial);
                if (answer.status == 404 && answer.contentType.starts_with("text/html") && !whole) {
                    faults += 'F';
                } else if (answer.status != 200 || !whole) {
                    faults += '?';
                } else if (answer.delivery == Delivery::Cut) {
                    faults += answer.sentBytes == 20000 ? 'C' : '?'; // 40% of the announced 50000 bytes
                } else {
                    faults += answer.delivery == Delivery::Drip ? 'D' : '.';
                }
                const char expected = ".FCD"[static_cast<int>(site.ArchiveFaultOf(serial))];
                EXPECT_EQ(faults.back(), expected) << "book " << i << " of category " << category;
            }
            EXPECT_EQ(faults, c.faults) << "category " << category;
        }
        // Only archives misbehave: the book's text page and cover stay whole.
        const int serial = site.BookAt(0, 11).serial;
        EXPECT_EQ(site.Answer("/txt/" + std::to_string(serial) + "txt.html").delivery, Delivery::Whole);
        EXPECT_EQ(site.Answer("/dianzishu/UploadPic/" + std::to_string(serial) + ".jpg").status, 200);
    }
}

// A broken site answers its list pages with a server error from a chosen page on; an error page looks like a page of
// the site, in GBK, and is far under the size from which an archive counts as present.
TEST(DemoCatalogue, ListPagesFailFromTheChosenPageOnWithARealLookingErrorPage) {
    struct Case {
        int failPagesFrom;
        std::string path;
        int status;
    };
    const Case cases[] = {
        {0, "/wanben/xh/tuijian1.html", 200}, {1, "/wanben/xh/tuijian1.html", 500},
        {1, "/tongren/list40-1.html", 500},   {3, "/wanben/xh/tuijian2.html", 200},
        {3, "/wanben/xh/tuijian3.html", 500}, {3, "/wanben/xh/tuijian9.html", 500},
        {2, "/down/2011/100001.rar", 200},    {2, "/txt/100001txt.html", 200},
        {0, "/wanben/xh/tuijian0.html", 404}, {0, "/nothing", 404},
    };
    for (const auto& c : cases) {
        const Response answer = DemoCatalogue({.failPagesFrom = c.failPagesFrom}).Answer(c.path);
        EXPECT_EQ(answer.status, c.status) << c.path << " from " << c.failPagesFrom;
        if (answer.status == 200) continue;
        const Text page = ToText(answer.body);
        EXPECT_EQ(page.size(), answer.body.size()) << "zero byte in " << c.path;
        EXPECT_TRUE(GbkToUtf8(page).has_value()) << c.path;
        EXPECT_NE(page.find(std::to_string(c.status)), Text::npos) << c.path;
        EXPECT_GT(page.size(), 2000u) << c.path;
        EXPECT_LT(page.size(), 30000u) << c.path;
        EXPECT_EQ(answer.contentType, "text/html; charset=gbk");
    }
}

namespace {
std::string HeaderOf(const Response& answer, const std::string& name) {
    for (const auto& [key, value] : answer.headers)
        if (key == name) return value;
    return "";
}
} // namespace

// A client that kept what the site said of an archive asks again with either validator, both or neither; a site of
// today (no validators) sends the whole archive whatever it is asked.
TEST(DemoCatalogue, ArchivesAnswerConditionalRequestsWithTheirValidators) {
    const DemoCatalogue site({.archiveBytes = 31000});
    const int serial = site.BookAt(2, 4).serial;
    const std::string path = "/down/2011/" + std::to_string(serial) + ".rar";
    const Response first = site.Answer(path);
    const std::string tag = HeaderOf(first, "ETag"), modified = HeaderOf(first, "Last-Modified");
    ASSERT_EQ(tag, "\"" + std::to_string(serial) + "-1\"");
    const auto since = ParseHttpDate(modified);
    ASSERT_TRUE(since.has_value()) << modified;
    const std::string earlier = HttpDate(*since - 1), later = HttpDate(*since + 86400);

    struct Case {
        std::string ifNoneMatch, ifModifiedSince;
        int status;       // with validators
        std::string what; // for the failure message
    };
    const Case cases[] = {
        {"", "", 200, "neither"},
        {tag, "", 304, "ETag only"},
        {"\"" + std::to_string(serial) + "-2\"", "", 200, "another ETag"},
        {"\"x\", " + tag + " ,\"y\"", "", 304, "ETag in a list"},
        {"W/" + tag, "", 304, "weak ETag"},
        {"*", "", 304, "any ETag"},
        {"", modified, 304, "Last-Modified only, the same date"},
        {"", later, 304, "a later date"},
        {"", earlier, 200, "a second earlier"},
        {"", "yesterday", 200, "a date that is none"},
        {tag, earlier, 304, "both: the ETag decides"},
        {"\"other\"", later, 200, "both: an ETag that differs decides"},
    };
    for (const bool validators : {true, false}) {
        const DemoCatalogue server({.archiveBytes = 31000, .validators = validators});
        for (const auto& c : cases) {
            const Response answer = server.Answer({path, c.ifNoneMatch, c.ifModifiedSince});
            const int status = validators ? c.status : 200;
            EXPECT_EQ(answer.status, status) << c.what << (validators ? "" : " without validators");
            EXPECT_EQ(answer.body, status == 304 ? ByteSet() : site.Archive(serial)) << c.what;
            EXPECT_EQ(HeaderOf(answer, "ETag"), validators ? tag : "") << c.what;
            EXPECT_EQ(HeaderOf(answer, "Last-Modified"), validators ? modified : "") << c.what;
        }
    }
    // Only archives are conditional: a page asked with the archive's validators still comes whole.
    const Response page = site.Answer({"/txt/" + std::to_string(serial) + "txt.html", "*", later});
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.headers.empty());
}

// Every K-th book's archive changes at the chosen time after the start: before it the old archive and validators,
// from it on new bytes, a new ETag and a later Last-Modified, so that a client asking with the old validators gets
// the new archive whole and, asking with the new ones, a 304.
TEST(DemoCatalogue, ChangedArchivesGetNewBytesAndValidatorsFromTheirTimeOn) {
    const std::int64_t started = 1800000000;
    const DemoCatalogue site({.archiveBytes = 30500, .changeArchives = 3, .changeAfterMs = 5000, .startedAt = started});
    std::string changed;
    for (int i = 0; i < 7; ++i) {
        const int serial = site.BookAt(20, i).serial;
        const std::string path = "/down/2011/" + std::to_string(serial) + ".rar";
        const Response before = site.Answer({path, "", "", 4999});
        EXPECT_EQ(before.body, site.Archive(serial)) << i;
        const std::string oldTag = HeaderOf(before, "ETag"), oldDate = HeaderOf(before, "Last-Modified");
        EXPECT_EQ(site.Answer({path, oldTag, "", 4999}).status, 304) << i;

        const Response again = site.Answer({path, oldTag, "", 5000});
        const Response sinceDate = site.Answer({path, "", oldDate, 5000});
        EXPECT_EQ(sinceDate.status, again.status) << i;
        if (again.status == 304) {
            changed += '.';
            continue;
        }
        changed += 'N';
        EXPECT_EQ(again.status, 200) << i;
        EXPECT_EQ(again.body, site.Archive(serial, 2)) << i;
        EXPECT_NE(again.body, site.Archive(serial)) << i;
        EXPECT_EQ(again.body.size(), 30500u) << i;
        EXPECT_EQ(sinceDate.body, again.body) << i;
        const std::string newTag = HeaderOf(again, "ETag"), newDate = HeaderOf(again, "Last-Modified");
        EXPECT_NE(newTag, oldTag) << i;
        EXPECT_GE(ParseHttpDate(newDate).value_or(0), started + 5) << newDate;
        EXPECT_EQ(site.Answer({path, newTag, "", 9000}).status, 304) << i;
        EXPECT_EQ(site.Answer({path, "", newDate, 9000}).status, 304) << i;
    }
    EXPECT_EQ(changed, "..N..N.");
    EXPECT_EQ(site.ArchiveGeneration(site.BookAt(20, 2).serial, 4999), 1);
    EXPECT_EQ(site.ArchiveGeneration(site.BookAt(20, 2).serial, 5000), 2);
}

TEST(DemoCatalogue, HttpDatesAreReadInTheThreeFormsAndNothingElse) {
    const std::int64_t day = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    struct Case {
        std::string date;
        std::optional<std::int64_t> seconds;
    };
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", day},
        {"Sunday, 06-Nov-94 08:49:37 GMT", day},
        {"Sun Nov  6 08:49:37 1994", day},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Fri, 31 Dec 2049 23:59:59 GMT", 2524607999},
        {"Sun, 06 Nov 1994 08:49:37", std::nullopt},
        {"Sun, 06 Nov 1994 08:49:37 GMT junk", std::nullopt},
        {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 24:49:37 GMT", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseHttpDate(c.date), c.seconds) << c.date;
    EXPECT_EQ(HttpDate(day), "Sun, 06 Nov 1994 08:49:37 GMT");
    for (const std::int64_t t : {std::int64_t{0}, day, std::int64_t{1767225600}, std::int64_t{2524607999}})
        EXPECT_EQ(ParseHttpDate(HttpDate(t)), t);
}
