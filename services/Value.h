// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <variant>

namespace paveno {

// Type tags of a value cell, as the window data and the handlers know them.
enum class ValueTag : std::uint32_t {
    Omitted = 0,
    Byte = 0x80000101,
    Short = 0x80000201,
    Integer = 0x80000301,
    Long = 0x80000401,
    Float = 0x80000501,
    Double = 0x80000601,
    Bool = 0x80000002,
    DateTime = 0x80000003,
    Text = 0x80000004,
    Bytes = 0x80000005,
    Subroutine = 0x80000006,
};

// A window or control reference: the tag is the kind id of the referenced control.
struct ControlRef {
    std::uint32_t window = 0;
    std::uint32_t control = 0;
    bool operator==(const ControlRef&) const = default;
};

// The value cell that crosses between handlers, services and the engine's property interface. Ownership is plain
// C++: a text or byte set inside a Value belongs to it. An omitted argument is the default-constructed Value.
class Value {
public:
    using Payload = std::variant<std::monostate, std::int64_t, double, bool, Text, ByteSet, ControlRef>;

    Value() = default;
    static Value Integer(std::int32_t v) { return Value(ValueTag::Integer, std::int64_t{v}); }
    static Value Long(std::int64_t v) { return Value(ValueTag::Long, v); }
    static Value Number(double v) { return Value(ValueTag::Double, v); }
    static Value Logical(bool v) { return Value(ValueTag::Bool, v); }
    static Value FromText(Text v) { return Value(ValueTag::Text, std::move(v)); }
    static Value FromBytes(ByteSet v) { return Value(ValueTag::Bytes, std::move(v)); }
    static Value Reference(std::uint32_t kindId, ControlRef ref) { return Value(static_cast<ValueTag>(kindId), ref); }

    ValueTag tag() const { return tag_; }
    bool omitted() const { return tag_ == ValueTag::Omitted; }
    bool isText() const { return tag_ == ValueTag::Text; }
    bool isBytes() const { return tag_ == ValueTag::Bytes; }
    bool isNumber() const { return std::holds_alternative<double>(payload_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(payload_); }
    bool isLogical() const { return tag_ == ValueTag::Bool; }

    // Accessors give the payload when it has that form and the empty value otherwise; conversions between
    // forms are the services' business (ToNumber, ToText, ToBytes).
    std::int64_t integer() const { return isInteger() ? std::get<std::int64_t>(payload_) : 0; }
    double number() const { return isNumber() ? std::get<double>(payload_) : 0.0; }
    bool logical() const { return isLogical() && std::get<bool>(payload_); }
    const Text& text() const;
    const ByteSet& bytes() const;
    ControlRef reference() const {
        return std::holds_alternative<ControlRef>(payload_) ? std::get<ControlRef>(payload_) : ControlRef{};
    }

    bool operator==(const Value&) const = default;

private:
    Value(ValueTag tag, Payload payload) : tag_(tag), payload_(std::move(payload)) {}
    ValueTag tag_ = ValueTag::Omitted;
    Payload payload_;
};

inline const Text& Value::text() const {
    static const Text empty;
    return isText() ? std::get<Text>(payload_) : empty;
}

inline const ByteSet& Value::bytes() const {
    static const ByteSet empty;
    return isBytes() ? std::get<ByteSet>(payload_) : empty;
}

} // namespace paveno
