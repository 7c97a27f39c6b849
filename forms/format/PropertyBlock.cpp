// SPDX-License-Identifier: MIT
#include "forms/format/PropertyBlock.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace paveno::format {

namespace {

using T = FieldType;

// Settings whose meaning no window of the program needs keep plain names (setting1, text1); the kinds give them
// meaning.
constexpr FieldLayout kWindowFields[] = {
    {"border", T::Setting, 1, 2},
    {"pictureMode", T::Setting, 1, 0},
    {"background", T::Colour, 1, kDefaultColour},
    {"maxButton", T::Bool, 1, 0},
    {"minButton", T::Bool, 1, 1},
    {"controlBox", T::Bool, 1, 1},
    {"startPosition", T::Setting, 1, 0},
    {"movable", T::Bool, 1, 1},
    {"soundPlays", T::Setting, 1, 1},
    {"flag21", T::Bool, 1, 0},
    {"flag22", T::Bool, 1, 0},
    {"flag23", T::Bool, 1, 0},
    {"setting25", T::Setting, 1, 0},
    {"showInTaskbar", T::Bool, 2, 1},
    {"flag27", T::Bool, 3, 0},
    {"choice28", T::Setting, 3, 0},
    {"alwaysOnTop", T::Bool, 4, 0},
    {"flag30", T::Bool, 5, 0},
    {"text31", T::Text, 6},
    {"picture", T::Picture},
    {"icon", T::Picture},
    {"sound", T::Blob},
    {"caption", T::Text},
    {"fileName", T::Text},
};

constexpr FieldLayout kEditBoxFields[] = {
    {"setting1", T::Setting},   {"setting2", T::Setting},  {"background", T::Colour, 1, kDefaultColour},
    {"setting4", T::Setting},   {"setting5", T::Setting},  {"setting6", T::Setting},
    {"setting7", T::Setting},   {"setting8", T::Setting},  {"setting9", T::Setting},
    {"passwordChar", T::Short}, {"setting11", T::Setting}, {"setting12", T::Setting},
    {"setting13", T::Setting},  {"setting14", T::Setting}, {"setting15", T::Setting},
    {"setting16", T::Setting},  {"font", T::Font},         {"content", T::Text},
    {"text1", T::Text, 2},      {"text2", T::Text, 2},
};

constexpr FieldLayout kPicBoxFields[] = {
    {"setting1", T::Setting}, {"background", T::Colour, 1, kDefaultColour},
    {"setting3", T::Setting}, {"setting4", T::Setting},
    {"picture", T::Picture},  {"text1", T::Text, 2},
    {"text2", T::Text, 2},
};

constexpr FieldLayout kLabelFields[] = {
    {"setting1", T::Setting},  {"setting2", T::Setting},  {"setting3", T::Setting},  {"setting4", T::Setting},
    {"setting5", T::Setting},  {"setting6", T::Setting},  {"setting7", T::Setting},  {"setting8", T::Setting},
    {"setting9", T::Setting},  {"setting10", T::Setting}, {"setting11", T::Setting}, {"setting12", T::Setting},
    {"setting13", T::Setting}, {"setting14", T::Setting}, {"setting15", T::Setting}, {"setting16", T::Setting},
    {"font", T::Font},         {"picture", T::Picture},   {"caption", T::Text},      {"text1", T::Text, 2},
    {"text2", T::Text, 2},
};

constexpr FieldLayout kButtonFields[] = {
    {"type", T::Setting, 1, 0}, {"hAlign", T::Setting, 1, 1}, {"vAlign", T::Setting, 1, 1}, {"picture", T::Picture},
    {"font", T::Font},          {"caption", T::Text},
};

#define PAVENO_CHECK_FIELDS                                                                                            \
    {"pushLike", T::Bool}, {"flat", T::Bool}, {"textLeft", T::Bool}, {"hAlign", T::Setting, 1, 0},                     \
        {"vAlign", T::Setting, 1, 1}, {"textColour", T::Colour, 1, kDefaultColour},                                    \
        {"background", T::Colour, 1, kDefaultColour}, {"checked", T::Bool}, {"picture", T::Picture},                   \
        {"font", T::Font}, {                                                                                           \
        "caption", T::Text                                                                                             \
    }

constexpr FieldLayout kCheckBoxFields[] = {PAVENO_CHECK_FIELDS, {"text1", T::Text, 2}, {"text2", T::Text, 2}};
constexpr FieldLayout kRadioFields[] = {PAVENO_CHECK_FIELDS};
#undef PAVENO_CHECK_FIELDS

constexpr FieldLayout kComboBoxFields[] = {
    {"type", T::Setting, 1, 1},
    {"maxLength", T::Setting, 1, 0},
    {"selStart", T::Setting, 1, 0},
    {"selLength", T::Setting, 1, 0},
    {"sorted", T::Bool, 1, 0},
    {"itemHeight", T::Setting, 1, 0},
    {"textColour", T::Colour, 1, kDefaultColour},
    {"background", T::Colour, 1, kDefaultColour},
    {"selection", T::Setting, 1, 0xFFFFFFFF},
    {"font", T::Font},
    {"itemData", T::Blob},
    {"content", T::Text},
    {"items", T::TextList},
    {"text1", T::Text, 2},
    {"text2", T::Text, 2},
    {"setting1", T::Setting, 3},
};

constexpr FieldLayout kListBoxFields[] = {
    {"setting1", T::Setting}, {"setting2", T::Setting},    {"setting3", T::Setting}, {"setting4", T::Setting},
    {"setting5", T::Setting}, {"setting6", T::Setting},    {"setting7", T::Setting}, {"setting8", T::Setting},
    {"blob1", T::Blob},       {"blob2", T::Blob},          {"items", T::TextList},   {"text1", T::Text, 2},
    {"text2", T::Text, 2},    {"setting9", T::Setting, 3},
};

constexpr FieldLayout kFileBoxFields[] = {
    {"setting1", T::Setting}, {"setting2", T::Setting}, {"setting3", T::Setting}, {"setting4", T::Setting},
    {"setting5", T::Setting}, {"setting6", T::Setting}, {"setting7", T::Setting}, {"setting8", T::Setting},
    {"setting9", T::Setting}, {"text1", T::Text},       {"font", T::Font},
};

constexpr FieldLayout kTimerFields[] = {
    {"interval", T::Setting, 1, 0},
};

constexpr FieldLayout kSuperButtonFields[] = {
    {"style", T::Setting, 1, 1},
    {"checkBox", T::Bool},
    {"checked", T::Bool},
    {"align", T::Setting},
    {"pressStyle", T::Setting},
    {"drawBorder", T::Bool, 1, 1},
    {"drawFocus", T::Bool, 1, 1},
    {"setting1", T::Setting},
    {"setting2", T::Setting},
    {"setting3", T::Setting},
    {"setting4", T::Setting},
    {"setting5", T::Setting},
    {"fgOut", T::Colour, 1, kDefaultColour},
    {"bgOut", T::Colour, 1, kDefaultColour},
    {"fgIn", T::Colour, 1, kDefaultColour},
    {"bgIn", T::Colour, 1, kDefaultColour},
    {"fgFocus", T::Colour, 1, kDefaultColour},
    {"bgFocus", T::Colour, 1, kDefaultColour},
    {"blob1", T::Blob},
    {"blob2", T::Blob},
    {"font", T::Font},
    {"blob4", T::Blob},
    {"blob5", T::Blob},
    {"caption", T::Text},
    {"tooltip", T::Text},
    {"colour2", T::Colour, 2, kDefaultColour},
    {"setting6", T::Setting, 2},
};

constexpr FieldLayout kRichEditFields[] = {
    {"setting1", T::Setting}, {"setting2", T::Setting},  {"setting3", T::Setting}, {"setting4", T::Setting},
    {"setting5", T::Setting}, {"setting6", T::Setting},  {"setting7", T::Setting}, {"setting8", T::Setting},
    {"setting9", T::Setting}, {"setting10", T::Setting}, {"content", T::Text},
};

constexpr FieldLayout kHtmlViewerFields[] = {
    {"setting1", T::Setting},
    {"setting2", T::Setting},
    {"setting3", T::Setting},
    {"text1", T::Text},
};

constexpr FieldLayout kTransLabelFields[] = {
    {"setting1", T::Setting}, {"setting2", T::Setting}, {"setting3", T::Setting}, {"setting4", T::Setting},
    {"setting5", T::Setting}, {"setting6", T::Setting}, {"caption", T::Text},
};

constexpr KindLayout kLayouts[] = {
    {0x00010001, "window", 6, kWindowFields},         {0x00010005, "EditBox", 2, kEditBoxFields},
    {0x00010006, "PicBox", 2, kPicBoxFields},         {0x0001000A, "Label", 2, kLabelFields},
    {0x0001000B, "Button", 1, kButtonFields},         {0x0001000C, "CheckBox", 2, kCheckBoxFields},
    {0x0001000D, "RadioBox", 1, kRadioFields},        {0x0001000E, "ComboBox", 3, kComboBoxFields},
    {0x0001000F, "ListBox", 3, kListBoxFields},       {0x0001001B, "FileBox", 1, kFileBoxFields},
    {0x00010020, "Timer", 1, kTimerFields},           {0x00020001, "SuperBtn", 2, kSuperButtonFields},
    {0x00020006, "RichEdit", 1, kRichEditFields},     {0x00050001, "HtmlViewer", 1, kHtmlViewerFields},
    {0x00070005, "TransLabel", 1, kTransLabelFields},
};

} // namespace

