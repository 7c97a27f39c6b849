// SPDX-License-Identifier: MIT
#include "app/HeadlessRun.h"

#include "AppWindows.h"
#include "app/Collector.h"
#include "app/Properties.h"
#include "app/UserActions.h"
#include "forms/Seams.h"
#include "services/Gbk.h"
#include "services/system/SystemOps.h"

#include <cstdio>
#include <string>
#include <vector>

namespace paveno::app {
namespace {

void Print(const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Prints every box and answers it with OK, as the person at the desk would to view the library.
class PrintingMessageBox : public forms::MessageBoxSeam {
public:
    int Show(const Text& text, const Text&, std::uint32_t) override {
        Print(GbkToUtf8Lossy(text));
        return forms::kAnswerOk;
    }
};

std::vector<std::string> Items(std::uint32_t combo) {
    std::vector<std::string> items;
    for (std::int32_t i = 0; i < GetItemCount(主窗口::id, combo); ++i) {
        items.push_back(GbkToUtf8Lossy(GetItemText(主窗口::id, combo, i)));
    }
    return items;
}

int Refuse(const std::string& why) {
    std::fprintf(stderr, "paveno: %s\nvalid choices:\n", why.c_str());
    for (const auto& [kind, combo] : {std::pair{"完本", 主窗口::完本类}, std::pair{"连载中", 主窗口::连载类}}) {
        for (const auto& item : Items(combo))
            std::fprintf(stderr, "  %s/%s\n", kind, item.c_str());
    }
    return 2;
}

} // namespace

int RunHeadlessCollection(const ProgramOptions& options) {
    const CollectRequest& request = *options.collect;
    PrintingMessageBox box;
    const forms::Seams before = forms::CurrentSeams();
    forms::Seams seams = before;
    seams.messageBox = &box;
    forms::SetSeams(seams);
    // The box lives on this frame: whatever way the run returns, the seams it found come back.
    struct Restore {
        forms::Seams seams;
        ~Restore() { forms::SetSeams(seams); }
    } restore{before};
    if (!StartProgram(options)) return StartFailure();

    const bool finished = request.kind == "完本";
    if (!finished && request.kind != "连载中") return Refuse("unknown kind " + request.kind);
    const std::uint32_t combo = finished ? 主窗口::完本类 : 主窗口::连载类;
    const std::vector<std::string> categories = Items(combo);
    const auto found = std::find(categories.begin(), categories.end(), request.category);
    if (found == categories.end()) return Refuse("unknown category " + request.kind + "/" + request.category);

    SetReportObserver([](const Text& report) {
        Print(GbkToUtf8Lossy(report));
        Print("----");
    });
    ClickControl(主窗口::id, finished ? 主窗口::单选框1 : 主窗口::单选框2);
    PickItem(主窗口::id, combo, static_cast<int>(found - categories.begin()));
    WriteText(主窗口::id, 主窗口::编辑框1, kEditContent, Utf8ToGbkLossy(request.pages));
    if (request.delayMs) {
        WriteText(主窗口::id, 主窗口::编辑框2, kEditContent, Utf8ToGbkLossy(*request.delayMs));
        ClickControl(主窗口::id, 主窗口::按钮3);
    }
    if (!finished) WriteLogical(主窗口::id, 主窗口::选择框1, kChecked, request.overwrite);
    ClickControl(主窗口::id, 主窗口::按钮2);

    // The summary was answered with OK: the collecting windows close once the click is over, and the main
    // window takes the page cache with it.
    ProcessPendingEvents();
    forms::EndProgram(0);
    return 0;
}

} // namespace paveno::app
