// SPDX-License-Identifier: MIT
#include "tools/wdc/WindowCompiler.h"

#include "forms/format/PropertyBlock.h"
#include "forms/format/WindowData.h"
#include "services/Gbk.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

namespace paveno::wdc {

namespace {

using format::FieldType;
using nlohmann::json;

// Category bytes of identifiers: the top byte, then always 0x01.
constexpr std::uint8_t kWindowCategory = 0x52;
constexpr std::uint8_t kEntryCategory = 0x06;
constexpr std::uint8_t kControlCategory = 0x16;
constexpr std::uint8_t kMenuCategory = 0x26;

const std::set<std::string_view> kReservedNames = {"id", "self", "Program", "WindowDataBlock", "kHandlerNames"};

const std::set<std::string_view> kCppKeywords = {
    "alignas", "alignof",  "and",      "asm",       "auto",     "bool",      "break",     "case",     "catch",
    "char",    "class",    "const",    "constexpr", "continue", "default",   "delete",    "do",       "double",
    "else",    "enum",     "explicit", "export",    "extern",   "false",     "float",     "for",      "friend",
    "goto",    "if",       "inline",   "int",       "long",     "mutable",   "namespace", "new",      "noexcept",
    "not",     "nullptr",  "operator", "or",        "private",  "protected", "public",    "register", "return",
    "short",   "signed",   "sizeof",   "static",    "struct",   "switch",    "template",  "this",     "throw",
    "true",    "try",      "typedef",  "typeid",    "typename", "union",     "unsigned",  "using",    "virtual",
    "void",    "volatile", "while",    "xor"};

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

// A C++ identifier as the generated header needs it. Non-ASCII letters (Chinese names) are accepted; ASCII
// punctuation, a leading digit and keywords are not.
bool IsIdentifier(std::string_view s) {
    if (s.empty()) return false;
    if (static_cast<unsigned char>(s[0]) < 0x80 && std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (unsigned char c : s) {
        if (c >= 0x80) continue;
        if (!std::isalnum(c) && c != '_') return false;
    }
    return !kCppKeywords.contains(s);
}

class Compiler {
public:
    Compiler(const std::filesystem::path& baseDir, const CompileOptions& options)
        : baseDir_(baseDir), options_(options) {}

    CompileResult Run(std::string_view text);

private:
    struct ControlInfo {
        std::uint32_t id = 0;
        std::string name;
        std::string place;
        json parent; // as written, resolved once every id is known
        bool explicitChildren = false;
    };
    struct WindowInfo {
        std::string name;
        std::uint32_t id = 0;
        std::vector<ControlInfo> controls;
    };

    void Problem(const std::string& place, std::string message) {
        result_.problems.push_back({place, std::move(message)});
    }

    std::optional<std::uint32_t> Number(const json& v, const std::string& place, bool allowNegative = true);
    std::optional<std::int32_t> Signed(const json& v, const std::string& place);
    std::optional<Text> GbkText(const json& v, const std::string& place, bool zeroText = false);
    std::optional<ByteSet> FileBytes(const json& v, const std::string& place);
    std::optional<ByteSet> BlobValue(const json& v, const std::string& place);
    std::optional<std::uint32_t> Identifier(const json& v, const std::string& place, std::uint8_t category);
    std::string Substitute(const std::string& utf8, const std::string& place);

    void Window(const json& w, const std::string& place);
    void Control(const json& c, const std::string& place, std::size_t index, WindowInfo& info,
                 format::ControlRecord& rec);
    ByteSet Properties(const json& c, const std::string& place, std::uint32_t kindId);
    std::optional<format::FieldValue> Field(const format::FieldLayout& f, const json& v, const std::string& place);
    std::optional<std::uint32_t> Handler(const json& v, const std::string& place);
    void ResolveParents(WindowInfo& info, format::WindowRecord& rec);
    void WriteOutputs(const std::string& sourceNote);

    std::filesystem::path baseDir_;
    const CompileOptions& options_;
    CompileResult result_;
    format::WindowData data_;
    std::vector<WindowInfo> windows_;
    std::vector<std::string> handlers_;
    bool handlerListFixed_ = false;
    std::set<std::uint32_t> ids_;
    std::uint32_t buildNumber_ = 0x0001034B;
};

std::optional<std::uint32_t> Compiler::Number(const json& v, const std::string& place, bool allowNegative) {
    if (v.is_boolean()) return v.get<bool>() ? 1u : 0u;
    if (v.is_number_integer()) {
        std::int64_t n =
            v.is_number_unsigned()
                ? static_cast<std::int64_t>(std::min<std::uint64_t>(v.get<std::uint64_t>(), UINT64_C(1) << 40))
                : v.get<std::int64_t>();
        if (n > 0xFFFFFFFFLL || n < INT32_MIN || (!allowNegative && n < 0)) {
            Problem(place, "the number " + std::to_string(n) + " does not fit in 32 bits");
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(n);
    }
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s.size() > 2 && s.size() <= 10 && (s.starts_with("0x") || s.starts_with("0X")) &&
            std::all_of(s.begin() + 2, s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
            return static_cast<std::uint32_t>(std::stoul(s.substr(2), nullptr, 16));
        }
        Problem(place, "\"" + s + "\" is not a hexadecimal number of at most 8 digits (0x...)");
        return std::nullopt;
    }
    Problem(place, "a number is needed");
    return std::nullopt;
}

std::optional<std::int32_t> Compiler::Signed(const json& v, const std::string& place) {
    if (!v.is_number_integer()) {
        Problem(place, "an integer is needed");
        return std::nullopt;
    }
    std::int64_t n = v.is_number_unsigned()
                         ? static_cast<std::int64_t>(std::min<std::uint64_t>(v.get<std::uint64_t>(), INT64_MAX))
                         : v.get<std::int64_t>();
    if (n < INT32_MIN || n > INT32_MAX) {
        Problem(place, "the number does not fit in a signed 32-bit integer");
        return std::nullopt;
    }
    return static_cast<std::int32_t>(n);
}

std::string Compiler::Substitute(const std::string& utf8, const std::string& place) {
    std::string out;
    std::size_t pos = 0;
    while (true) {
        std::size_t start = utf8.find("${", pos);
        if (start == std::string::npos) break;
        std::size_t end = utf8.find('}', start);
        if (end == std::string::npos) break;
        std::string key = utf8.substr(start + 2, end - start - 2);
        out += utf8.substr(pos, start - pos);
        auto it = options_.defines.find(key);
        if (it == options_.defines.end()) {
            Problem(place, "${" + key + "} is not defined (give it with --define " + key + "=VALUE)");
        } else {
            out += it->second;
        }
        pos = end + 1;
    }
    return out + utf8.substr(pos);
}

std::optional<Text> Compiler::GbkText(const json& v, const std::string& place, bool zeroText) {
    if (!v.is_string()) {
        Problem(place, "a text is needed");
        return std::nullopt;
    }
    std::string utf8 = Substitute(v.get<std::string>(), place);
    std::optional<Text> gbk = Utf8ToGbk(utf8);
    if (!gbk) {
        Problem(place, "the text cannot be written in GBK");
        return std::nullopt;
    }
    if (zeroText && gbk->find('\0') != std::string::npos) {
        Problem(place, "this text ends at a zero byte and cannot hold one");
        return std::nullopt;
    }
    return gbk;
}

std::optional<ByteSet> Compiler::FileBytes(const json& v, const std::string& place) {
    if (!v.is_string() || v.get<std::string>().empty()) {
        Problem(place, "a file name is needed");
        return std::nullopt;
    }
    std::filesystem::path path = baseDir_ / std::filesystem::u8path(v.get<std::string>());
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Problem(place, "cannot read the file " + v.get<std::string>() + " (looked for beside the source)");
        return std::nullopt;
    }
    result_.inputs.push_back(path.lexically_normal());
    return ByteSet(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A blob is written as a file name, as {"file": name} or as {"hex": "00 01 ..."}.
std::optional<ByteSet> Compiler::BlobValue(const json& v, const std::string& place) {
    if (v.is_string()) return FileBytes(v, place);
    if (v.is_object() && v.size() == 1 && v.contains("file")) return FileBytes(v["file"], place + ".file");
    if (v.is_object() && v.size() == 1 && v.contains("hex") && v["hex"].is_string()) {
        std::string digits;
        for (char c : v["hex"].get<std::string>()) {
            if (c == ' ' || c == '\n') continue;
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                Problem(place + ".hex", "only hexadecimal digits and blanks may appear");
                return std::nullopt;
            }
            digits += c;
        }
        if (digits.size() % 2) {
            Problem(place + ".hex", "an odd number of hexadecimal digits");
            return std::nullopt;
        }
        ByteSet out;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        }
        return out;
    }
    Problem(place, "a blob is a file name, {\"file\": name} or {\"hex\": bytes}");
    return std::nullopt;
}

std::optional<std::uint32_t> Compiler::Identifier(const json& v, const std::string& place, std::uint8_t category) {
    if (!v.is_string()) {
        Problem(place, "an id is written as a hexadecimal text such as \"0x16010003\"");
        return std::nullopt;
    }
    auto id = Number(v, place);
    if (!id) return std::nullopt;
    if ((*id >> 24) != category || ((*id >> 16) & 0xFF) != 0x01) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "the id %s must have the form 0x%02X01xxxx", Hex(*id).c_str(), category);
        Problem(place, buf);
        return std::nullopt;
    }
    if (!ids_.insert(*id).second) {
        Problem(place, "the id " + Hex(*id) + " is used twice in the program");
        return std::nullopt;
    }
    return id;
}

