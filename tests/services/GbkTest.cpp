// SPDX-License-Identifier: MIT
#include "services/Gbk.h"
#include "services/GbkScan.h"

#include <gtest/gtest.h>

#include <vector>

using namespace paveno;

TEST(Gbk, ConvertsBothWaysAndRefusesWhatCannotRoundTrip) {
    struct Case {
        std::string gbk;
        std::optional<std::string> utf8;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"\xD0\xA1\xCB\xB5", "小说"},
        {"\xCD\xEA\xB1\xBE\\x", "完本\\x"},
        {"\xC8\xFD\x5C", "\xE4\xB8\x89\x5C"}, // 0x5C is ASCII after a complete character
        {"\xD0\xA1\xCB", std::nullopt},       // lone lead byte at the end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.gbk;
        if (c.utf8) {
            EXPECT_EQ(Utf8ToGbk(*c.utf8), c.gbk) << *c.utf8;
        }
    }
    EXPECT_EQ(Utf8ToGbk("\xFF\xFE"), std::nullopt);
}

TEST(Gbk, LossyConversionKeepsEverythingElse) {
    EXPECT_EQ(GbkToUtf8Lossy("a\xD0\xA1\xCB"), "a小\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToGbkLossy("x\xFFy"), "x?y");
}

// Where the scanner sees characters: the separators and brackets it finds are never the second byte of a character.
TEST(GbkScan, FindsBytesOnlyWhereTheyStandAsCharacters) {
    const std::string emoji = *Utf8ToGbk("\xF0\x9F\x98\x80"); // four bytes in GB18030: lead, digit, lead, digit
    struct Case {
        std::string text;
        std::vector<std::size_t> widths;
        std::size_t bracket; // the first "]" or "\"
        bool endsInSeparator;
    };
    const Case cases[] = {
        {"a]", {1, 1}, 1, false},
        {"\x9B]]", {2, 1}, 2, false},          // 沒 then "]"
        {"x\xB6\\", {1, 2}, gbk::npos, false}, // ends in 禱, whose trail byte is 0x5C
        {"x\xB6\\\\", {1, 2, 1}, 3, true},     // 禱 and a separator
        {"\x81", {1}, gbk::npos, false},       // a lone lead byte at the end
        {"\x81\\", {2}, gbk::npos, false},     // 0x5C is a trail byte
        {"\x81\x1A]", {1, 1, 1}, 2, false},    // 0x1A is no trail byte: the lead byte stands alone
        {emoji + "\\", {4, 1}, 4, true},
        {"\x81\x30]\x30", {1, 1, 1, 1}, 2, false}, // not four bytes: the third is no lead byte
    };
    for (const auto& c : cases) {
        std::vector<std::size_t> widths;
        gbk::ForEachChar(c.text, [&](std::size_t, std::size_t width) { widths.push_back(width); });
        EXPECT_EQ(widths, c.widths) << c.text;
        EXPECT_EQ(gbk::FindAnyOf(c.text, "]\\"), c.bracket) << c.text;
        EXPECT_EQ(gbk::EndsInSeparator(c.text, "\\"), c.endsInSeparator) << c.text;
    }
    EXPECT_FALSE(gbk::EndsInSeparator("", "\\"));
}
