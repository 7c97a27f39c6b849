// SPDX-License-Identifier: MIT
// FindText over a list page: the collector searches page texts of tens of kilobytes many times per page.
// Baseline in the same run: std::string_view::find (a library byte search without the character stepping).
#include "services/TextOps.h"

#include <benchmark/benchmark.h>

#include <string_view>

namespace {

// 64 KiB of GBK text and ASCII markup, with no occurrence of the marker.
const paveno::Text& Page() {
    static const paveno::Text page = [] {
        paveno::Text p;
        const paveno::Text piece =
            "<td class=\"t\"><a href=\"/txt/12345.html\">\xD0\xA1\xCB\xB5\xC3\xFB\xD7\xD6</a></td>\r\n";
        while (p.size() < 64 * 1024)
            p += piece;
        p.resize(64 * 1024);
        return p;
    }();
    return page;
}

// As long as the book head marker and beginning like the page's markup, so most positions start a comparison;
// it is never present.
const paveno::Text kMarker = [] {
    paveno::Text m = "<td class=\"t\"><a href=\"/txt/";
    m.resize(54, '#');
    return m;
}();

void BM_FindText(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(paveno::FindText(Page(), kMarker));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size()));
}
BENCHMARK(BM_FindText);

void BM_BaselineStringFind(benchmark::State& state) {
    const std::string_view page(Page());
    for (auto _ : state)
        benchmark::DoNotOptimize(page.find(kMarker));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size()));
}
BENCHMARK(BM_BaselineStringFind);

} // namespace

BENCHMARK_MAIN();