std::optional<std::uint32_t> Compiler::Handler(const json& v, const std::string& place) {
    if (v.is_null()) return format::kNoHandler;
    if (!v.is_string() || !IsIdentifier(v.get<std::string>())) {
        Problem(place, "a handler is named by a C++ identifier, or null for none");
        return std::nullopt;
    }
    std::string name = v.get<std::string>();
    auto it = std::find(handlers_.begin(), handlers_.end(), name);
    if (it != handlers_.end()) return static_cast<std::uint32_t>(it - handlers_.begin());
    if (handlerListFixed_) {
        Problem(place, "the handler " + name + " is not in the handler table");
        return std::nullopt;
    }
    handlers_.push_back(name);
    return static_cast<std::uint32_t>(handlers_.size() - 1);
}

std::optional<format::FieldValue> Compiler::Field(const format::FieldLayout& f, const json& v,
                                                  const std::string& place) {
    switch (f.type) {
    case FieldType::Bool:
        if (!v.is_boolean() && !(v.is_number_integer() && (v == 0 || v == 1))) {
            Problem(place, "true or false is needed");
            return std::nullopt;
        }
        return Number(v, place).value_or(0);
    case FieldType::Colour:
        if (v.is_string() && v.get<std::string>() == "default") return format::kDefaultColour;
        [[fallthrough]];
    case FieldType::Setting:
        if (auto n = Number(v, place)) return *n;
        return std::nullopt;
    case FieldType::Short:
        if (v.is_string() && v.get<std::string>().size() == 1) return std::uint32_t(v.get<std::string>()[0]);
        if (auto n = Number(v, place, false)) {
            if (*n <= 0xFFFF) return *n;
            Problem(place, "the value does not fit in 16 bits");
        }
        return std::nullopt;
    case FieldType::Text:
        if (auto t = GbkText(v, place)) return *t;
        return std::nullopt;
    case FieldType::Picture:
    case FieldType::Blob:
        if (auto b = BlobValue(v, place)) return *b;
        return std::nullopt;
    case FieldType::Font: {
        if (!v.is_object()) {
            Problem(place, "a font is an object such as {\"face\": \"宋体\", \"height\": -12}");
            return std::nullopt;
        }
        format::LogFont font;
        font.weight = 400;
        font.charSet = 134; // GB2312
        bool ok = true;
        for (auto it = v.begin(); it != v.end(); ++it) {
            const std::string key = it.key();
            const std::string at = place + "." + key;
            auto small = [&](std::uint8_t& out) {
                auto n = Number(it.value(), at, false);
                if (!n || *n > 255) {
                    if (n) Problem(at, "the value does not fit in a byte");
                    ok = false;
                } else {
                    out = static_cast<std::uint8_t>(*n);
                }
            };
            auto whole = [&](std::int32_t& out) {
                auto n = Signed(it.value(), at);
                if (n)
                    out = *n;
                else
                    ok = false;
            };
            if (key == "face") {
                auto t = GbkText(it.value(), at, true);
                if (t && t->size() > 31) Problem(at, "a face name holds at most 31 bytes");
                if (!t || t->size() > 31)
                    ok = false;
                else
                    font.face = *t;
            } else if (key == "height")
                whole(font.height);
            else if (key == "width")
                whole(font.width);
            else if (key == "escapement")
                whole(font.escapement);
            else if (key == "orientation")
                whole(font.orientation);
            else if (key == "weight")
                whole(font.weight);
            else if (key == "italic")
                small(font.italic);
            else if (key == "underline")
                small(font.underline);
            else if (key == "strikeOut")
                small(font.strikeOut);
            else if (key == "charSet")
                small(font.charSet);
            else if (key == "outPrecision")
                small(font.outPrecision);
            else if (key == "clipPrecision")
                small(font.clipPrecision);
            else if (key == "quality")
                small(font.quality);
            else if (key == "pitchAndFamily")
                small(font.pitchAndFamily);
            else {
                Problem(at, "a font has no setting " + key);
                ok = false;
            }
        }
        if (!ok) return std::nullopt;
        return format::EncodeLogFont(font);
    }
    case FieldType::TextList: {
        if (!v.is_array()) {
            Problem(place, "a list of texts is needed");
            return std::nullopt;
        }
        std::vector<Text> items;
        for (std::size_t i = 0; i < v.size(); ++i) {
            auto t = GbkText(v[i], place + "[" + std::to_string(i) + "]");
            if (!t) return std::nullopt;
            items.push_back(*t);
        }
        return items;
    }
    }
    return std::nullopt;
}

