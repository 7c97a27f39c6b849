// SPDX-License-Identifier: MIT
#include "app/Program.h"

#include "AppWindows.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "forms/Engine.h"
#include "forms/format/PropertyBlock.h"
#include "forms/format/WindowData.h"
#include "forms/kinds/HtmlViewer.h"
#include "services/ConnectTo.h"
#include "services/Gbk.h"
#include "services/RunDirectory.h"
#include "services/TextOps.h"
#include "system/SystemOps.h"
#include "system/Transfers.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <cstdio>

namespace paveno::app {
namespace {
ProgramOptions& MutableOptions() {
    static ProgramOptions options;
    return options;
}

// Tries what the program will do there: create a file. Permission bits alone do not tell (root, read-only mounts,
// folders of special file systems).
bool CanCreateFilesIn(const std::filesystem::path& folder) {
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); // a file without a name: nothing to clean
    if (fd >= 0) {
        close(fd);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    std::string name = (folder / ".paveno-XXXXXX").string();
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    unlink(name.c_str());
    close(fd);
    return true;
}

std::filesystem::path UserDataFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return data;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home) return {};
    return std::filesystem::path(home) / ".local" / "share";
}

// A whole decimal number from `low` to `high`, nothing else (no sign, no fraction, no blanks).
bool WholeNumberIn(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const long value = std::stol(text);
    return value >= low && value <= high;
}

// The folders where the system's programs are installed (a package puts Paveno in /usr/bin, `cmake --install` in
// /usr/local/bin). Root can write there, but a library there would sit among the programs and outlive the package.
bool IsSystemProgramFolder(const std::filesystem::path& folder) {
    const std::string path = folder.lexically_normal().string();
    return path.starts_with("/usr/") || path == "/bin" || path == "/sbin";
}

} // namespace

std::filesystem::path ChooseRunDirectory(const std::filesystem::path& executableFolder) {
    if (!IsSystemProgramFolder(executableFolder) && CanCreateFilesIn(executableFolder)) return executableFolder;
    const std::filesystem::path data = UserDataFolder();
    if (data.empty()) return executableFolder;
    const std::filesystem::path folder = data / "paveno";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec) ? folder : executableFolder;
}

const ProgramOptions& Options() {
    return MutableOptions();
}

std::optional<ProgramOptions> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    ProgramOptions options;
    CollectRequest collect;
    bool collecting = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "--name value" or "--name=value".
        auto named = [&](std::string_view name) { return arg == name || arg.rfind(std::string(name) + "=", 0) == 0; };
        auto value = [&](std::string& out) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                out = arg.substr(eq + 1);
                return true;
            }
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        // Asking for help or the version ends the reading: what follows is not looked at.
        if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
            return options;
        }
        if (arg == "--version") {
            options.showVersion = true;
            return options;
        }
        if (named("--connect-to")) {
            if (!value(v)) return std::nullopt; // the HTTP layer takes these
            // A mapping that cannot be read would send the run to the built-in hosts instead, unnoticed.
            if (!ConnectToEntryReadable(v)) {
                error = "--connect-to takes HOST:PORT:ADDR:PORT, not \"" + v + "\"";
                return std::nullopt;
            }
        } else if (arg == "--library") {
            options.openLibrary = true;
        } else if (named("--collect")) {
            if (!value(v)) return std::nullopt;
            // One run collects one category: a second one would silently win over the first.
            if (collecting) {
                error = "--collect given twice; one run collects one category";
                return std::nullopt;
            }
            const auto slash = v.find('/');
            const bool wholeKind = v == "完本" || v == "连载中" || v == "全部";
            if (slash == std::string::npos && !wholeKind) {
                error = "--collect takes KIND/CATEGORY or a whole kind (完本, 连载中, 全部), for example 完本/玄幻小说";
                return std::nullopt;
            }
            collect.kind = v.substr(0, slash);
            collect.category = wholeKind ? "" : v.substr(slash + 1);
            collecting = true;
        } else if (arg == "--new-only") {
            collect.newOnly = true;
        } else if (arg == "--scheduled") {
            collect.kind = "全部";
            collect.category.clear();
            collect.overwrite = collect.newOnly = collect.scheduled = true;
            collecting = true;
        } else if (named("--pages")) {
            if (!value(collect.pages)) return std::nullopt;
        } else if (named("--delay")) {
            if (!value(v)) return std::nullopt;
            collect.delayMs = v;
        } else if (named("--connections")) {
            if (!value(v)) return std::nullopt;
            if (!WholeNumberIn(v, 1, kMaxConnections)) {
                error = "--connections takes a whole number from 1 to " + std::to_string(kMaxConnections) + ", not \"" +
                        v + "\"";
                return std::nullopt;
            }
            collect.connections = std::stoi(v);
        } else if (arg == "--overwrite") {
            collect.overwrite = true;
        } else if (named("--run-dir")) {
            if (!value(v)) return std::nullopt;
            // An empty value would quietly put the library beside the program; a backslash would be taken for a
            // separator by the library's own paths.
            if (v.empty()) {
                error = "--run-dir needs a folder";
                return std::nullopt;
            }
            if (v.find('\\') != std::string::npos) {
                error = "--run-dir cannot hold \"\\\": " + v;
                return std::nullopt;
            }
            options.runDirectory = std::filesystem::u8path(v);
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (collecting) {
        if (collect.pages.empty() && !collect.scheduled) collect.pages = "1";
        if (!collect.pages.empty() && !WholeNumberIn(collect.pages, 1, kMaxPages)) {
            error = "--pages takes a whole number from 1 to " + std::to_string(kMaxPages) + ", not \"" + collect.pages +
                    "\"";
            return std::nullopt;
        }
        if (collect.delayMs && !WholeNumberIn(*collect.delayMs, 0, kMaxDelayMs)) {
            error = "--delay takes milliseconds from 0 to " + std::to_string(kMaxDelayMs) + ", not \"" +
                    *collect.delayMs + "\"";
            return std::nullopt;
        }
        // 若重复覆盖文件 is offered for the serialised kind only; a finished book present is never fetched again.
        if (collect.overwrite && collect.kind == "完本") {
            error = "--overwrite is for 连载中 only; a 完本 book present is never downloaded again";
            return std::nullopt;
        }
        options.collect = collect;
        options.updateCheck = false; // the main job without a desktop asks no update server
    }
    return options;
}

