// SPDX-License-Identifier: MIT
#pragma once

#include "forms/format/ByteCursor.h"
#include "services/Text.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace paveno::format {

// How one setting of a property block is stored.
enum class FieldType {
    Setting,  // u32, any meaning (signed values are stored two's complement)
    Bool,     // u32 0 or 1
    Colour,   // u32 COLORREF, 0xFF000000 the system default
    Short,    // u16
    Text,     // counted text
    Blob,     // counted blob
    Picture,  // counted blob holding a picture file
    Font,     // counted blob holding a 60-byte LOGFONT, or nothing
    TextList, // u16 count (0xFFFF: a u32 count follows), counted texts
};

constexpr std::uint32_t kDefaultColour = 0xFF000000;

struct FieldLayout {
    std::string_view name; // the name the window data source uses
    FieldType type;
    std::uint32_t since = 1;   // the first block version that holds the field
    std::uint32_t initial = 0; // the default of a number-like field
};

// The layout of one kind's property block, in stored order after the version word.
struct KindLayout {
    std::uint32_t kindId;
    std::string_view word; // the kind word ("window", "EditBox")
    std::uint32_t highestVersion;
    std::span<const FieldLayout> fields;

    const FieldLayout* Field(std::string_view name) const;
    int IndexOf(std::string_view name) const;
};

std::span<const KindLayout> AllKindLayouts();
const KindLayout* FindKindLayout(std::uint32_t kindId);
const KindLayout* FindKindLayout(std::string_view word);

using FieldValue = std::variant<std::uint32_t, Text, ByteSet, std::vector<Text>>;

// The default value of a field: its initial number, or an empty text, blob or list.
FieldValue DefaultFieldValue(const FieldLayout& field);

// A property block read by its layout. An empty stored block reads as version 0 with every default.
class PropertyBlock {
public:
    PropertyBlock() = default;
    PropertyBlock(const KindLayout* layout, std::uint32_t version, std::vector<FieldValue> values)
        : layout_(layout), version_(version), values_(std::move(values)) {}

    const KindLayout* layout() const { return layout_; }
    std::uint32_t version() const { return version_; }
    const std::vector<FieldValue>& values() const { return values_; }

    // Accessors by field name; a name the layout lacks ends the process with a message (a programming error).
    std::uint32_t Number(std::string_view name) const;
    std::int32_t Signed(std::string_view name) const { return static_cast<std::int32_t>(Number(name)); }
    bool Flag(std::string_view name) const { return Number(name) != 0; }
    const Text& TextOf(std::string_view name) const;
    const ByteSet& Blob(std::string_view name) const;
    const std::vector<Text>& List(std::string_view name) const;

private:
    const FieldValue* Find(std::string_view name) const;
    const KindLayout* layout_ = nullptr;
    std::uint32_t version_ = 0;
    std::vector<FieldValue> values_;
};

struct BlockResult {
    std::optional<PropertyBlock> block;
    std::string error;
};

// Reads a block; fails on a version above the kind's highest or a block shorter than its layout needs.
// Bytes after the last field of the block's version are ignored.
BlockResult ReadPropertyBlock(const KindLayout& layout, std::span<const std::uint8_t> bytes, std::size_t base = 0,
                              const FieldTrace* trace = nullptr);

// Writes version and fields; `values` holds one value per field of the layout (fields past `version` are skipped).
ByteSet WritePropertyBlock(const KindLayout& layout, std::uint32_t version, const std::vector<FieldValue>& values);

// A Windows LOGFONT record as stored in a font blob.
struct LogFont {
    std::int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
    std::uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
    std::uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
    Text face; // GBK, at most 31 bytes
    bool operator==(const LogFont&) const = default;
};

constexpr std::size_t kLogFontSize = 60;

// nullopt when the blob is not exactly 60 bytes: the control then takes the default GUI font.
std::optional<LogFont> DecodeLogFont(std::span<const std::uint8_t> blob);
ByteSet EncodeLogFont(const LogFont& font);

} // namespace paveno::format
