// SPDX-License-Identifier: MIT
// snapshot-windows OUTDIR [RUNDIR] [--dark] [--scale F] [--connect-to HOST:PORT:ADDR:PORT]...: loads each of the
// program's five windows and saves one PNG per window, as the window would look on screen (hidden windows are drawn
// all the same), and one of the box that says an archive could not be opened. The library window shows the first book
// of its category, chosen. --dark draws them on a dark desktop (Fusion, dark palette) and --scale on a screen scaled by
// F (2 for 200%); either adds "-dark" and "-200" (F times 100) to the files' names. Runs on the offscreen platform when
// there is no display. The windows' own handlers run as they do in the program: the update window shows what the update
// server answered (point it at the demo site with --connect-to). Given a connection mapping, it also collects a page of
// the demo site's first category into a fresh library and saves the wait window while an archive comes in, its title
// strip drawn here (a grab holds no title bar); a site started with --rate-kbps 200 sends archives slowly enough to
// catch one.
#include "AppWindows.h"
#include "app/Program.h"
#include "app/Properties.h"
#include "app/UserActions.h"
#include "forms/Engine.h"
#include "services/ConnectTo.h"
#include "services/Gbk.h"
#include "system/SystemOps.h"
#include "tools/snapshot/DarkPalette.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTemporaryDir>
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
    paveno::OpenWebPage(paveno::Utf8ToGbkLossy(archive.string()));
    paveno::forms::SetSeams({});
    return saved;
}

// The window's content under a plain strip that carries its title, where a title bar would be.
QPixmap WithTitleStrip(QWidget* window) {
    const QPixmap content = window->grab();
    const QSize size = content.deviceIndependentSize().toSize();
    const int strip = window->fontMetrics().height() + 10;
    QPixmap picture(QSize(size.width(), size.height() + strip) * content.devicePixelRatio());
    picture.setDevicePixelRatio(content.devicePixelRatio());
    picture.fill(QColor(0xdd, 0xdd, 0xdd));
    QPainter painter(&picture);
    painter.drawPixmap(0, strip, content);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 0, size.width() - 16, strip), Qt::AlignLeft | Qt::AlignVCenter, window->windowTitle());
    return picture;
}

// A run of one list page of the first finished category, as a user starts it in the main window. Once the title shows
// the bytes of the second archive coming in, the wait window is saved and closed, which stops the run; its summary is
// answered Cancel. The library is a fresh one, so that no archive counts as present and goes unfetched.
bool SaveWaitWindowDuringCollection(W::ProgramOptions options, const QString& path) {
    const QTemporaryDir library;
    options.runDirectory = std::filesystem::u8path(library.path().toStdString());
    if (!library.isValid() || !W::StartProgram(options)) return false;
    paveno::forms::ScriptedMessageBox summary;
    summary.answers = {paveno::forms::kAnswerCancel};
    paveno::forms::RecordingShell shell;
    paveno::forms::RecordingEnd end;
    paveno::forms::SetSeams({&summary, &shell, &end});

    namespace M = W::主窗口;
    W::WriteText(M::id, M::编辑框2, paveno::forms::EditBox::kContent, "0");
    W::ClickControl(M::id, M::按钮3);
    W::ClickControl(M::id, M::单选框1);
    W::PickItem(M::id, M::完本类, 0);
    W::WriteText(M::id, M::编辑框1, paveno::forms::EditBox::kContent, "1");

    // From the second book on, the window also shows the report of the book before.
    static const QRegularExpression comingIn(QString::fromUtf8("第(\\d+)/\\d+本 \\d+(\\.\\d+)?[KM]B$"));
    bool saved = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        paveno::forms::Control* frame = paveno::forms::FindLiveControl(W::等待窗口::id, 0);
        if (!frame || !frame->widget()) return;
        const auto match = comingIn.match(frame->widget()->windowTitle());
        if (!match.hasMatch() || match.captured(1).toInt() < 2) return;
        user.stop();
        saved = WithTitleStrip(frame->widget()).save(path);
        frame->widget()->close();
    });
    user.start(10);
    W::ClickControl(M::id, M::按钮2); // returns once the summary is answered
    W::ProcessPendingEvents();
    paveno::forms::SetSeams({});
    return saved;
}

// The first book of the library window's category, chosen as a user clicks it: its introduction and cover show.
void ChooseFirstBook() {
    paveno::forms::Control* files = paveno::forms::FindLiveControl(W::书库窗口::id, W::书库窗口::文件框1);
    auto* list = files ? qobject_cast<QListWidget*>(files->widget()) : nullptr;
    if (list && list->count() > 0) list->setCurrentRow(0);
}

// "main-window.png" with the desktop's marks: "main-window-dark-200.png".
std::string Named(const std::string& file, const std::string& marks) {
    const std::size_t dot = file.rfind('.');
    return file.substr(0, dot) + marks + file.substr(dot);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    bool dark = false;
    std::string scale;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--connect-to")
            ++i;
        else if (arg == "--dark")
            dark = true;
        else if (arg == "--scale" && i + 1 < argc)
            scale = argv[++i];
        else if (arg.rfind("--connect-to=", 0) != 0)
            positional.push_back(arg);
    }
    const double factor = scale.empty() ? 1 : std::atof(scale.c_str());
    if (positional.empty() || positional.size() > 2 || factor < 1 || factor > 4) {
        std::fprintf(stderr, "usage: snapshot-windows OUTDIR [RUNDIR] [--dark] [--scale 1..4] "
                             "[--connect-to HOST:PORT:ADDR:PORT]...\n");
        return 2;
    }
    std::string marks = dark ? "-dark" : "";
    if (factor != 1) {
        setenv("QT_SCALE_FACTOR", scale.c_str(), 1);
        marks += "-" + std::to_string(static_cast<int>(factor * 100 + 0.5));
    }
    paveno::SetConnectTo(paveno::ConnectToFromArguments(argc, argv));
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    if (dark) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(paveno::DarkPalette());
    }
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
        if (w.id == W::书库窗口::id) ChooseFirstBook();
        paveno::forms::Control* frame = paveno::forms::FindLiveControl(w.id, 0);
        const QString path = QString::fromStdString((out / Named(w.file, marks)).string());
        if (!frame || !frame->widget() || !frame->widget()->grab().save(path)) {
            std::fprintf(stderr, "snapshot-windows: could not save %s\n", w.file);
            ++failures;
            continue;
        }
        std::printf("%s\n", path.toUtf8().constData());
        paveno::app::ProcessPendingEvents();
    }
    const QString box = QString::fromStdString((out / Named("open-failure-box.png", marks)).string());
    if (SaveOpenFailureBox(run, box)) {
        std::printf("%s\n", box.toUtf8().constData());
    } else {
        std::fprintf(stderr, "snapshot-windows: could not save open-failure-box.png\n");
        ++failures;
    }
    if (!paveno::ActiveConnectTo().empty()) {
        const QString wait = QString::fromStdString((out / Named("wait-window-progress.png", marks)).string());
        if (SaveWaitWindowDuringCollection(options, wait)) {
            std::printf("%s\n", wait.toUtf8().constData());
        } else {
            std::fprintf(stderr, "snapshot-windows: could not save wait-window-progress.png (no archive was seen "
                                 "coming in: is the site started with --rate-kbps 200?)\n");
            ++failures;
        }
    }
    std::fflush(stdout);
    std::_Exit(failures ? 1 : 0); // leave without the windows' closing handlers
}
