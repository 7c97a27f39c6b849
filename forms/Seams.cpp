// SPDX-License-Identifier: MIT
#include "forms/Seams.h"

#include "forms/Control.h"
#include "services/Gbk.h"
#include "services/NativePath.h"
#include "services/TextOps.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace paveno::forms {

Text DefaultBoxCaption() {
    static const Text caption = Gbk("信息：");
    return caption;
}

int DefaultAnswer(std::uint32_t style) {
    static const int kButtons[][3] = {
        {kAnswerOk, kAnswerOk, kAnswerOk},           {kAnswerOk, kAnswerCancel, kAnswerCancel},
        {kAnswerAbort, kAnswerRetry, kAnswerIgnore}, {kAnswerYes, kAnswerNo, kAnswerCancel},
        {kAnswerYes, kAnswerNo, kAnswerNo},          {kAnswerRetry, kAnswerCancel, kAnswerCancel},
    };
    std::uint32_t buttons = style & kBoxButtonsMask;
    if (buttons > 5) buttons = 0;
    std::uint32_t which = (style & kBoxDefaultMask) >> 8;
    return kButtons[buttons][which > 2 ? 0 : which];
}

int QtMessageBox::Show(const Text& text, const Text& caption, std::uint32_t style) {
    struct Button {
        QMessageBox::StandardButton qt;
        int answer;
    };
    static const std::vector<Button> kSets[] = {
        {{QMessageBox::Ok, kAnswerOk}},
        {{QMessageBox::Ok, kAnswerOk}, {QMessageBox::Cancel, kAnswerCancel}},
        {{QMessageBox::Abort, kAnswerAbort}, {QMessageBox::Retry, kAnswerRetry}, {QMessageBox::Ignore, kAnswerIgnore}},
        {{QMessageBox::Yes, kAnswerYes}, {QMessageBox::No, kAnswerNo}, {QMessageBox::Cancel, kAnswerCancel}},
        {{QMessageBox::Yes, kAnswerYes}, {QMessageBox::No, kAnswerNo}},
        {{QMessageBox::Retry, kAnswerRetry}, {QMessageBox::Cancel, kAnswerCancel}},
    };
    std::uint32_t set = style & kBoxButtonsMask;
    if (set > 5) set = 0;
    QMessageBox box;
    box.setWindowTitle(ToQt(caption.empty() ? DefaultBoxCaption() : caption));
    box.setText(ToQt(text));
    // Task-modal: the box blocks every window of the program until it is answered.
    box.setWindowModality(Qt::ApplicationModal);
    switch (style & kBoxIconMask) {
    case kBoxIconError:
        box.setIcon(QMessageBox::Critical);
        break;
    case kBoxIconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case kBoxIconWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case kBoxIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons;
    for (const auto& b : kSets[set])
        buttons |= b.qt;
    box.setStandardButtons(buttons);
    std::size_t def = (style & kBoxDefaultMask) >> 8;
    if (def >= kSets[set].size()) def = 0;
    box.setDefaultButton(kSets[set][def].qt);
    // Escape (or closing the box) answers Cancel where there is one, else the only button.
    int result = box.exec();
    for (const auto& b : kSets[set]) {
        if (b.qt == result) return b.answer;
    }
    for (const auto& b : kSets[set]) {
        if (b.answer == kAnswerCancel) return kAnswerCancel;
    }
    return set == 0 ? kAnswerOk : DefaultAnswer(style);
}

namespace {

// How long an opener may run before it counts as having opened the target: xdg-open ends at once when a desktop
// took the target over, and with a non-zero status when nothing could open it; one that is still running shows the
// target itself (a viewer run in the foreground).
constexpr int kOpenerVerdictMs = 3000;

bool IsLink(const Text& target) {
    return FindText(target, "://") >= 0;
}

bool RunOpener(const QString& program, const QString& target) {
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments({target});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QEventLoop loop;
    QObject::connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(kOpenerVerdictMs, &loop, &QEventLoop::quit);
    process->start();
    // Windows stay responsive while the opener decides, as in any other wait of the program.
    if (process->state() != QProcess::NotRunning) loop.exec();
    if (process->state() != QProcess::NotRunning) {
        // Still running: it is showing the target. It goes when it ends, not when we stop waiting.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return true;
    }
    const bool opened = process->error() == QProcess::UnknownError && process->exitStatus() == QProcess::NormalExit &&
                        process->exitCode() == 0;
    process->deleteLater();
    return opened;
}

} // namespace

bool DesktopShell::Open(const Text& target) {
    if (target.empty()) return false;
    QUrl url;
    QString argument;
    if (IsLink(target)) {
        argument = ToQt(target);
        url = QUrl(argument);
    } else {
        const auto native = NativePath(target);
        if (!native) return false;
        argument = QFileInfo(QString::fromStdString(*native)).absoluteFilePath();
        if (!QFileInfo::exists(argument)) return false;
        url = QUrl::fromLocalFile(argument);
    }
    // Qt's own opener starts xdg-open and reports success whatever it then finds; asking xdg-open itself tells
    // whether anything could open the target.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    return opener.isEmpty() ? QDesktopServices::openUrl(url) : RunOpener(opener, argument);
}

namespace {

// The path as the user knows it on this system: slashes, absolute.
std::optional<std::filesystem::path> LocalPath(const Text& target) {
    const auto native = NativePath(target);
    if (!native) return std::nullopt;
    std::error_code ec;
    auto path = std::filesystem::absolute(std::filesystem::path(*native), ec);
    if (ec) return std::nullopt;
    return path.lexically_normal();
}

Text Shown(const std::filesystem::path& path) {
    return Utf8ToGbkLossy(path.string()); // Linux paths are UTF-8 bytes
}

void TellLinkNotOpened(const Text& link) {
    if (QGuiApplication::clipboard()) QGuiApplication::clipboard()->setText(ToQt(link));
    CurrentSeams().messageBox->Show(JoinTexts(Gbk("无法打开链接，已复制到剪贴板：\r\n"), link), Text(),
                                    kBoxOk | kBoxIconWarning);
}

void TellFileNotOpened(const Text& target) {
    MessageBoxSeam& box = *CurrentSeams().messageBox;
    const auto path = LocalPath(target);
    std::error_code ec;
    const bool present = path && std::filesystem::exists(*path, ec);
    Text text = JoinTexts(Gbk(present ? "无法打开文件：\r\n" : "找不到文件：\r\n"), path ? Shown(*path) : target);
    const auto folder = path ? std::optional(path->parent_path()) : std::nullopt;
    if (!folder || !std::filesystem::is_directory(*folder, ec)) {
        box.Show(text, Text(), kBoxOk | kBoxIconWarning);
        return;
    }
    text = JoinTexts(text, Gbk("\r\n是否打开所在的文件夹？"));
    if (box.Show(text, Text(), kBoxYesNo | kBoxIconWarning) != kAnswerYes) return;
    if (!CurrentSeams().shell->Open(Shown(*folder))) {
        box.Show(JoinTexts(Gbk("无法打开文件夹：\r\n"), Shown(*folder)), Text(), kBoxOk | kBoxIconWarning);
    }
}

} // namespace

bool OpenWithShell(const Text& target) {
    if (CurrentSeams().shell->Open(target)) return true;
    if (target.empty()) return false;
    if (IsLink(target)) {
        TellLinkNotOpened(target);
    } else {
        TellFileNotOpened(target);
    }
    return false;
}

bool LoadChineseQtTexts() {
    static QTranslator* translator = nullptr;
    if (translator) return true;
    auto* candidate = new QTranslator(QCoreApplication::instance());
    if (!candidate->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete candidate;
        return false;
    }
    QCoreApplication::installTranslator(candidate);
    translator = candidate;
    return true;
}

void ProcessEnd::End(int code) {
    std::fflush(nullptr);
    std::exit(code);
}

int ScriptedMessageBox::Show(const Text& text, const Text& caption, std::uint32_t style) {
    shown.push_back({text, caption.empty() ? DefaultBoxCaption() : caption, style});
    if (whileShown) whileShown();
    if (answers.empty()) return DefaultAnswer(style);
    int a = answers.front();
    answers.pop_front();
    return a;
}

namespace {
QtMessageBox gQtBox;
DesktopShell gShell;
ProcessEnd gEnd;
Seams gSeams{&gQtBox, &gShell, &gEnd};
} // namespace

Seams& CurrentSeams() {
    return gSeams;
}

void SetSeams(const Seams& seams) {
    gSeams.messageBox = seams.messageBox ? seams.messageBox : &gQtBox;
    gSeams.shell = seams.shell ? seams.shell : &gShell;
    gSeams.programEnd = seams.programEnd ? seams.programEnd : &gEnd;
}

} // namespace paveno::forms
