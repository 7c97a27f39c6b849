// SPDX-License-Identifier: MIT
// Any bytes as a cached list page, cut as the collector cuts it: the list, at most 20 entries and their fields,
// with the program's own markers of both kinds. No crash, no read outside a text, and no entry longer than its page.
#include "app/PageCutter.h"
#include "services/TextOps.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const paveno::app::PageMarkers finished = paveno::app::StoredMarkers(true);
    static const paveno::app::PageMarkers serialised = paveno::app::StoredMarkers(false);
    const auto& markers = size % 2 ? finished : serialised;
    const paveno::Text page = paveno::WithCrLf(paveno::ToText(paveno::ByteSet(data, data + size)));
    const paveno::Text list = paveno::app::CutList(page, markers);
    if (list.size() > page.size()) std::abort();
    paveno::app::EntrySplit split = paveno::app::TakeEntry(list, markers);
    for (int k = 0; k < 20; ++k) {
        const paveno::app::EntryFields fields = paveno::app::CutEntry(split.entry, markers);
        if (split.entry.size() > list.size() || fields.title.size() > split.entry.size()) std::abort();
        paveno::app::CutCoverName(split.entry, markers);
        paveno::app::FinalSerial(fields.serial);
        if (fields.title.empty()) break;
        split = paveno::app::TakeEntry(split.remaining, markers);
    }
    return 0;
}