// "properties" absent: an empty block (every default of the kind). "properties": {...}: a block of the given
// version (the kind's highest when none is given) with the named fields, defaults for the rest. "block": a block
// written out in hexadecimal, for kinds the compiler has no layout of.
ByteSet Compiler::Properties(const json& c, const std::string& place, std::uint32_t kindId) {
    const format::KindLayout* layout = format::FindKindLayout(kindId);
    if (c.contains("block")) {
        if (c.contains("properties")) Problem(place, "give either properties or block, not both");
        return BlobValue(json{{"hex", c["block"]}}, place + ".block").value_or(ByteSet{});
    }
    if (!c.contains("properties")) {
        if (c.contains("version")) Problem(place + ".version", "a version without properties");
        return {};
    }
    const json& props = c["properties"];
    if (!layout) {
        Problem(place + ".properties", "the kind " + Hex(kindId) + " has no known layout; write its block in hex");
        return {};
    }
    if (!props.is_object()) {
        Problem(place + ".properties", "an object of property settings is needed");
        return {};
    }
    std::uint32_t version = layout->highestVersion;
    if (c.contains("version")) {
        auto v = Number(c["version"], place + ".version", false);
        if (v && (*v == 0 || *v > layout->highestVersion)) {
            Problem(place + ".version", "the " + std::string(layout->word) + " kind knows versions 1 to " +
                                            std::to_string(layout->highestVersion));
        } else if (v) {
            version = *v;
        }
    }
    std::vector<format::FieldValue> values;
    for (const auto& f : layout->fields)
        values.push_back(format::DefaultFieldValue(f));
    for (auto it = props.begin(); it != props.end(); ++it) {
        const std::string at = place + ".properties." + it.key();
        int index = layout->IndexOf(it.key());
        if (index < 0) {
            std::string known;
            for (const auto& f : layout->fields)
                known += (known.empty() ? "" : ", ") + std::string(f.name);
            Problem(at, "the " + std::string(layout->word) + " kind has no setting " + it.key() + " (it has " + known +
                            ")");
            continue;
        }
        const auto& f = layout->fields[static_cast<std::size_t>(index)];
        if (f.since > version) {
            Problem(at, "this setting needs block version " + std::to_string(f.since) + " or later");
            continue;
        }
        if (auto v = Field(f, it.value(), at)) values[static_cast<std::size_t>(index)] = std::move(*v);
    }
    return format::WritePropertyBlock(*layout, version, values);
}

