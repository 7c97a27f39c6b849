// SPDX-License-Identifier: MIT
#include "services/TextOps.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace paveno {
namespace {

bool HighBit(char c) {
    return static_cast<unsigned char>(c) & 0x80;
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool BytesMatch(const char* p, const Text& sought, bool ignoreCase) {
    if (!ignoreCase) return *p == sought[0] && std::memcmp(p, sought.data(), sought.size()) == 0;
    for (size_t i = 0; i < sought.size(); ++i) {
        if (FoldAscii(p[i]) != FoldAscii(sought[i])) return false;
    }
    return true;
}

// The scan shared by both searches: from byte `begin`, `remaining` bytes of region, calling onMatch with each
// 1-based match position; onMatch returns true to stop the scan.
template <typename OnMatch>
void Scan(const Text& text, const Text& sought, size_t begin, long remaining, bool ignoreCase, OnMatch onMatch) {
    const long m = static_cast<long>(sought.size());
    size_t p = begin;
    while (remaining >= m) {
        if (BytesMatch(text.data() + p, sought, ignoreCase) && onMatch(static_cast<int>(p + 1))) return;
        if (HighBit(text[p])) {
            if (p + 1 >= text.size()) return; // a lead byte right before the terminator ends the scan
            ++p;
            --remaining;
        }
        ++p;
        --remaining;
    }
}

// Full-width digits, signs and a few look-alikes become ASCII, so "１２" and "－３" read as numbers.
std::string FoldFullWidth(const Text& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (!(lead & 0x80)) {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) break;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out += static_cast<char>(trail & 0x7F);
        } else if (lead == 0xA1 && trail == 0xA1) {
            out += ' ';
        } else if (lead == 0xA1 && trail == 0xAB) {
            out += '~';
        } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
            out += '*';
        } else {
            out += static_cast<char>(lead);
            out += static_cast<char>(trail);
        }
    }
    return out;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Qt sets the process locale from the environment; number text must not follow it.
locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

} // namespace

int TextLength(const Text& text) {
    return static_cast<int>(text.size());
}

Text LeftText(const Text& text, int n) {
    if (n <= 0) return {};
    return text.substr(0, static_cast<size_t>(n));
}

Text RightText(const Text& text, int n) {
    if (n <= 0) return {};
    const size_t count = std::min(static_cast<size_t>(n), text.size());
    return text.substr(text.size() - count);
}

int FindText(const Text& text, const Text& sought, std::optional<int> start, bool ignoreCase) {
    const long length = static_cast<long>(text.size());
    const long b = start ? std::max<long>(static_cast<long>(*start) - 1, 0) : 0;
    const long remaining = b < length ? length - b : 0;
    if (sought.empty()) return remaining > 0 ? 1 : -1;
    int found = -1;
    Scan(text, sought, static_cast<size_t>(b), remaining, ignoreCase, [&](int pos) {
        found = pos;
        return true;
    });
    return found;
}

int FindTextReverse(const Text& text, const Text& sought, std::optional<int> start, bool ignoreCase) {
    const long length = static_cast<long>(text.size());
    const long b = start ? std::max<long>(static_cast<long>(*start) - 1, 0) : length;
    const long remaining = b <= 0 ? 0 : std::min(b, length);
    if (sought.empty()) return remaining > 0 ? 1 : -1;
    int last = -1;
    Scan(text, sought, 0, remaining, ignoreCase, [&](int pos) {
        last = pos;
        return false;
    });
    return last;
}

double ToNumber(const Text& text) {
    const std::string s = FoldFullWidth(text);
    size_t i = 0;
    while (i < s.size() && std::strchr(" \t\n\v\f\r", s[i]))
        ++i;

    // Collect the longest prefix that fits sign, digits with one point, and an exponent (e/E/d/D).
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (IsDigit(s[i])) {
            digits = true;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number += s[i];
    }
    if (!digits) return 0.0;
    if (i < s.size() && std::strchr("eEdD", s[i])) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j]))
                exponent += s[j++];
            number += exponent;
        }
    }
    return strtod_l(number.c_str(), nullptr, CLocale());
}

