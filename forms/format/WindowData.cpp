// SPDX-License-Identifier: MIT
#include "forms/format/WindowData.h"

namespace paveno::format {

namespace {

constexpr std::size_t kReservedBytes = 20;

bool ReadControlRecord(std::span<const std::uint8_t> bytes, std::size_t base, const FieldTrace* trace,
                       ControlRecord& rec, LoadError& error) {
    ByteCursor c(bytes, base, trace);
    std::uint32_t slot = 0;
    c.U32(rec.kindId, "kind id");
    c.Skip(kReservedBytes, "reserved");
    c.ZeroText(rec.name, "name");
    c.ZeroText(rec.remark, "remark");
    c.U32(slot, "object slot");
    if (rec.kindId == kMenuItemKind) {
        std::uint32_t handler = kNoHandler;
        c.U32(rec.menuValue1, "menu value 1");
        c.U32(rec.menuValue2, "menu value 2");
        c.ZeroText(rec.menuCaption, "caption");
        c.U32(handler, "handler offset");
        rec.bindings = {{0, handler}};
    } else {
        std::uint32_t count = 0, reserved = 0;
        c.I32(rec.left, "left");
        c.I32(rec.top, "top");
        c.I32(rec.width, "width");
        c.I32(rec.height, "height");
        c.U32(slot, "cursor slot");
        c.U32(rec.parentId, "parent id");
        c.U32(count, "child count");
        c.U32Array(count, rec.children, "child id");
        c.CountedBlob(rec.pointer, "mouse pointer");
        c.ZeroText(rec.tag, "tag");
        c.U32(reserved, "reserved");
        c.U32(rec.flags, "flags");
        c.U32(rec.focusOrder, "focus order");
        c.U32(count, "binding count");
        if (c.ok() && count > c.remaining() / 8) c.Fail("binding count " + std::to_string(count) + " cannot fit");
        for (std::uint32_t i = 0; c.ok() && i < count; ++i) {
            EventBinding b;
            c.I32(b.event, "event");
            c.U32(b.handler, "handler offset");
            rec.bindings.push_back(b);
        }
        c.Skip(kReservedBytes, "reserved");
        std::span<const std::uint8_t> block;
        std::size_t at = c.absolute();
        if (c.Take(c.remaining(), block, "property block")) {
            rec.properties.assign(block.begin(), block.end());
            if (trace && *trace) (*trace)(at, block.size(), "property block", std::to_string(block.size()) + " bytes");
        }
    }
    if (!c.ok()) {
        error = {c.errorOffset(), c.error()};
        return false;
    }
    return true;
}

bool ReadControlTable(ByteCursor& c, const FieldTrace* trace, WindowRecord& win, LoadError& error) {
    std::uint32_t count = 0, length = 0;
    c.U32(count, "control count");
    c.U32(length, "control table length");
    std::size_t bodyBase = c.absolute();
    std::span<const std::uint8_t> body;
    if (!c.Take(length, body, "control table")) return false;

    ByteCursor b(body, bodyBase, trace);
    std::vector<std::uint32_t> ids, offsets;
    if (count == 0) return c.Fail("a control table without the window's own entry");
    b.U32Array(count, ids, "control id");
    b.U32Array(count, offsets, "record offset");
    if (!b.ok()) {
        error = {b.errorOffset(), b.error()};
        return false;
    }
    std::size_t recordsStart = b.position();
    std::span<const std::uint8_t> records = body.subspan(recordsStart);
    win.controls.resize(count);
    for (std::uint32_t k = 0; k < count; ++k) {
        ByteCursor r(records, bodyBase + recordsStart, trace);
        std::uint32_t recordLength = 0;
        std::span<const std::uint8_t> recordBytes;
        if (offsets[k] > records.size()) {
            error = {bodyBase + recordsStart, "record offset " + std::to_string(offsets[k]) + " of entry " +
                                                  std::to_string(k) + " lies outside the control table"};
            return false;
        }
        r.Skip(offsets[k], "");
        r.U32(recordLength, "record length");
        std::size_t recordBase = r.absolute();
        if (!r.Take(recordLength, recordBytes, "record")) {
            error = {r.errorOffset(), r.error()};
            return false;
        }
        ControlRecord& rec = win.controls[k];
        if (!ReadControlRecord(recordBytes, recordBase, trace, rec, error)) return false;
        rec.id = ids[k];
        for (std::uint32_t j = 0; j < k; ++j) {
            if (ids[j] == ids[k]) {
                error = {bodyBase, "control " + Hex32(ids[k]) + " appears twice in window " + Hex32(win.id)};
                return false;
            }
        }
    }
    if (win.controls[0].kindId != kWindowKind) {
        error = {bodyBase, "entry 0 of window " + Hex32(win.id) + " is not of the window kind"};
        return false;
    }
    return true;
}

} // namespace

std::uint32_t ControlRecord::pointerType() const {
    if (pointer.size() < 4) return 0;
    return std::uint32_t(pointer[0]) | std::uint32_t(pointer[1]) << 8 | std::uint32_t(pointer[2]) << 16 |
           std::uint32_t(pointer[3]) << 24;
}

int WindowRecord::FindControl(std::uint32_t controlId) const {
    if (controls.empty()) return -1;
    if (controlId == 0 || controls[0].id == controlId) return 0;
    for (std::size_t k = 1; k < controls.size(); ++k) {
        if (controls[k].id == controlId) return static_cast<int>(k);
    }
    return -1;
}

const WindowRecord* WindowData::Find(std::uint32_t windowId) const {
    for (const auto& w : windows) {
        if (w.id == windowId) return &w;
    }
    return nullptr;
}

std::string LoadError::ToString() const {
    return "offset " + std::to_string(offset) + ": " + what;
}

ReadResult ReadWindowData(std::span<const std::uint8_t> block, const FieldTrace* trace) {
    ReadResult result;
    WindowData data;
    ByteCursor c(block, 0, trace);
    std::uint32_t tableLength = 0;
    c.U32(tableLength, "window table length");
    if (c.ok() && tableLength % 8 != 0)
        c.Fail("window table length " + std::to_string(tableLength) + " is not a multiple of 8");
    std::vector<std::uint32_t> ids, slots;
    c.U32Array(tableLength / 8, ids, "window id");
    c.U32Array(tableLength / 8, slots, "window slot");
    LoadError error;
    for (std::size_t i = 0; c.ok() && i < ids.size(); ++i) {
        WindowRecord win;
        win.id = ids[i];
        c.U32(win.valueA, "window value");
        c.U32(win.unitId, "handler unit id");
        c.CountedText(win.name, "window name");
        c.CountedText(win.remark, "window remark");
        if (!c.ok()) break;
        if (!ReadControlTable(c, trace, win, error)) {
            if (!c.ok()) error = {c.errorOffset(), c.error()};
            result.error = error;
            return result;
        }
        for (const auto& other : data.windows) {
            if (other.id == win.id) c.Fail("window " + Hex32(win.id) + " appears twice");
        }
        data.windows.push_back(std::move(win));
    }
    if (c.ok() && c.remaining() != 0) c.Fail(std::to_string(c.remaining()) + " bytes after the last window record");
    if (!c.ok()) {
        result.error = {c.errorOffset(), c.error()};
        return result;
    }
    result.data = std::move(data);
    return result;
}

namespace {

ByteSet WriteControlRecord(const ControlRecord& rec) {
    ByteWriter w;
    w.U32(rec.kindId);
    w.Zeros(kReservedBytes);
    w.ZeroText(rec.name);
    w.ZeroText(rec.remark);
    w.U32(0); // object slot
    if (rec.isMenuItem()) {
        w.U32(rec.menuValue1);
        w.U32(rec.menuValue2);
        w.ZeroText(rec.menuCaption);
        w.U32(rec.bindings.empty() ? kNoHandler : rec.bindings.front().handler);
        return w.take();
    }
    w.I32(rec.left);
    w.I32(rec.top);
    w.I32(rec.width);
    w.I32(rec.height);
    w.U32(0); // cursor slot
    w.U32(rec.parentId);
    w.U32(static_cast<std::uint32_t>(rec.children.size()));
    for (auto id : rec.children)
        w.U32(id);
    w.CountedBlob(rec.pointer);
    w.ZeroText(rec.tag);
    w.U32(0);
    w.U32(rec.flags);
    w.U32(rec.focusOrder);
    w.U32(static_cast<std::uint32_t>(rec.bindings.size()));
    for (const auto& b : rec.bindings) {
        w.I32(b.event);
        w.U32(b.handler);
    }
    w.Zeros(kReservedBytes);
    w.Bytes(rec.properties);
    return w.take();
}

} // namespace

ByteSet WriteWindowData(const WindowData& data) {
    ByteWriter w;
    w.U32(static_cast<std::uint32_t>(data.windows.size() * 8));
    for (const auto& win : data.windows)
        w.U32(win.id);
    for (std::size_t i = 0; i < data.windows.size(); ++i)
        w.U32(0);
    for (const auto& win : data.windows) {
        w.U32(win.valueA);
        w.U32(win.unitId);
        w.CountedText(win.name);
        w.CountedText(win.remark);
        ByteWriter body;
        for (const auto& rec : win.controls)
            body.U32(rec.id);
        std::size_t offsetsAt = body.size();
        for (std::size_t k = 0; k < win.controls.size(); ++k)
            body.U32(0);
        std::size_t recordsStart = body.size();
        for (std::size_t k = 0; k < win.controls.size(); ++k) {
            body.PatchU32(offsetsAt + 4 * k, static_cast<std::uint32_t>(body.size() - recordsStart));
            ByteSet rec = WriteControlRecord(win.controls[k]);
            body.CountedBlob(rec);
        }
        w.U32(static_cast<std::uint32_t>(win.controls.size()));
        w.CountedBlob(body.bytes());
    }
    return w.take();
}

} // namespace paveno::format
