// SPDX-License-Identifier: MIT
#include "forms/format/WindowData.h"
#include "forms/format/PropertyBlock.h"
#include "services/Gbk.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

namespace paveno::format {
namespace {

ByteSet EngineBlock() {
    std::ifstream in(PAVENO_ENGINE_BLOCK, std::ios::binary);
    return ByteSet(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where each field label first occurs in a block, taken from the reader's own trace.
std::map<std::string, std::size_t> FieldOffsets(const ByteSet& block) {
    std::map<std::string, std::size_t> at;
    FieldTrace trace = [&](std::size_t offset, std::size_t, std::string_view label, const std::string&) {
        at.emplace(std::string(label), offset);
    };
    ReadWindowData(block, &trace);
    return at;
}

void PutU32(ByteSet& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(WindowData, ReadsBackWhatItWroteByteForByte) {
    ByteSet block = EngineBlock();
    ASSERT_FALSE(block.empty());
    ReadResult r = ReadWindowData(block);
    ASSERT_TRUE(r.data) << r.error.ToString();
    EXPECT_EQ(WriteWindowData(*r.data), block);
    const WindowRecord* main = r.data->Find(0x52010001);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->unitId, 0x1901002Bu);
    EXPECT_EQ(main->FindControl(0x16010007), 5);
    EXPECT_EQ(main->FindControl(0), 0);
    EXPECT_EQ(main->FindControl(0x16019999), -1);
    const ControlRecord& b1 = main->controls[1];
    EXPECT_EQ(b1.name, Gbk("按钮1"));
    EXPECT_EQ(b1.bindings, (std::vector<EventBinding>{{0, 0}, {0, 5}}));
    EXPECT_EQ(main->controls[2].bindings[0].handler, kNoHandler);
    EXPECT_EQ(main->controls[4].children, std::vector<std::uint32_t>{0x16010007});
    EXPECT_EQ(main->controls[5].parentId, 0x16010006u);
    EXPECT_EQ(main->controls[5].left, -72);
}

TEST(WindowData, EveryTruncationIsALoadErrorInsideTheBlock) {
    ByteSet block = EngineBlock();
    for (std::size_t n = 0; n < block.size(); ++n) {
        ByteSet cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        ReadResult r = ReadWindowData(cut);
        ASSERT_FALSE(r.data) << "a block cut to " << n << " bytes was accepted";
        EXPECT_LE(r.error.offset, n);
        EXPECT_FALSE(r.error.what.empty());
    }
    ByteSet longer = block;
    longer.push_back(0);
    EXPECT_FALSE(ReadWindowData(longer).data) << "bytes after the last window";
}

TEST(WindowData, InconsistentFieldsAreLoadErrors) {
    const ByteSet block = EngineBlock();
    const auto at = FieldOffsets(block);
    struct Case {
        const char* field;
        std::uint32_t value;
        const char* expected; // part of the error text
    };
    const Case cases[] = {
        {"window table length", 12, "multiple of 8"},
        {"window table length", 0xFFFFFFF8, "cannot fit"},
        {"control count", 0, "without the window's own entry"},
        {"control count", 0x40000000, "cannot fit"},
        {"control table length", 0xFFFFFFFF, "control table"},
        {"record offset", 0x7FFFFFFF, "outside the control table"},
        {"record length", 0xFFFFFF00, "record"},
        {"record length", 3, "kind id"},
        {"child count", 0x3FFFFFFF, "cannot fit"},
        {"binding count", 0x20000000, "cannot fit"},
        {"mouse pointer", 0xFFFFFFFF, "mouse pointer"},
        {"window name", 0x10000000, "window name"},
        {"control id", 0x16010004, "appears twice"},
        {"kind id", 0x00010005, "not of the window kind"},
        {"window id", 0x5201000B, "appears twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " = " + std::to_string(c.value));
        ASSERT_TRUE(at.contains(c.field));
        ByteSet bad = block;
        PutU32(bad, at.at(c.field), c.value);
        ReadResult r = ReadWindowData(bad);
        ASSERT_FALSE(r.data);
        EXPECT_NE(r.error.what.find(c.expected), std::string::npos) << r.error.what;
        EXPECT_LE(r.error.offset, bad.size());
    }
}

TEST(PropertyBlock, VersionsDefaultsAndLengths) {
    const KindLayout& window = *FindKindLayout(kWindowKind);
    ByteWriter v1;
    v1.U32(1);
    v1.U32(5); // border
    v1.U32(0); // picture mode
    v1.U32(0x00FF00FF);
    for (int i = 0; i < 10; ++i)
        v1.U32(0); // the rest of the version-1 settings
    for (int i = 0; i < 3; ++i)
        v1.U32(0); // picture, icon, sound: none
    v1.CountedText(Gbk("标题"));
    v1.CountedText("");
    struct Case {
        const char* name;
        ByteSet bytes;
        bool ok;
        std::uint32_t border, showInTaskbar, background;
    };
    ByteSet trailing = v1.bytes();
    trailing.push_back(0xAB);
    ByteSet version7 = v1.bytes();
    version7[0] = 7;
    ByteSet cut = v1.bytes();
    cut.pop_back();
    const Case cases[] = {
        {"empty block: the kind's defaults", {}, true, 2, 1, kDefaultColour},
        {"version 1: later fields keep their defaults", v1.bytes(), true, 5, 1, 0x00FF00FF},
        {"bytes after the last field are ignored", trailing, true, 5, 1, 0x00FF00FF},
        {"version above the highest", version7, false, 0, 0, 0},
        {"shorter than the layout", cut, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BlockResult r = ReadPropertyBlock(window, c.bytes);
        ASSERT_EQ(r.block.has_value(), c.ok) << r.error;
        if (!c.ok) continue;
        EXPECT_EQ(r.block->Number("border"), c.border);
        EXPECT_EQ(r.block->Number("showInTaskbar"), c.showInTaskbar);
        EXPECT_EQ(r.block->Number("background"), c.background);
    }
    EXPECT_EQ(ReadPropertyBlock(window, v1.bytes()).block->TextOf("caption"), Gbk("标题"));
    // Every layout reads back its own defaults at its highest version.
    for (const KindLayout& k : AllKindLayouts()) {
        std::vector<FieldValue> defaults;
        for (const auto& f : k.fields)
            defaults.push_back(DefaultFieldValue(f));
        ByteSet bytes = WritePropertyBlock(k, k.highestVersion, defaults);
        BlockResult r = ReadPropertyBlock(k, bytes);
        ASSERT_TRUE(r.block) << k.word << ": " << r.error;
        EXPECT_EQ(r.block->values(), defaults) << k.word;
    }
    // A misspelled field name stops the program instead of reading as 0.
    const PropertyBlock block = *ReadPropertyBlock(window, {}).block;
    EXPECT_DEATH(block.Number("boarder"), "no field \"boarder\"");
    EXPECT_DEATH(block.TextOf("Caption"), "no field \"Caption\"");
}

TEST(PropertyBlock, TextListsUseTheLongCountFrom0xFFFF) {
    const KindLayout& combo = *FindKindLayout(std::string_view("ComboBox"));
    const int items = combo.IndexOf("items");
    for (std::size_t count :
         {std::size_t{0}, std::size_t{3}, std::size_t{0xFFFE}, std::size_t{0xFFFF}, std::size_t{70000}}) {
        std::vector<FieldValue> values;
        for (const auto& f : combo.fields)
            values.push_back(DefaultFieldValue(f));
        std::vector<Text> list(count);
        for (std::size_t i = 0; i < count; ++i)
            list[i] = std::to_string(i);
        values[static_cast<std::size_t>(items)] = list;
        ByteSet bytes = WritePropertyBlock(combo, 1, values);
        BlockResult r = ReadPropertyBlock(combo, bytes);
        ASSERT_TRUE(r.block) << count << ": " << r.error;
        EXPECT_EQ(r.block->List("items"), list);
        // The count field: u16, or 0xFFFF and a u32 from 0xFFFF items on.
        ByteCursor c(bytes);
        std::uint32_t skip;
        for (int i = 0; i < 10; ++i)
            c.U32(skip, "");
        for (int blob = 0; blob < 2; ++blob)
            c.U32(skip, ""); // font and item data: empty
        c.U32(skip, "");     // content: empty
        std::uint16_t shortCount = 0;
        c.U16(shortCount, "");
        EXPECT_EQ(shortCount, count >= 0xFFFF ? 0xFFFF : count);
    }
    // A count that the rest of the block cannot hold fails before anything is allocated for it.
    ByteWriter huge;
    huge.U16(0xFFFF);
    huge.U32(0xFFFFFFFF);
    std::vector<Text> out;
    ByteCursor c(huge.bytes());
    EXPECT_FALSE(c.TextList(out, "items"));
}

TEST(PropertyBlock, FontBlobs) {
    LogFont song;
    song.height = -12;
    song.weight = 700;
    song.charSet = 134;
    song.face = Gbk("宋体");
    ByteSet bytes = EncodeLogFont(song);
    ASSERT_EQ(bytes.size(), kLogFontSize);
    ByteSet garbage = bytes;
    garbage[28 + 5] = 'Z'; // after the face name's zero
    ByteSet noZero = bytes;
    for (std::size_t i = 28; i < 60; ++i)
        noZero[i] = 'A';
    struct Case {
        const char* name;
        ByteSet blob;
        std::optional<Text> face;
    };
    const Case cases[] = {
        {"round trip", bytes, Gbk("宋体")},
        {"bytes after the zero are ignored", garbage, Gbk("宋体")},
        {"a face filling all 32 bytes", noZero, Text(32, 'A')},
        {"59 bytes: default font", ByteSet(bytes.begin(), bytes.end() - 1), std::nullopt},
        {"61 bytes: default font",
         [&] {
             ByteSet b = bytes;
             b.push_back(0);
             return b;
         }(),
         std::nullopt},
        {"empty: default font", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        auto f = DecodeLogFont(c.blob);
        ASSERT_EQ(f.has_value(), c.face.has_value()) << c.name;
        if (!f) continue;
        EXPECT_EQ(f->face, *c.face) << c.name;
        EXPECT_EQ(f->height, -12) << c.name;
        EXPECT_EQ(f->weight, 700) << c.name;
        EXPECT_EQ(f->charSet, 134) << c.name;
    }
}

} // namespace
} // namespace paveno::format