void Compiler::Control(const json& c, const std::string& place, std::size_t index, WindowInfo& info,
                       format::ControlRecord& rec) {
    static const std::set<std::string> kKeys = {
        "id",       "name",       "kind",       "left",  "top",        "width",      "height", "visible",
        "disabled", "tabStop",    "focusOrder", "tag",   "remark",     "pointer",    "parent", "children",
        "events",   "properties", "version",    "block", "menuValue1", "menuValue2", "caption"};
    for (auto it = c.begin(); it != c.end(); ++it) {
        if (!kKeys.contains(it.key())) Problem(place + "." + it.key(), "unknown key " + it.key());
    }
    ControlInfo ci;
    ci.place = place;
    // Kind: a kind word from the layouts ("Button") or a kind id ("0x0001000B").
    std::uint32_t kindId = 0;
    if (!c.contains("kind")) {
        Problem(place, "a control needs a kind");
    } else if (c["kind"].is_string() && format::FindKindLayout(c["kind"].get<std::string>())) {
        kindId = format::FindKindLayout(c["kind"].get<std::string>())->kindId;
    } else if (c["kind"].is_string() && c["kind"].get<std::string>() == "MenuItem") {
        kindId = format::kMenuItemKind;
    } else if (c["kind"].is_string() && !c["kind"].get<std::string>().starts_with("0x")) {
        Problem(place + ".kind", "no kind is named " + c["kind"].get<std::string>() +
                                     " (a kind word such as Button, or a kind id such as \"0x0001000B\")");
    } else if (auto k = Number(c["kind"], place + ".kind")) {
        kindId = *k;
    }
    rec.kindId = kindId;
    const bool entry = index == 0;
    if (entry && kindId != format::kWindowKind)
        Problem(place + ".kind", "the first entry is the window itself: kind window");
    if (!entry && kindId == format::kWindowKind)
        Problem(place + ".kind", "only the first entry may be of the window kind");
    std::uint8_t category = entry ? kEntryCategory : rec.isMenuItem() ? kMenuCategory : kControlCategory;
    if (c.contains("id")) {
        if (auto id = Identifier(c["id"], place + ".id", category)) rec.id = ci.id = *id;
    } else {
        Problem(place, "a control needs an id");
    }
    if (c.contains("name")) {
        if (auto n = GbkText(c["name"], place + ".name", true)) rec.name = *n;
        ci.name = c["name"].is_string() ? c["name"].get<std::string>() : "";
        if (!entry && !ci.name.empty()) {
            if (!IsIdentifier(ci.name) || kReservedNames.contains(ci.name)) {
                Problem(place + ".name", "the name " + ci.name + " cannot be a C++ constant");
            }
            for (const auto& other : info.controls) {
                if (other.name == ci.name)
                    Problem(place + ".name", "the name " + ci.name + " is used twice in this window");
            }
        }
    }
    if (c.contains("remark")) rec.remark = GbkText(c["remark"], place + ".remark", true).value_or("");
    if (rec.isMenuItem()) {
        if (c.contains("menuValue1")) rec.menuValue1 = Number(c["menuValue1"], place + ".menuValue1").value_or(0);
        if (c.contains("menuValue2")) rec.menuValue2 = Number(c["menuValue2"], place + ".menuValue2").value_or(0);
        if (c.contains("caption")) rec.menuCaption = GbkText(c["caption"], place + ".caption", true).value_or("");
        rec.bindings = {{0, c.contains("events") ? Handler(c["events"], place + ".events").value_or(format::kNoHandler)
                                                 : format::kNoHandler}};
        info.controls.push_back(std::move(ci));
        return;
    }
    auto geometry = [&](const char* key, std::int32_t& out) {
        if (c.contains(key)) out = Signed(c[key], place + "." + key).value_or(0);
    };
    geometry("left", rec.left);
    geometry("top", rec.top);
    geometry("width", rec.width);
    geometry("height", rec.height);
    auto flag = [&](const char* key, std::uint32_t bit, bool initial) {
        bool on = initial;
        if (c.contains(key)) {
            if (c[key].is_boolean())
                on = c[key].get<bool>();
            else
                Problem(place + "." + key, "true or false is needed");
        }
        if (on) rec.flags |= bit;
    };
    flag("visible", format::kFlagVisible, true);
    flag("disabled", format::kFlagDisabled, false);
    flag("tabStop", format::kFlagTabStop, false);
    if (c.contains("focusOrder")) rec.focusOrder = Number(c["focusOrder"], place + ".focusOrder", false).value_or(0);
    if (c.contains("tag")) rec.tag = GbkText(c["tag"], place + ".tag", true).value_or("");
    if (c.contains("pointer")) {
        const json& p = c["pointer"];
        format::ByteWriter w;
        if (p.is_object()) {
            w.U32(p.contains("type") ? Number(p["type"], place + ".pointer.type").value_or(0) : 0);
            if (p.contains("file")) w.Bytes(FileBytes(p["file"], place + ".pointer.file").value_or(ByteSet{}));
        } else {
            w.U32(Number(p, place + ".pointer").value_or(0));
        }
        rec.pointer = w.take();
    }
    if (c.contains("parent")) {
        if (entry) Problem(place + ".parent", "the window itself has no parent");
        ci.parent = c["parent"];
    }
    if (c.contains("children")) {
        ci.explicitChildren = true;
    }
    if (c.contains("events")) {
        const json& ev = c["events"];
        if (!ev.is_array()) {
            Problem(place + ".events", "events are a list of [event number, handler name or null]");
        } else {
            for (std::size_t i = 0; i < ev.size(); ++i) {
                const std::string at = place + ".events[" + std::to_string(i) + "]";
                if (!ev[i].is_array() || ev[i].size() != 2) {
                    Problem(at, "an event binding is [event number, handler name or null]");
                    continue;
                }
                auto number = Signed(ev[i][0], at);
                auto handler = Handler(ev[i][1], at);
                if (number && handler) rec.bindings.push_back({*number, *handler});
            }
        }
    }
    rec.properties = Properties(c, place, kindId);
    info.controls.push_back(std::move(ci));
}

