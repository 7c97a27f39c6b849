// SPDX-License-Identifier: MIT
#include "app/PageCutter.h"

#include "AppWindows.h"
#include "forms/format/PropertyBlock.h"
#include "forms/format/WindowData.h"
#include "services/TextOps.h"

#include <stdexcept>

namespace paveno::app {
namespace {

std::int32_t Cut(double value) {
    return TruncateToInteger(value);
}

// The text after the first `head` less its first byte: the list and entry cuts keep one byte fewer than follows.
Text AfterHeadLess(const Text& text, const Text& head) {
    return RightText(text, Cut(double(TextLength(text)) - FindText(text, head) - TextLength(head)));
}

Text After(const Text& text, const Text& head) {
    return RightText(text, Cut(double(TextLength(text)) - FindText(text, head) - TextLength(head) + 1));
}

// The text before the first `tail`; empty when there is none.
Text Before(const Text& text, const Text& tail) {
    return LeftText(text, Cut(FindText(text, tail) - 1.0));
}

Text Between(const Text& text, const Text& head, const Text& tail) {
    return After(Before(text, tail), head);
}

} // namespace

PageMarkers MarkersFrom(bool finished, const std::function<Text(std::uint32_t control)>& read) {
    namespace M = 标记窗口;
    return PageMarkers{read(M::列表头), read(finished ? M::列表尾 : M::列表尾1),
                       read(M::小说头), read(M::小说尾),
                       read(M::序号尾), read(M::标题头),
                       read(M::标题尾), read(M::作者头),
                       read(M::作者尾), read(M::简介头),
                       read(M::图片头), read(M::图片尾)};
}

PageMarkers StoredMarkers(bool finished) {
    const auto data = format::ReadWindowData(WindowDataBlock());
    const format::WindowRecord* window = data.data ? data.data->Find(标记窗口::id) : nullptr;
    if (!window) throw std::logic_error("the program's window data has no marker window");
    return MarkersFrom(finished, [&](std::uint32_t control) {
        const format::ControlRecord& r = window->controls[static_cast<std::size_t>(window->FindControl(control))];
        const auto block = format::ReadPropertyBlock(*format::FindKindLayout(r.kindId), r.properties);
        return WithCrLf(block.block ? block.block->TextOf("content") : Text());
    });
}

Text CutList(const Text& page, const PageMarkers& markers) {
    const Text list = AfterHeadLess(page, markers.listHead);
    return LeftText(list, FindText(list, markers.listTail));
}

EntrySplit TakeEntry(const Text& source, const PageMarkers& markers) {
    EntrySplit split;
    split.entry = Before(source, markers.bookTail);
    split.remaining =
        RightText(source, Cut(double(TextLength(source)) - TextLength(split.entry) - TextLength(markers.bookTail)));
    split.entry = AfterHeadLess(split.entry, markers.bookHead);
    return split;
}

EntryFields CutEntry(const Text& entry, const PageMarkers& markers) {
    EntryFields fields;
    fields.serial = LeftText(entry, FindText(entry, markers.serialTail));
    fields.serial = LeftText(fields.serial, TextLength(fields.serial) - 1);
    fields.title = Between(entry, markers.titleHead, markers.titleTail);
    fields.author = Between(entry, markers.authorHead, markers.authorTail);
    fields.intro = After(entry, markers.introHead);
    return fields;
}

Text CutCoverName(const Text& entry, const PageMarkers& markers) {
    return Between(entry, markers.coverHead, markers.coverTail);
}

Text FinalSerial(const Text& firstForm) {
    return RightText(firstForm, TextLength(firstForm) - FindTextReverse(firstForm, "/"));
}

} // namespace paveno::app
