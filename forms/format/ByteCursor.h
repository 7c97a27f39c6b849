// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace paveno::format {

// Told about every field as it is read: where it starts in the whole block, how many bytes it took, its label and
// a printable value. The dumper of the compiler and the golden tests listen; the engine passes none.
using FieldTrace =
    std::function<void(std::size_t offset, std::size_t length, std::string_view label, const std::string& value)>;

// A bounds-checked little-endian reader over a span. The first failure sticks: every later read fails too, and
// error() tells what and where (offsets count from the start of the whole block, not of this span).
class ByteCursor {
public:
    ByteCursor(std::span<const std::uint8_t> data, std::size_t base = 0, const FieldTrace* trace = nullptr)
        : data_(data), base_(base), trace_(trace) {}

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    std::size_t errorOffset() const { return errorOffset_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return ok() ? data_.size() - pos_ : 0; }
    std::size_t absolute() const { return base_ + pos_; }
    const FieldTrace* trace() const { return trace_; }

    bool U16(std::uint16_t& out, std::string_view label);
    bool U32(std::uint32_t& out, std::string_view label);
    bool I32(std::int32_t& out, std::string_view label);
    bool Skip(std::size_t n, std::string_view label);
    // The next n bytes as a sub-span, checked against what remains.
    bool Take(std::size_t n, std::span<const std::uint8_t>& out, std::string_view label);
    bool CountedText(Text& out, std::string_view label);
    bool CountedBlob(ByteSet& out, std::string_view label);
    bool ZeroText(Text& out, std::string_view label);
    bool TextList(std::vector<Text>& out, std::string_view label);
    // A u32 count of u32 items that must fit in what remains.
    bool U32Array(std::size_t count, std::vector<std::uint32_t>& out, std::string_view label);

    // Marks the cursor failed at its current position (used for inconsistencies found by the caller).
    bool Fail(std::string what);

private:
    bool Need(std::size_t n, std::string_view label);
    void Note(std::size_t start, std::string_view label, const std::string& value) const;

    std::span<const std::uint8_t> data_;
    std::size_t base_;
    const FieldTrace* trace_;
    std::size_t pos_ = 0;
    std::string error_;
    std::size_t errorOffset_ = 0;
};

// Little-endian writer for the compiler and the tests.
class ByteWriter {
public:
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Zeros(std::size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    void Bytes(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    void CountedText(std::string_view t);
    void CountedBlob(std::span<const std::uint8_t> b);
    void ZeroText(std::string_view t);
    void TextList(const std::vector<Text>& items);
    void PatchU32(std::size_t at, std::uint32_t v);

    std::size_t size() const { return bytes_.size(); }
    const ByteSet& bytes() const { return bytes_; }
    ByteSet take() { return std::move(bytes_); }

private:
    ByteSet bytes_;
};

// A text shown in a dump: UTF-8 when the GBK decodes, quoted, with control bytes escaped.
std::string PrintableText(std::string_view gbk);
std::string Hex32(std::uint32_t v);

} // namespace paveno::format