std::string_view UsageSynopsis() {
    return "usage: paveno [--library] [--run-dir DIR] [--connect-to HOST:PORT:ADDR:PORT]...\n"
           "       paveno --collect KIND[/CATEGORY] [--pages N] [--delay MS] [--overwrite]\n"
           "              [--new-only] [--connections N] [--run-dir DIR]\n"
           "              [--connect-to HOST:PORT:ADDR:PORT]...\n"
           "       paveno --scheduled [--run-dir DIR] [--connect-to HOST:PORT:ADDR:PORT]...\n"
           "       paveno --help | --version\n";
}

// Lines of at most 80 columns: the text is also the manual page.
std::string UsageText() {
    const std::string pages = std::to_string(kMaxPages);
    const std::string delay = std::to_string(kMaxDelayMs);
    return std::string(UsageSynopsis()) +
           "\n"
           "Collects the catalogue of a Chinese web novel site into a library and lets\n"
           "you browse it. Without --collect it opens its main window, which needs a\n"
           "desktop (X11 or Wayland).\n"
           "\n"
           "options:\n"
           "  --library                open the library window at start\n"
           "  --run-dir DIR            keep the library in DIR (default: beside the\n"
           "                           program, or $XDG_DATA_HOME/paveno when installed)\n"
           "  --connect-to HOST:PORT:ADDR:PORT\n"
           "                           connect to ADDR:PORT for the site's HOST:PORT, in\n"
           "                           curl's CONNECT_TO form (an empty HOST or PORT\n"
           "                           matches any); URLs and Host headers keep their\n"
           "                           hosts; repeatable\n"
           "  --collect KIND/CATEGORY  collect one category without a desktop, printing\n"
           "                           the reports and the summary; KIND is 完本 or\n"
           "                           连载中, for example 完本/玄幻小说\n"
           "  --collect KIND           every category of a kind (完本, 连载中) or of both\n"
           "                           (全部) in one run, one summary at the end\n"
           "  --new-only               end a category after the first list page without\n"
           "                           a new book (every one present or unchanged)\n"
           "  --scheduled              the daily refresh: --collect 全部 --overwrite\n"
           "                           --new-only, pages and delay from 小说/ini/设置.ini\n"
           "                           [定时] 页数 and 延时 (3 and 1000); a library that\n"
           "                           another run holds is waited for up to 10 minutes\n"
           "  --pages N                list pages to collect, 1 to " +
           pages +
           " (default 1)\n"
           "  --delay MS               response delay in ms, 0 to " +
           delay +
           " (default 1)\n"
           "  --overwrite              download the books already present again\n"
           "                           (若重复覆盖文件; 连载中 only), asking the site\n"
           "                           whether each archive changed since\n"
           "  --connections N          connections to the site, 1 to 8 (default 4, or\n"
           "                           小说/ini/设置.ini [采集] 连接数); the next books'\n"
           "                           files are fetched ahead over them; 1 fetches\n"
           "                           nothing ahead\n"
           "  --help, -h               print this text and end\n"
           "  --version                print the program's version and end\n"
           "\n"
           "environment:\n"
           "  PAVENO_CONNECT_TO        more --connect-to entries, separated by \",\",\n"
           "                           tried after those of the command line\n"
           "\n"
           "exit status:\n"
           "  0    an orderly end; with --collect, every book collected or present\n"
           "  1    a book failed, or the run could not start (site out of reach,\n"
           "       library locked or unwritable)\n"
           "  2    usage error: an unknown option, kind or category, a number out of\n"
           "       range, an unreadable --connect-to or PAVENO_CONNECT_TO, or no\n"
           "       desktop without --collect\n"
           "  255  a run-time error of the program ended it\n";
}

