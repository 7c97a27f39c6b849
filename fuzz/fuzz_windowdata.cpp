// SPDX-License-Identifier: MIT
// Any bytes as window data: a loaded block or the load error, never a crash or a read outside the input. What loads
// is written again and must read back to the same records, and every property block is read by its kind's layout.
#include "forms/format/PropertyBlock.h"
#include "forms/format/WindowData.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace paveno::format;
    ReadResult r = ReadWindowData({data, size});
    if (!r.data) {
        if (r.error.what.empty() || r.error.offset > size) std::abort();
        return 0;
    }
    for (const auto& win : r.data->windows) {
        for (const auto& rec : win.controls) {
            if (const KindLayout* layout = FindKindLayout(rec.kindId)) {
                BlockResult b = ReadPropertyBlock(*layout, rec.properties);
                if (!b.block && b.error.empty()) std::abort();
                if (b.block) {
                    for (const auto& f : layout->fields) {
                        if (f.type == FieldType::Font) DecodeLogFont(b.block->Blob(f.name));
                    }
                }
            }
        }
    }
    ReadResult again = ReadWindowData(WriteWindowData(*r.data));
    if (!again.data || !(*again.data == *r.data)) std::abort();
    return 0;
}
