// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"
#include "services/Value.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace paveno {

// Text, byte-set and number operations as the handlers use them. None of them fails: counts and positions are
// clamped, and a value of an unexpected kind converts to 0 or the empty text. Positions are 1-based bytes.

int TextLength(const Text& text);
Text LeftText(const Text& text, int n);
Text RightText(const Text& text, int n);

// A plain forward scan that tries a match only at the character boundaries it steps over: a lead byte (high bit
// set) makes the scan skip its trail byte, so a sought text is not found starting at a trail byte.
int FindText(const Text& text, const Text& sought, std::optional<int> start = std::nullopt, bool ignoreCase = false);
// The same scan over the first start-1 bytes (the whole text when start is omitted), giving the last match.
int FindTextReverse(const Text& text, const Text& sought, std::optional<int> start = std::nullopt,
                    bool ignoreCase = false);

double ToNumber(const Text& text);
double ToNumber(const Value& value);

Text ToText(std::int64_t integer);
Text ToText(double number);
Text ToText(const ByteSet& bytes);
Text ToLogicalText(bool logical);
Text ToText(const Value& value);

ByteSet ToBytes(const Text& text);
ByteSet ToBytes(const Value& value);

double RoundNumber(double x, std::optional<int> places = std::nullopt);

Text JoinTextList(std::initializer_list<std::string_view> parts);
template <typename... Parts> Text JoinTexts(const Parts&... parts) {
    return JoinTextList({std::string_view(parts)...});
}

int CompareTexts(const Text& a, const Text& b);

// The text with every CR LF, lone CR and lone LF made CR LF: the one form in which text boxes hold line breaks, so
// that texts from anywhere compare alike. (Neither byte can be the trail byte of a GBK character.)
Text WithCrLf(std::string_view text);

// Drops the fraction toward zero through a 64-bit integer and keeps its low 32 bits; a number beyond the 64-bit
// range (or not a number) gives the x87 "integer indefinite", whose low half is 0.
std::int32_t TruncateToInteger(double x);

} // namespace paveno
