// SPDX-License-Identifier: MIT
#include "app/HeadlessRun.h"

#include "AppWindows.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/LibraryStore.h"
#include "app/Properties.h"
#include "app/UserActions.h"
#include "forms/Seams.h"
#include "services/ConnectTo.h"
#include "services/Gbk.h"
#include "services/Ini.h"
#include "services/RunDirectory.h"
#include "system/SystemOps.h"

#include <cstdio>
#include <string>
#include <vector>

namespace paveno::app {
namespace {

// A report as terminal lines: CR LF becomes LF, and any other control byte (a title may hold one) is shown as \xNN
// rather than sent raw to the terminal.
std::string TerminalText(const Text& gbk) {
    const std::string utf8 = GbkToUtf8Lossy(gbk);
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        if (c == '\n' || (c >= 0x20 && c != 0x7F)) {
            out.push_back(static_cast<char>(c));
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

// A reader that went away (`paveno --collect ... | head -1`) ends the printing to it, not the run: the program
// ignores SIGPIPE, and a stream that failed once is written no more.
void Print(std::FILE* stream, const std::string& line) {
    if (std::ferror(stream)) return;
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Prints every box and answers it with OK, as the person at the desk would to view the library. A box with OK alone
// tells of a problem and goes to standard error; the summary goes to standard output.
class PrintingMessageBox : public forms::MessageBoxSeam {
public:
    int Show(const Text& text, const Text&, std::uint32_t style) override {
        Print(style == forms::kBoxOk ? stderr : stdout, TerminalText(text));
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
    if (const auto entry = UnreadableConnectToInEnvironment()) {
        std::fprintf(stderr, "paveno: PAVENO_CONNECT_TO holds an entry that is not HOST:PORT:ADDR:PORT: \"%s\"\n",
                     entry->c_str());
        return 2;
    }
    PrintingMessageBox box;
    const forms::Seams before = forms::CurrentSeams();
    forms::Seams seams = before;
    seams.messageBox = &box;
    forms::SetSeams(seams);
    // The box lives on this frame: whatever way the run returns, the seams it found come back.
    struct Restore {
        forms::Seams seams;
        ~Restore() {
            forms::SetSeams(seams);
            Collecting().reports = {};
            Collecting().notices = {};
            Collecting().lockWait = {};
            Collecting().viewLibrary = true;
        }
    } restore{before};
    if (!StartProgram(options)) return StartFailure();

    const bool both = request.kind == "全部";
    const bool finished = request.kind == "完本";
    if (!both && !finished && request.kind != "连载中") return Refuse("unknown kind " + request.kind);
    const std::uint32_t combo = finished ? 主窗口::完本类 : 主窗口::连载类;
    const std::vector<std::string> categories = Items(combo);
    const auto found = std::find(categories.begin(), categories.end(), request.category);
    const bool wholeKinds = request.category.empty();
    if (!wholeKinds && found == categories.end())
        return Refuse("unknown category " + request.kind + "/" + request.category);

    Collecting().reports = [](const Text& report) {
        Print(stdout, TerminalText(report));
        Print(stdout, "----");
    };
    // The summary is printed and answered with OK, and nobody is there to look at the library.
    Collecting().viewLibrary = false;
    // The pauses a busy site asks for: why the run goes slower than the response delay says.
    Collecting().notices = [](const Text& notice) { Print(stderr, TerminalText(notice)); };
    if (!wholeKinds) {
        ClickControl(主窗口::id, finished ? 主窗口::单选框1 : 主窗口::单选框2);
        PickItem(主窗口::id, combo, static_cast<int>(found - categories.begin()));
    }
    // The daily refresh takes its pages and delay from the settings file, and waits for a library in use.
    const Text settings = store::SettingsPath(GetRunDirectory());
    auto setting = [&](const char* key, const char* fallback) {
        const Text value = ReadIniValue(settings, Gbk("定时"), Gbk(key));
        return GbkToUtf8Lossy(value.empty() ? Text(fallback) : value);
    };
    const std::string pages = request.scheduled && request.pages.empty() ? setting("页数", "3") : request.pages;
    std::optional<std::string> delay = request.delayMs;
    if (request.scheduled && !delay) delay = setting("延时", "1000");
    if (request.scheduled) Collecting().lockWait = std::chrono::minutes(10);
    WriteText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent, Utf8ToGbkLossy(pages));
    if (request.connections) Collecting().connections = *request.connections;
    Collecting().newOnly = request.newOnly;
    if (delay) {
        WriteText(主窗口::id, 主窗口::编辑框2, forms::EditBox::kContent, Utf8ToGbkLossy(*delay));
        ClickControl(主窗口::id, 主窗口::按钮3);
    }
    WriteLogical(主窗口::id, 主窗口::选择框1, forms::CheckButton::kChecked, request.overwrite);
    if (wholeKinds)
        CollectKinds(finished || both, !finished);
    else
        ClickControl(主窗口::id, 主窗口::按钮2);

    // The summary was answered with OK: the collecting windows close once the click is over, and the main
    // window takes the page cache with it.
    ProcessPendingEvents();
    // 1 when the run could not start or any of its books failed: a script must not take a partial run for a whole one.
    const CollectionState& state = State();
    const int status = state.runRefused || state.runFailures > 0 ? 1 : 0;
    forms::EndProgram(status);
    return status;
}

} // namespace paveno::app