const FieldLayout* KindLayout::Field(std::string_view name) const {
    int i = IndexOf(name);
    return i < 0 ? nullptr : &fields[static_cast<std::size_t>(i)];
}

int KindLayout::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

std::span<const KindLayout> AllKindLayouts() {
    return kLayouts;
}

const KindLayout* FindKindLayout(std::uint32_t kindId) {
    for (const auto& k : kLayouts) {
        if (k.kindId == kindId) return &k;
    }
    return nullptr;
}

const KindLayout* FindKindLayout(std::string_view word) {
    for (const auto& k : kLayouts) {
        if (k.word == word) return &k;
    }
    return nullptr;
}

FieldValue DefaultFieldValue(const FieldLayout& field) {
    switch (field.type) {
    case T::Setting:
    case T::Bool:
    case T::Colour:
    case T::Short:
        return field.initial;
    case T::Text:
        return Text{};
    case T::Blob:
    case T::Picture:
    case T::Font:
        return ByteSet{};
    case T::TextList:
        return std::vector<Text>{};
    }
    return std::uint32_t{0};
}

const FieldValue* PropertyBlock::Find(std::string_view name) const {
    if (!layout_) return nullptr;
    int i = layout_->IndexOf(name);
    // A misspelled name would read as 0 or empty and go unnoticed; every kind reads its block when it is created,
    // so the first test that creates it stops here.
    if (i < 0) {
        std::fprintf(stderr, "paveno: the %.*s kind's property block has no field \"%.*s\"\n",
                     static_cast<int>(layout_->word.size()), layout_->word.data(), static_cast<int>(name.size()),
                     name.data());
        std::abort();
    }
    if (static_cast<std::size_t>(i) >= values_.size()) return nullptr;
    return &values_[static_cast<std::size_t>(i)];
}