// Parents are written as a control's name or id; children lists are made from them unless a container gives its
// own (a multi-page container separates pages with 0 entries).
void Compiler::ResolveParents(WindowInfo& info, format::WindowRecord& rec) {
    auto find = [&](const json& ref) -> int {
        for (std::size_t k = 1; k < info.controls.size(); ++k) {
            if (ref.is_string() &&
                (info.controls[k].name == ref.get<std::string>() ||
                 (ref.get<std::string>().starts_with("0x") && Hex(info.controls[k].id) == ref.get<std::string>())))
                return static_cast<int>(k);
        }
        return -1;
    };
    std::vector<int> parentIndex(info.controls.size(), 0);
    for (std::size_t k = 1; k < info.controls.size(); ++k) {
        const json& ref = info.controls[k].parent;
        if (ref.is_null()) continue;
        int p = find(ref);
        if (p < 0) {
            Problem(info.controls[k].place + ".parent", "no control " + ref.dump() + " in this window");
            continue;
        }
        if (static_cast<std::size_t>(p) == k) {
            Problem(info.controls[k].place + ".parent", "a control cannot hold itself");
            continue;
        }
        parentIndex[k] = p;
        rec.controls[k].parentId = info.controls[static_cast<std::size_t>(p)].id;
    }
    // A chain of parents that comes back to where it started would leave controls nowhere.
    for (std::size_t k = 1; k < info.controls.size(); ++k) {
        std::size_t steps = 0;
        for (int p = parentIndex[k]; p > 0 && steps <= info.controls.size();
             p = parentIndex[static_cast<std::size_t>(p)])
            ++steps;
        if (steps > info.controls.size())
            Problem(info.controls[k].place + ".parent", "the parents of this control form a loop");
    }
    for (std::size_t k = 1; k < info.controls.size(); ++k) {
        if (parentIndex[k] > 0 && !info.controls[static_cast<std::size_t>(parentIndex[k])].explicitChildren) {
            rec.controls[static_cast<std::size_t>(parentIndex[k])].children.push_back(info.controls[k].id);
        }
    }
}

