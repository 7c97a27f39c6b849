// SPDX-License-Identifier: MIT
// snapshot-windows OUTDIR [RUNDIR] [--connect-to HOST:PORT:ADDR:PORT]...: loads each of the program's five windows and
// saves one PNG per window, as the window would look on screen (hidden windows are drawn all the same), and one of
// the box that says an archive could not be opened. Runs on the offscreen platform when there is no display. The
// windows' own handlers run as they do in the program: the update window shows what the update server answered
// (point it at the demo site with --connect-to).
#include "AppWindows.h"
#include "app/Program.h"
#include "app/UserActions.h"
#include "forms/Engine.h"
#include "services/ConnectTo.h"
#include "services/Gbk.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace W = paveno::app;

namespace {

// The box a user sees who double-clicks an archive with no program for it; answered No once it has been saved.
bool SaveOpenFailureBox(const std::filesystem::path& run, const QString& path) {
    paveno::forms::RecordingShell noProgram;
    noProgram.result = false;
    paveno::forms::SetSeams({nullptr, &noProgram, nullptr});
    const std::filesystem::path archive = run / "小说" / "完本" / "玄幻小说" / "斗破苍穹.rar";
    std::filesystem::create_directories(archive.parent_path());
    std::ofstream(archive) << "Rar!";
    bool saved = false;
    QTimer::singleShot(300, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        saved = box->grab().save(path);
        box->button(QMessageBox::No)->click();
    });
    paveno::forms::OpenWithShell(paveno::Utf8ToGbkLossy(archive.string()));
    paveno::forms::SetSeams({});
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--connect-to")
            ++i;
        else if (arg.rfind("--connect-to=", 0) != 0)
            positional.push_back(arg);
    }
    if (positional.empty() || positional.size() > 2) {
        std::fprintf(stderr, "usage: snapshot-windows OUTDIR [RUNDIR] [--connect-to HOST:PORT:ADDR:PORT]...\n");
        return 2;
    }
    paveno::SetConnectTo(paveno::ConnectToFromArguments(argc, argv));
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    paveno::forms::LoadChineseQtTexts(); // as the program does
    const std::filesystem::path out = std::filesystem::absolute(std::filesystem::u8path(positional[0]));
    std::filesystem::create_directories(out);
    const std::filesystem::path run = positional.size() == 2
                                          ? std::filesystem::absolute(std::filesystem::u8path(positional[1]))
                                          : std::filesystem::temp_directory_path() / "paveno-snapshot";
    std::filesystem::create_directories(run);

    W::ProgramOptions options;
    options.runDirectory = run;
    options.updateCheck = false;
    if (!W::StartProgram(options)) return 1;

    const struct {
        std::uint32_t id;
        const char* file;
    } windows[] = {{W::主窗口::id, "main-window.png"},
                   {W::标记窗口::id, "marker-window.png"},
                   {W::等待窗口::id, "wait-window.png"},
                   {W::更新窗口::id, "update-window.png"},
                   {W::书库窗口::id, "library-window.png"}};
    int failures = 0;
    for (const auto& w : windows) {
        // Grabbed before pending events run: the update window closes itself once its check found nothing newer.
        if (!paveno::forms::IsWindowLoaded(w.id)) paveno::forms::LoadWindow(w.id);
        paveno::forms::Control* frame = paveno::forms::FindLiveControl(w.id, 0);
        const QString path = QString::fromStdString((out / w.file).string());
        if (!frame || !frame->widget() || !frame->widget()->grab().save(path)) {
            std::fprintf(stderr, "snapshot-windows: could not save %s\n", w.file);
            ++failures;
            continue;
        }
        std::printf("%s\n", path.toUtf8().constData());
        paveno::app::ProcessPendingEvents();
    }
    const QString box = QString::fromStdString((out / "open-failure-box.png").string());
    if (SaveOpenFailureBox(run, box)) {
        std::printf("%s\n", box.toUtf8().constData());
    } else {
        std::fprintf(stderr, "snapshot-windows: could not save open-failure-box.png\n");
        ++failures;
    }
    std::fflush(stdout);
    std::_Exit(failures ? 1 : 0); // leave without the windows' closing handlers
}