std::uint32_t PropertyBlock::Number(std::string_view name) const {
    const FieldValue* v = Find(name);
    return v && std::holds_alternative<std::uint32_t>(*v) ? std::get<std::uint32_t>(*v) : 0;
}

const Text& PropertyBlock::TextOf(std::string_view name) const {
    static const Text empty;
    const FieldValue* v = Find(name);
    return v && std::holds_alternative<Text>(*v) ? std::get<Text>(*v) : empty;
}

const ByteSet& PropertyBlock::Blob(std::string_view name) const {
    static const ByteSet empty;
    const FieldValue* v = Find(name);
    return v && std::holds_alternative<ByteSet>(*v) ? std::get<ByteSet>(*v) : empty;
}

const std::vector<Text>& PropertyBlock::List(std::string_view name) const {
    static const std::vector<Text> empty;
    const FieldValue* v = Find(name);
    return v && std::holds_alternative<std::vector<Text>>(*v) ? std::get<std::vector<Text>>(*v) : empty;
}

BlockResult ReadPropertyBlock(const KindLayout& layout, std::span<const std::uint8_t> bytes, std::size_t base,
                              const FieldTrace* trace) {
    BlockResult result;
    std::vector<FieldValue> values;
    values.reserve(layout.fields.size());
    for (const auto& f : layout.fields)
        values.push_back(DefaultFieldValue(f));
    if (bytes.empty()) {
        result.block = PropertyBlock(&layout, 0, std::move(values));
        return result;
    }
    ByteCursor c(bytes, base, trace);
    std::uint32_t version = 0;
    c.U32(version, "version");
    if (c.ok() && version > layout.highestVersion) {
        result.error = "property block version " + std::to_string(version) + " is above " +
                       std::to_string(layout.highestVersion) + ", the highest the " + std::string(layout.word) +
                       " kind knows";
        return result;
    }
    for (std::size_t i = 0; c.ok() && i < layout.fields.size(); ++i) {
        const FieldLayout& f = layout.fields[i];
        if (f.since > version) continue;
        FieldValue& v = values[i];
        switch (f.type) {
        case T::Setting:
        case T::Bool:
        case T::Colour: {
            std::uint32_t n = 0;
            c.U32(n, f.name);
            v = n;
            break;
        }
        case T::Short: {
            std::uint16_t n = 0;
            c.U16(n, f.name);
            v = std::uint32_t{n};
            break;
        }
        case T::Text: {
            Text t;
            c.CountedText(t, f.name);
            v = std::move(t);
            break;
        }
        case T::Blob:
        case T::Picture:
        case T::Font: {
            ByteSet b;
            c.CountedBlob(b, f.name);
            v = std::move(b);
            break;
        }
        case T::TextList: {
            std::vector<Text> items;
            c.TextList(items, f.name);
            v = std::move(items);
            break;
        }
        }
    }
    if (!c.ok()) {
        result.error = "property block: " + c.error();
        return result;
    }
    result.block = PropertyBlock(&layout, version, std::move(values));
    return result;
}

