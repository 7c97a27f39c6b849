// SPDX-License-Identifier: MIT
#include "forms/format/ByteCursor.h"

#include "services/Gbk.h"

#include <cstdio>

namespace paveno::format {

std::string Hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string PrintableText(std::string_view gbk) {
    std::string utf8 = GbkToUtf8Lossy(gbk);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

bool ByteCursor::Fail(std::string what) {
    if (ok()) {
        error_ = std::move(what);
        errorOffset_ = base_ + pos_;
        if (error_.empty()) error_ = "malformed";
    }
    return false;
}

bool ByteCursor::Need(std::size_t n, std::string_view label) {
    if (!ok()) return false;
    if (n > data_.size() - pos_) {
        return Fail(std::string(label) + ": needs " + std::to_string(n) + " bytes, " +
                    std::to_string(data_.size() - pos_) + " left");
    }
    return true;
}

void ByteCursor::Note(std::size_t start, std::string_view label, const std::string& value) const {
    if (trace_ && *trace_) (*trace_)(base_ + start, pos_ - start, label, value);
}

bool ByteCursor::U16(std::uint16_t& out, std::string_view label) {
    if (!Need(2, label)) return false;
    std::size_t start = pos_;
    out = static_cast<std::uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    Note(start, label, std::to_string(out));
    return true;
}

static std::uint32_t LoadU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

bool ByteCursor::U32(std::uint32_t& out, std::string_view label) {
    if (!Need(4, label)) return false;
    std::size_t start = pos_;
    out = LoadU32(data_.data() + pos_);
    pos_ += 4;
    Note(start, label, out > 0xFFFF ? Hex32(out) : std::to_string(out));
    return true;
}

bool ByteCursor::I32(std::int32_t& out, std::string_view label) {
    if (!Need(4, label)) return false;
    std::size_t start = pos_;
    out = static_cast<std::int32_t>(LoadU32(data_.data() + pos_));
    pos_ += 4;
    Note(start, label, std::to_string(out));
    return true;
}

bool ByteCursor::Skip(std::size_t n, std::string_view label) {
    if (!Need(n, label)) return false;
    std::size_t start = pos_;
    pos_ += n;
    if (!label.empty()) Note(start, label, "");
    return true;
}

bool ByteCursor::Take(std::size_t n, std::span<const std::uint8_t>& out, std::string_view label) {
    if (!Need(n, label)) return false;
    out = data_.subspan(pos_, n);
    pos_ += n;
    return true;
}

bool ByteCursor::CountedText(Text& out, std::string_view label) {
    std::size_t start = pos_;
    std::uint32_t n = 0;
    if (!Need(4, label)) return false;
    n = LoadU32(data_.data() + pos_);
    pos_ += 4;
    if (!Need(n, label)) return false;
    out.assign(reinterpret_cast<const char*>(data_.data() + pos_), n);
    pos_ += n;
    Note(start, label, PrintableText(out));
    return true;
}

bool ByteCursor::CountedBlob(ByteSet& out, std::string_view label) {
    std::size_t start = pos_;
    if (!Need(4, label)) return false;
    std::uint32_t n = LoadU32(data_.data() + pos_);
    pos_ += 4;
    if (!Need(n, label)) return false;
    out.assign(data_.begin() + pos_, data_.begin() + pos_ + n);
    pos_ += n;
    Note(start, label, std::to_string(n) + " bytes");
    return true;
}

bool ByteCursor::ZeroText(Text& out, std::string_view label) {
    if (!ok()) return false;
    std::size_t start = pos_;
    std::size_t end = pos_;
    while (end < data_.size() && data_[end] != 0)
        ++end;
    if (end == data_.size()) return Fail(std::string(label) + ": no terminating zero");
    out.assign(reinterpret_cast<const char*>(data_.data() + pos_), end - pos_);
    pos_ = end + 1;
    Note(start, label, PrintableText(out));
    return true;
}

bool ByteCursor::TextList(std::vector<Text>& out, std::string_view label) {
    std::size_t start = pos_;
    std::uint16_t short_count = 0;
    if (!Need(2, label)) return false;
    short_count = static_cast<std::uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    std::uint32_t count = short_count;
    if (short_count == 0xFFFF) {
        if (!Need(4, label)) return false;
        count = LoadU32(data_.data() + pos_);
        pos_ += 4;
    }
    // Every item takes at least its 4-byte length, so a count beyond that cannot be right.
    if (count > remaining() / 4) return Fail(std::string(label) + ": " + std::to_string(count) + " items cannot fit");
    out.clear();
    out.reserve(count);
    Note(start, label, std::to_string(count) + " items");
    for (std::uint32_t i = 0; i < count; ++i) {
        Text item;
        if (!CountedText(item, "item")) return false;
        out.push_back(std::move(item));
    }
    return true;
}

bool ByteCursor::U32Array(std::size_t count, std::vector<std::uint32_t>& out, std::string_view label) {
    if (!ok()) return false;
    if (count > remaining() / 4) return Fail(std::string(label) + ": " + std::to_string(count) + " entries cannot fit");
    out.resize(count);
    for (auto& v : out) {
        if (!U32(v, label)) return false;
    }
    return true;
}

void ByteWriter::U16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::CountedText(std::string_view t) {
    U32(static_cast<std::uint32_t>(t.size()));
    bytes_.insert(bytes_.end(), t.begin(), t.end());
}

void ByteWriter::CountedBlob(std::span<const std::uint8_t> b) {
    U32(static_cast<std::uint32_t>(b.size()));
    Bytes(b);
}

void ByteWriter::ZeroText(std::string_view t) {
    bytes_.insert(bytes_.end(), t.begin(), t.end());
    bytes_.push_back(0);
}

void ByteWriter::TextList(const std::vector<Text>& items) {
    if (items.size() >= 0xFFFF) {
        U16(0xFFFF);
        U32(static_cast<std::uint32_t>(items.size()));
    } else {
        U16(static_cast<std::uint16_t>(items.size()));
    }
    for (const auto& t : items)
        CountedText(t);
}

void ByteWriter::PatchU32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace paveno::format
