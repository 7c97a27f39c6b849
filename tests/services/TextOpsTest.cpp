// SPDX-License-Identifier: MIT
#include "services/TextOps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace paveno;

namespace {
const Text kXiaoShuo = "\xD0\xA1\xCB\xB5"; // 小说
const Text kAh1 = "\xB0\xA1\x31";          // 啊1
} // namespace

TEST(TextOps, LeftAndRightCutByBytesAndClamp) {
    struct Case {
        Text text;
        int n;
        Text left, right;
    };
    const Case cases[] = {
        {kXiaoShuo, 3, "\xD0\xA1\xCB", "\xA1\xCB\xB5"}, // a lone lead / trail byte stays
        {kXiaoShuo, 0, "", ""},
        {kXiaoShuo, -1, "", ""},
        {kXiaoShuo, 1000, kXiaoShuo, kXiaoShuo},
        {"", 3, "", ""},
        {"abc", 2, "ab", "bc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LeftText(c.text, c.n), c.left) << c.n;
        EXPECT_EQ(RightText(c.text, c.n), c.right) << c.n;
    }
    EXPECT_EQ(TextLength("ab" + kXiaoShuo), 6);
}

TEST(TextOps, FindTextStepsOverDoubleByteCharacters) {
    struct Case {
        Text text, sought;
        std::optional<int> start;
        bool ignoreCase;
        int expected;
    };
    const Case cases[] = {
        {"abcabc", "c", std::nullopt, false, 3},
        {"abcabc", "c", 4, false, 6},
        {"abcabc", "c", 7, false, -1},
        {"abcabc", "c", 0, false, 3},
        {"abcabc", "c", -5, false, 3},
        {"abc", "", std::nullopt, false, 1},
        {"abc", "", 2, false, 1}, // an empty sought text answers 1 wherever the region starts
        {"abc", "", 10, false, -1},
        {"", "", std::nullopt, false, -1},
        {"ab", "abc", std::nullopt, false, -1},
        {kAh1, "\xA1\x31", std::nullopt, false, -1}, // never at a trail byte
        {kAh1, "\xA1\x31", 2, false, 2},             // unless the start puts the scan there
        {"ABC", "b", std::nullopt, false, -1},
        {"ABC", "b", std::nullopt, true, 2},
        {"\xC1\xEB"
         "a",
         "\xC1\xCB", std::nullopt, true, -1},      // only ASCII letters fold
        {"x\xB0", "\xB0", std::nullopt, false, 2}, // a lead byte can still match before ending the scan
        {"x\xB0", "y", std::nullopt, false, -1},   // a lead byte before the end stops the scan
        {kXiaoShuo + "<b>" + kXiaoShuo, "<b>", std::nullopt, false, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.expected)
            << "'" << c.text << "' '" << c.sought << "' " << c.start.value_or(-99);
    }
}

TEST(TextOps, FindTextReverseGivesTheLastMatchWithinTheFirstBytes) {
    struct Case {
        Text text, sought;
        std::optional<int> start;
        int expected;
    };
    const Case cases[] = {
        {"a/b/c", "/", std::nullopt, 4},
        {"a/b/c", "/", 4, 2},
        {"a/b/c", "/", 1, -1},
        {"a/b/c", "/", 100, 4},
        {"a/b/c", "", 1, -1},
        {"a/b/c", "", 2, 1},
        {"abab", "ab", 4, 1}, // the match must end inside the first 3 bytes
        {kAh1 + "\xA1\x31", "\xA1\x31", std::nullopt, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindTextReverse(c.text, c.sought, c.start), c.expected) << c.text << " " << c.start.value_or(-99);
    }
}

TEST(TextOps, ToNumberReadsFullWidthAndFortranExponents) {
    struct Case {
        Text text;
        double expected;
    };
    const Case cases[] = {
        {"", 0},
        {"  -3.5e2x", -350},
        {"2d3", 2000},
        {"2D-1", 0.2},
        {"\xA3\xB1\xA3\xB2", 12},                   // １２
        {"\xA1\xA1\xA3\xB3", 3},                    // ideographic space, ３
        {"\xB9\xB2\xA3\xB3\xC6\xAA", 0},            // 共３篇: the first character is not a number
        {"\xA3\xAD\xA3\xB1\xA3\xAE\xA3\xB5", -1.5}, // －１．５
        {"12.5MB", 12.5},
        {"1.2.3", 1.2},
        {"5e", 5},
        {"5e+", 5},
        {".5", 0.5},
        {"-.", 0},
        {"+7", 7},
        {"\t\r\n 42", 42},
        {"inf", 0},
        {"0x10", 0},
        {"1e400", std::numeric_limits<double>::infinity()},
        {"3\xA3", 3}, // a lead byte at the end
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ToNumber(c.text), c.expected) << c.text;
    EXPECT_EQ(ToNumber(Value::Integer(-7)), -7);
    EXPECT_EQ(ToNumber(Value::Logical(true)), 1);
    EXPECT_EQ(ToNumber(Value()), 0);
}

TEST(TextOps, ToTextFormatsLikeTheOldRuntime) {
    struct Case {
        Value value;
        Text expected;
    };
    const Case cases[] = {
        {Value::Integer(-12), "-12"},
        {Value::Integer(0), "0"},
        {Value::Integer(2147483647), "2147483647"},
        {Value::Number(2.0), "2"},
        {Value::Number(0.1), "0.1"},
        {Value::Number(0.5), "0.5"},
        {Value::Number(1234567.25), "1234567.25"},
        {Value::Number(1e20), "1e+020"},
        {Value::Number(1.5e15), "1.5e+015"},
        {Value::Number(-2.5e-5), "-2.5e-005"},
        {Value::Number(1e100), "1e+100"},
        {Value::Number(1e300), "1e+300"},
        {Value::Number(1.0 / 3), "0.3333333333333"},
        {Value::Number(1e12), "1000000000000"},
        {Value::Number(1e13), "1e+013"},
        {Value::FromBytes({0x41, 0x42, 0x00, 0x43}), "AB"},
        {Value::FromBytes({}), ""},
        {Value::FromBytes({0x00, 0x41}), ""},
        {Value::FromText("x"), "x"},
        {Value::Logical(true), "\xD5\xE6"},
        {Value::Logical(false), "\xBC\xD9"},
        {Value(), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToText(c.value), c.expected) << c.expected;
}

TEST(TextOps, RoundNumberMovesHalvesAwayFromZero) {
    struct Case {
        double x;
        std::optional<int> places;
        double expected;
    };
    const Case cases[] = {
        {2.5, std::nullopt, 3}, {-2.5, std::nullopt, -3}, {-0.5, std::nullopt, -1}, {0, std::nullopt, 0},
        {2.4999, 0, 2},         {0.49999999999999, 0, 1}, {1.005, 2, 1.01},         {1.004, 2, 1.0},
        {1250, -2, 1300},       {-1249, -2, -1200},       {123.456, 1, 123.5},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(RoundNumber(c.x, c.places), c.expected) << c.x;
}

TEST(TextOps, JoinCompareTruncateAndBytes) {
    EXPECT_EQ(JoinTexts(Text(), Text()), "");
    EXPECT_EQ(JoinTexts(Text("a"), "\\", kXiaoShuo, Text()), "a\\" + kXiaoShuo);
    EXPECT_EQ(CompareTexts(Text(), ""), 0);
    EXPECT_LT(CompareTexts("a", "ab"), 0);
    EXPECT_GT(CompareTexts("\xB0\xA1", "a"), 0); // GBK bytes sort above ASCII
    EXPECT_NE(CompareTexts("A", "a"), 0);

    struct Case {
        double x;
        std::int32_t expected;
    };
    const Case cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {-0.7, 0},
        {4294967296.0 + 5, 5}, // the low 32 bits of a 64-bit integer
        {2147483648.0, -2147483647 - 1},
        {1e19, 0}, // beyond 64 bits: integer indefinite
        {std::nan(""), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TruncateToInteger(c.x), c.expected) << c.x;

    EXPECT_EQ(ToBytes(Text("A\xB0")), (ByteSet{0x41, 0xB0}));
    EXPECT_TRUE(ToBytes(Text()).empty());
    EXPECT_EQ(ToBytes(Value::Integer(1)), (ByteSet{1, 0, 0, 0}));
}