void Compiler::Window(const json& w, const std::string& where) {
    static const std::set<std::string> kKeys = {"name", "id", "value", "unit", "storedName", "remark", "controls"};
    WindowInfo info;
    format::WindowRecord rec;
    std::string place = where;
    if (w.contains("name") && w["name"].is_string()) {
        info.name = w["name"].get<std::string>();
        place = info.name;
        if (!IsIdentifier(info.name) || kReservedNames.contains(info.name)) {
            Problem(place + ".name", "the window name " + info.name + " cannot be a C++ namespace");
        }
        for (const auto& other : windows_) {
            if (other.name == info.name) Problem(place + ".name", "two windows are named " + info.name);
        }
    } else {
        Problem(place, "a window needs a name (the namespace of its constants)");
    }
    for (auto it = w.begin(); it != w.end(); ++it) {
        if (!kKeys.contains(it.key())) Problem(place + "." + it.key(), "unknown key " + it.key());
    }
    if (w.contains("id"))
        rec.id = info.id = Identifier(w["id"], place + ".id", kWindowCategory).value_or(0);
    else
        Problem(place, "a window needs an id");
    if (w.contains("value")) rec.valueA = Number(w["value"], place + ".value").value_or(0);
    if (w.contains("unit")) rec.unitId = Number(w["unit"], place + ".unit").value_or(0);
    if (w.contains("storedName")) rec.name = GbkText(w["storedName"], place + ".storedName").value_or("");
    if (w.contains("remark")) rec.remark = GbkText(w["remark"], place + ".remark").value_or("");
    if (!w.contains("controls") || !w["controls"].is_array() || w["controls"].empty()) {
        Problem(place + ".controls", "a window needs a list of controls whose first entry is the window itself");
    } else {
        const json& controls = w["controls"];
        rec.controls.resize(controls.size());
        for (std::size_t k = 0; k < controls.size(); ++k) {
            std::string at = place + ".controls[" + std::to_string(k) + "]";
            if (controls[k].is_object() && controls[k].contains("name") && controls[k]["name"].is_string() &&
                !controls[k]["name"].get<std::string>().empty())
                at = place + "." + controls[k]["name"].get<std::string>();
            if (!controls[k].is_object()) {
                Problem(at, "a control is an object");
                info.controls.push_back({});
                continue;
            }
            Control(controls[k], at, k, info, rec.controls[k]);
        }
        for (std::size_t k = 0; k < controls.size(); ++k) {
            if (!controls[k].is_object() || !controls[k].contains("children")) continue;
            const json& list = controls[k]["children"];
            if (!list.is_array()) {
                Problem(info.controls[k].place + ".children", "a list of control names or ids (0 separates pages)");
                continue;
            }
            for (const auto& ref : list) {
                if (ref.is_number_integer() && ref == 0) {
                    rec.controls[k].children.push_back(0);
                    continue;
                }
                auto found = std::find_if(info.controls.begin() + 1, info.controls.end(), [&](const ControlInfo& ci) {
                    return ref.is_string() &&
                           (ci.name == ref.get<std::string>() || Hex(ci.id) == ref.get<std::string>());
                });
                if (found == info.controls.end()) {
                    Problem(info.controls[k].place + ".children", "no control " + ref.dump() + " in this window");
                } else {
                    rec.controls[k].children.push_back(found->id);
                }
            }
        }
        ResolveParents(info, rec);
    }
    windows_.push_back(std::move(info));
    data_.windows.push_back(std::move(rec));
}