std::string ProgramVersion() {
    const auto data = format::ReadWindowData(WindowDataBlock());
    const format::WindowRecord* window = data.data ? data.data->Find(更新窗口::id) : nullptr;
    const int index = window ? window->FindControl(更新窗口::编辑框2) : -1;
    if (index < 0) return {};
    const format::ControlRecord& box = window->controls[static_cast<std::size_t>(index)];
    const format::KindLayout* layout = format::FindKindLayout(box.kindId);
    const auto block = layout ? format::ReadPropertyBlock(*layout, box.properties) : format::BlockResult{};
    return block.block ? GbkToUtf8Lossy(block.block->TextOf("content")) : std::string();
}

void EndRoutine() {
    // A transfer still on its way (the update check, a look-ahead) must not outlive the program it reports to.
    StopTransfersAndWait();
    State().ReleaseTexts();
}

std::optional<std::filesystem::path> ResolveRunDirectory(const ProgramOptions& options) {
    std::error_code ec;
    std::filesystem::path folder = options.runDirectory.empty() ? ChooseRunDirectory(ExecutableFolder())
                                                                : std::filesystem::absolute(options.runDirectory, ec);
    // Every path the handlers build starts with this folder: it must exist, or files would land in whatever
    // folder happened to be current. Those paths hold no "." or ".." parts, and a backslash in them is a separator,
    // so the folder is taken in its plain form, as the system resolves it.
    if (!ec) std::filesystem::create_directories(folder, ec);
    if (!ec) folder = std::filesystem::canonical(folder, ec);
    if (ec || !std::filesystem::is_directory(folder) || folder.string().find('\\') != std::string::npos) {
        std::fprintf(stderr, "paveno: cannot use %s as the library folder\n", folder.string().c_str());
        return std::nullopt;
    }
    return folder;
}

int StartFailure() {
    // A start that failed without a run-time error failed on its library folder.
    return forms::RuntimeErrorCount() > 0 ? -1 : 1;
}

bool StartProgram(const ProgramOptions& options) {
    MutableOptions() = options;
    ResetState();
    const auto folder = ResolveRunDirectory(options);
    if (!folder) return false;
    forms::RuntimeOptions runtime;
    runtime.runDirectory = *folder;
    // A collection without a desktop prints what it has to say: its windows would only cost it their painting.
    runtime.offScreen = options.collect.has_value();
    if (!forms::InitRuntime(Program(), runtime)) return false;
    forms::RegisterEndRoutine(EndRoutine);
    // A transfer never holds the windows: they repaint, move and take a stop while it runs.
    RunTransfersOffTheWindowThread();
    // A link written to a viewer that nothing can open is told, as any other target of the shell.
    forms::HtmlViewer::SetOpener(OpenWebPage);
    return forms::LoadStartWindow(options.openLibrary ? 书库窗口::id : 主窗口::id);
}

int RunProgram(const ProgramOptions& options) {
    // The menu entry has no terminal: a mapping of the environment that cannot be read is told in a box, rather
    // than the program going to the built-in hosts as if it had none.
    if (const auto entry = UnreadableConnectToInEnvironment()) {
        MessageBox(JoinTexts(Gbk("PAVENO_CONNECT_TO 无法识别："), Utf8ToGbkLossy(*entry)), forms::kBoxOk);
        return 2;
    }
    if (!StartProgram(options)) return StartFailure();
    forms::RunMessageLoop();
    return forms::RuntimeErrorCount() > 0 ? -1 : 0;
}

} // namespace paveno::app
