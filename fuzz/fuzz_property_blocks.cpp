// SPDX-License-Identifier: MIT
// Property blocks of every control kind: the first byte picks the kind, the rest is the block. Reading must fail
// cleanly or succeed, and a kind must create itself from whatever block reads, then be destroyed, without harm.
#include "forms/Control.h"
#include "forms/Seams.h"
#include "forms/format/PropertyBlock.h"
#include "forms/kinds/Kinds.h"

#include <QApplication>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace paveno;

namespace {

QApplication* App() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "fuzz_property_blocks";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        // A kind that raised an event here would find no window; the scripted seams keep that off the screen.
        static forms::ScriptedMessageBox box;
        static forms::RecordingEnd end;
        static forms::RecordingShell shell;
        forms::SetSeams({&box, &shell, &end});
        return a;
    }();
    return app;
}

const forms::KindDescriptor* KindOf(std::uint32_t kindId) {
    for (const forms::KindDescriptor* k : forms::BuiltInKinds())
        if (k->kindId == kindId) return k;
    return nullptr;
}

} // namespace

// Fontconfig keeps its font cache for the life of the process; that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    App();
    if (size == 0) return 0;
    auto layouts = format::AllKindLayouts();
    const format::KindLayout& layout = layouts[data[0] % layouts.size()];
    std::span<const std::uint8_t> bytes(data + 1, size - 1);
    format::BlockResult r = format::ReadPropertyBlock(layout, bytes);
    if (!r.block) return 0;
    // The window kind makes a top-level frame and belongs to the engine's window tests; every other kind is made
    // here as the engine would make it.
    const forms::KindDescriptor* kind = KindOf(layout.kindId);
    if (!kind || layout.kindId == 0x00010001) return 0;
    format::ControlRecord record;
    record.id = 0x16010002;
    record.kindId = layout.kindId;
    record.width = 80;
    record.height = 24;
    record.flags = 7;
    record.properties.assign(bytes.begin(), bytes.end());
    {
        QWidget parent;
        forms::CreateArgs args{record, 0x52010001, &*r.block, &parent, 100, nullptr, false};
        std::string error;
        std::unique_ptr<forms::Control> control = kind->create(args, error);
        if (control && control->widget()) {
            control->ApplyVisible();
            control->widget()->grab(); // paints it once
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
