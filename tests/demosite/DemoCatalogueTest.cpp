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