ByteSet WritePropertyBlock(const KindLayout& layout, std::uint32_t version, const std::vector<FieldValue>& values) {
    ByteWriter w;
    w.U32(version);
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const FieldLayout& f = layout.fields[i];
        if (f.since > version) continue;
        FieldValue v = i < values.size() ? values[i] : DefaultFieldValue(f);
        switch (f.type) {
        case T::Setting:
        case T::Bool:
        case T::Colour:
            w.U32(std::holds_alternative<std::uint32_t>(v) ? std::get<std::uint32_t>(v) : 0);
            break;
        case T::Short:
            w.U16(
                static_cast<std::uint16_t>(std::holds_alternative<std::uint32_t>(v) ? std::get<std::uint32_t>(v) : 0));
            break;
        case T::Text:
            w.CountedText(std::holds_alternative<Text>(v) ? std::get<Text>(v) : Text{});
            break;
        case T::Blob:
        case T::Picture:
        case T::Font:
            w.CountedBlob(std::holds_alternative<ByteSet>(v) ? std::get<ByteSet>(v) : ByteSet{});
            break;
        case T::TextList:
            w.TextList(std::holds_alternative<std::vector<Text>>(v) ? std::get<std::vector<Text>>(v)
                                                                    : std::vector<Text>{});
            break;
        }
    }
    return w.take();
}

std::optional<LogFont> DecodeLogFont(std::span<const std::uint8_t> blob) {
    if (blob.size() != kLogFontSize) return std::nullopt;
    ByteCursor c(blob);
    LogFont f;
    c.I32(f.height, "");
    c.I32(f.width, "");
    c.I32(f.escapement, "");
    c.I32(f.orientation, "");
    c.I32(f.weight, "");
    std::span<const std::uint8_t> rest;
    c.Take(40, rest, "");
    f.italic = rest[0];
    f.underline = rest[1];
    f.strikeOut = rest[2];
    f.charSet = rest[3];
    f.outPrecision = rest[4];
    f.clipPrecision = rest[5];
    f.quality = rest[6];
    f.pitchAndFamily = rest[7];
    // The face name ends at its first zero; whatever follows is ignored.
    std::size_t n = 0;
    while (n < 32 && rest[8 + n] != 0)
        ++n;
    f.face.assign(reinterpret_cast<const char*>(rest.data() + 8), n);
    return f;
}

ByteSet EncodeLogFont(const LogFont& f) {
    ByteWriter w;
    w.I32(f.height);
    w.I32(f.width);
    w.I32(f.escapement);
    w.I32(f.orientation);
    w.I32(f.weight);
    const std::uint8_t b[8] = {f.italic,       f.underline,     f.strikeOut, f.charSet,
                               f.outPrecision, f.clipPrecision, f.quality,   f.pitchAndFamily};
    w.Bytes(b);
    std::string face = f.face.substr(0, 31);
    w.Bytes({reinterpret_cast<const std::uint8_t*>(face.data()), face.size()});
    w.Zeros(32 - face.size());
    return w.take();
}

} // namespace paveno::format