std::string Literal(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

void Compiler::WriteOutputs(const std::string& sourceNote) {
    const std::string& ns = options_.ns;
    std::string h;
    h += "// Generated by paveno-wdc from " + sourceNote + "; do not edit.\n#pragma once\n\n";
    h += "#include <array>\n#include <cstdint>\n#include <span>\n#include <string_view>\n\n";
    h += "namespace paveno::forms {\nstruct ProgramHeader;\n}\n\nnamespace " + ns + " {\n\n";
    h += "// The handlers that the application provides, in the order of the handler table.\n";
    for (const auto& name : handlers_)
        h += "void " + name + "();\n";
    h += "\ninline constexpr std::array<std::string_view, " + std::to_string(handlers_.size()) + "> kHandlerNames = {";
    for (std::size_t i = 0; i < handlers_.size(); ++i)
        h += (i ? ", " : "") + Literal(handlers_[i]);
    h += "};\n\n";
    h += "// The program header: the handler table as its code base, the window data block below.\n";
    h += "const paveno::forms::ProgramHeader& Program();\nstd::span<const std::uint8_t> WindowDataBlock();\n";
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        const WindowInfo& w = windows_[i];
        h += "\nnamespace " + w.name + " {\n";
        h += "inline constexpr std::uint32_t id = " + Hex(w.id) + ";\n";
        for (std::size_t k = 0; k < w.controls.size(); ++k) {
            const ControlInfo& c = w.controls[k];
            if (k == 0)
                h += "inline constexpr std::uint32_t self = " + Hex(c.id) + ";\n";
            else if (!c.name.empty())
                h += "inline constexpr std::uint32_t " + c.name + " = " + Hex(c.id) + ";\n";
        }
        h += "} // namespace " + w.name + "\n";
    }
    h += "\n} // namespace " + ns + "\n";
    result_.header = std::move(h);

    std::string s;
    s += "// Generated by paveno-wdc from " + sourceNote + "; do not edit.\n";
    s += "#include \"" + options_.name + ".h\"\n\n#include \"forms/Program.h\"\n\nnamespace " + ns +
         " {\n\nnamespace {\n\n";
    s += "alignas(4) const std::uint8_t kBlock[" + std::to_string(result_.block.size()) + "] = {";
    for (std::size_t i = 0; i < result_.block.size(); ++i) {
        if (i % 16 == 0) s += "\n   ";
        char buf[8];
        std::snprintf(buf, sizeof buf, " 0x%02X,", result_.block[i]);
        s += buf;
    }
    s += "\n};\n\n";
    if (handlers_.empty()) {
        s += "const paveno::forms::Handler* const kHandlers = nullptr;\n";
    } else {
        s += "const paveno::forms::Handler kHandlers[] = {\n";
        for (const auto& name : handlers_)
            s += "    &" + name + ",\n";
        s += "};\n";
    }
    char header[256];
    std::snprintf(
        header, sizeof header,
        "\nconst paveno::forms::ProgramHeader kHeader = {3, 0, 0x%08X, kHandlers, %zu, kBlock, sizeof kBlock, 7};\n",
        buildNumber_, handlers_.size());
    s += header;
    s += "\n} // namespace\n\nconst paveno::forms::ProgramHeader& Program() { return kHeader; }\n";
    s += "std::span<const std::uint8_t> WindowDataBlock() { return kBlock; }\n\n} // namespace " + ns + "\n";
    result_.source = std::move(s);

    for (const auto& name : handlers_)
        result_.handlerList += name + "\n";
}

