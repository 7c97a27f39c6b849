// SPDX-License-Identifier: MIT
#include "app/PageCutter.h"

#include "services/Gbk.h"
#include "services/TextOps.h"
#include "tools/demosite/DemoCatalogue.h"

#include <gtest/gtest.h>

using namespace paveno;
using namespace paveno::app;

TEST(PageCutter, CutsEveryEntryOfASitePageWithTheStoredMarkers) {
    for (bool lineFeedsOnly : {false, true}) {
        const demo::DemoCatalogue site({.lineFeedsOnly = lineFeedsOnly});
        const auto& category = demo::DemoCatalogue::Categories()[16]; // a serialised one: the other list tail
        std::vector<demo::Book> books;
        for (int i = 0; i < 3; ++i)
            books.push_back(site.BookAt(16, i));
        const PageMarkers markers = StoredMarkers(false);
        const Text list = CutList(WithCrLf(site.ListPage(category, books)), markers);
        ASSERT_FALSE(list.empty()) << lineFeedsOnly;

        EntrySplit split = TakeEntry(list, markers);
        for (const auto& book : books) {
            const EntryFields fields = CutEntry(split.entry, markers);
            EXPECT_EQ(fields.title, book.title);
            EXPECT_EQ(fields.author, book.author);
            EXPECT_EQ(fields.intro, book.intro);
            EXPECT_EQ(FinalSerial(fields.serial), std::to_string(book.serial));
            EXPECT_EQ(CutCoverName(split.entry, markers), std::to_string(book.serial) + ".jpg");
            split = TakeEntry(split.remaining, markers);
        }
        EXPECT_TRUE(CutEntry(split.entry, markers).title.empty()) << "after the last book the page is done";
    }
}

TEST(PageCutter, MissingMarkersGiveEmptyOrWholeTexts) {
    const PageMarkers markers = StoredMarkers(true);
    // A page without the list tail has no list; one without book tails has an empty first entry.
    EXPECT_EQ(CutList("<html>no list here</html>", markers), "");
    EXPECT_EQ(TakeEntry("no book tail", markers).entry, "");
    // A serial without "/" stays whole; one with several keeps the part after the last.
    struct Case {
        Text firstForm, serial;
    };
    const Case cases[] = {{"4242", "4242"}, {"ttp://x/Book/12", "12"}, {"", ""}, {"a/", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(FinalSerial(c.firstForm), c.serial) << c.firstForm;
}
