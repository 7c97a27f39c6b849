// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <functional>

namespace paveno::app {

// Cutting list pages with the marker texts: no HTML parser, only byte positions, as the site's pages were read from
// the start. Positions and lengths are combined in double precision and truncated toward zero. Everything here is
// plain text work; the collector feeds it the page text and the markers of the marker window.

struct PageMarkers {
    Text listHead, listTail;     // around the list of books (the tail depends on the kind)
    Text bookHead, bookTail;     // around each entry
    Text serialTail;             // after the book's link
    Text titleHead, titleTail;   // around the title
    Text authorHead, authorTail; // around the author
    Text introHead;              // before the introduction, which runs to the end of the entry
    Text coverHead, coverTail;   // around the cover's file name
};

// The markers of one kind, each read by `read` from its marker box (control id) of the marker window.
PageMarkers MarkersFrom(bool finished, const std::function<Text(std::uint32_t control)>& read);
// The markers as the program's window data stores them, in the marker boxes' line-break form.
PageMarkers StoredMarkers(bool finished);

// The list of one page: after the list head less one byte, up to the list tail plus its first byte; empty without a
// tail.
Text CutList(const Text& page, const PageMarkers& markers);

// The next entry of `source`: up to the next book tail, then after the book head less one byte; the rest of
// `source` after that book tail is what remains.
struct EntrySplit {
    Text entry;
    Text remaining;
};
EntrySplit TakeEntry(const Text& source, const PageMarkers& markers);

struct EntryFields {
    Text serial; // the link without ".html", in its first form
    Text title;
    Text author;
    Text intro;
};
EntryFields CutEntry(const Text& entry, const PageMarkers& markers);
Text CutCoverName(const Text& entry, const PageMarkers& markers);
// The part of the first-form serial after its last "/", or all of it.
Text FinalSerial(const Text& firstForm);

} // namespace paveno::app