double ToNumber(const Value& value) {
    if (value.isText()) return ToNumber(value.text());
    if (value.isNumber()) return value.number();
    if (value.isInteger()) return static_cast<double>(value.integer());
    if (value.isLogical()) return value.logical() ? 1.0 : 0.0;
    if (value.isBytes()) return ToNumber(ToText(value.bytes()));
    return 0.0;
}

Text ToText(std::int64_t integer) {
    return std::to_string(integer);
}

Text ToText(double number) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 13);
    std::string out(buffer, ec == std::errc() ? end : buffer);
    // The exponent is written with at least three digits: 1e+20 becomes 1e+020.
    const size_t e = out.find('e');
    if (e != std::string::npos && e + 2 < out.size()) {
        const size_t digits = out.size() - (e + 2);
        if (digits < 3) out.insert(e + 2, 3 - digits, '0');
    }
    return out;
}

Text ToText(const ByteSet& bytes) {
    if (bytes.empty()) return {}; // an empty vector may hold no buffer at all, and strnlen wants one
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    return Text(data, ::strnlen(data, bytes.size()));
}

Text ToLogicalText(bool logical) {
    return logical ? "\xD5\xE6" : "\xBC\xD9";
} // 真 / 假

Text ToText(const Value& value) {
    if (value.isText()) return value.text();
    if (value.isBytes()) return ToText(value.bytes());
    if (value.isLogical()) return ToLogicalText(value.logical());
    if (value.isNumber()) return ToText(value.number());
    if (value.isInteger()) return ToText(value.integer());
    return {};
}

ByteSet ToBytes(const Text& text) {
    return BytesOf(text);
}

ByteSet ToBytes(const Value& value) {
    auto littleEndian = [](std::uint64_t v, int size) {
        ByteSet out(static_cast<size_t>(size));
        for (int i = 0; i < size; ++i)
            out[static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        return out;
    };
    if (value.isText()) return ToBytes(value.text());
    if (value.isBytes()) return value.bytes();
    if (value.isLogical()) return littleEndian(value.logical() ? 1 : 0, 4);
    if (value.isNumber()) {
        std::uint64_t bits;
        const double d = value.number();
        std::memcpy(&bits, &d, sizeof bits);
        return littleEndian(bits, 8);
    }
    if (value.isInteger()) {
        return littleEndian(static_cast<std::uint64_t>(value.integer()), value.tag() == ValueTag::Long ? 8 : 4);
    }
    return {};
}

double RoundNumber(double x, std::optional<int> places) {
    if (x == 0.0) return x;
    const int digits = places.value_or(0);
    const bool negative = x < 0;
    const double magnitude = std::fabs(x);
    // The 1e-12 lifts values such as 0.49999999999999, which stand for an exact half, over the line.
    auto roundHalfUp = [](double f) {
        double integral;
        const double fraction = std::modf(f + 1e-12, &integral);
        return fraction >= 0.5 ? integral + 1 : integral;
    };
    double result;
    if (digits > 0) {
        const double scale = std::pow(10.0, digits);
        result = roundHalfUp(magnitude * scale) / scale;
    } else if (digits == 0) {
        result = roundHalfUp(magnitude);
    } else {
        const double scale = std::pow(10.0, -digits);
        result = roundHalfUp(magnitude / scale) * scale;
    }
    return negative ? -result : result;
}

Text JoinTextList(std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (auto part : parts)
        total += part.size();
    Text out;
    out.reserve(total);
    for (auto part : parts)
        out.append(part);
    return out;
}

int CompareTexts(const Text& a, const Text& b) {
    const int c = a.compare(b); // char_traits<char> compares bytes as unsigned
    return (c > 0) - (c < 0);
}

Text WithCrLf(std::string_view text) {
    Text out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::int32_t TruncateToInteger(double x) {
    if (!(std::fabs(x) < 9223372036854775808.0)) return 0;
    const auto whole = static_cast<std::int64_t>(x);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

} // namespace paveno
