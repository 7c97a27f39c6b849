// SPDX-License-Identifier: MIT
#include "services/Gbk.h"

#include <gtest/gtest.h>

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