CompileResult Compiler::Run(std::string_view text) {
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        std::string what = e.what();
        if (auto p = what.find("parse error"); p != std::string::npos) what = what.substr(p);
        Problem("line " + std::to_string(line) + ", column " + std::to_string(column), what);
        return std::move(result_);
    }
    if (!root.is_object()) {
        Problem("top", "the window data source is an object with a list of windows");
        return std::move(result_);
    }
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.key() != "windows" && it.key() != "handlers" && it.key() != "buildNumber")
            Problem(it.key(), "unknown key " + it.key());
    }
    if (root.contains("buildNumber")) buildNumber_ = Number(root["buildNumber"], "buildNumber").value_or(buildNumber_);
    if (root.contains("handlers")) {
        handlerListFixed_ = true;
        const json& list = root["handlers"];
        for (std::size_t i = 0; list.is_array() && i < list.size(); ++i) {
            std::string at = "handlers[" + std::to_string(i) + "]";
            if (!list[i].is_string() || !IsIdentifier(list[i].get<std::string>()))
                Problem(at, "a handler is named by a C++ identifier");
            else if (std::find(handlers_.begin(), handlers_.end(), list[i].get<std::string>()) != handlers_.end())
                Problem(at, "the handler " + list[i].get<std::string>() + " is listed twice");
            else
                handlers_.push_back(list[i].get<std::string>());
        }
        if (!list.is_array()) Problem("handlers", "a list of handler names");
    }
    if (!root.contains("windows") || !root["windows"].is_array() || root["windows"].empty()) {
        Problem("windows", "at least one window is needed");
        return std::move(result_);
    }
    for (std::size_t i = 0; i < root["windows"].size(); ++i) {
        const json& w = root["windows"][i];
        std::string place = "windows[" + std::to_string(i) + "]";
        if (!w.is_object())
            Problem(place, "a window is an object");
        else
            Window(w, place);
    }
    if (!result_.problems.empty()) return std::move(result_);
    result_.block = format::WriteWindowData(data_);
    // What we wrote must read back as what we meant; a difference is a fault of the writer, not of the source.
    format::ReadResult check = format::ReadWindowData(result_.block);
    if (!check.data)
        Problem("output", "the written block does not read back: " + check.error.ToString());
    else
        WriteOutputs(options_.sourceName);
    return std::move(result_);
}

} // namespace

CompileResult CompileWindowSource(std::string_view json, const std::filesystem::path& baseDir,
                                  const CompileOptions& options) {
    Compiler compiler(baseDir, options);
    CompileResult r = compiler.Run(json);
    return r;
}

std::string FormatProblems(const std::string& sourceName, const std::vector<Problem>& problems) {
    std::string out;
    for (const auto& p : problems)
        out += sourceName + ": " + p.place + ": " + p.message + "\n";
    return out;
}

} // namespace paveno::wdc
