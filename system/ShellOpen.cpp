// SPDX-License-Identifier: MIT
// Opening files, folders and links with what the desktop associates with them, and telling the user when nothing
// could.
#include "system/ShellOpen.h"

#include "forms/Control.h"
#include "services/Gbk.h"
#include "services/NativePath.h"
#include "services/RunDirectory.h"
#include "services/TextOps.h"
#include "system/SystemOps.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <optional>

namespace paveno {

namespace {

// How long an opener may run before it counts as having opened the target.
constexpr int kOpenerVerdictMs = 3000;

bool IsLink(const Text& target) {
    return FindText(target, "://") >= 0;
}

bool RunOpener(const QString& program, const QString& target, const DesktopShell::ArmVerdict& armVerdict) {
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments({target});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    // What the opener starts (a viewer, the downloaded updater) begins in the library's folder, wherever the program
    // itself was started.
    if (const auto folder = NativePath(GetRunDirectory()))
        process->setWorkingDirectory(QString::fromStdString(*folder));
    QEventLoop loop;
    QObject::connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    process->start();
    // Windows stay responsive while the opener decides, as in any other wait of the program.
    if (process->state() != QProcess::NotRunning) {
        armVerdict(loop);
        loop.exec();
    }
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

void DesktopShell::AfterThreeSeconds(QEventLoop& wait) {
    QTimer::singleShot(kOpenerVerdictMs, &wait, &QEventLoop::quit);
}

bool DesktopShell::Open(const Text& target) {
    if (target.empty()) return false;
    QUrl url;
    QString argument;
    if (IsLink(target)) {
        argument = forms::ToQt(target);
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
    return opener.isEmpty() ? QDesktopServices::openUrl(url) : RunOpener(opener, argument, armVerdict_);
}

forms::ShellSeam& Shell() {
    static DesktopShell desktop;
    forms::ShellSeam* set = forms::CurrentSeams().shell;
    return set ? *set : desktop;
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
    if (QGuiApplication::clipboard()) QGuiApplication::clipboard()->setText(forms::ToQt(link));
    MessageBox(JoinTexts(Gbk("无法打开链接，已复制到剪贴板：\r\n"), link), forms::kBoxOk | forms::kBoxIconWarning);
}

void TellFileNotOpened(const Text& target) {
    const auto path = LocalPath(target);
    std::error_code ec;
    const bool present = path && std::filesystem::exists(*path, ec);
    Text text = JoinTexts(Gbk(present ? "无法打开文件：\r\n" : "找不到文件：\r\n"), path ? Shown(*path) : target);
    const auto folder = path ? std::optional(path->parent_path()) : std::nullopt;
    if (!folder || !std::filesystem::is_directory(*folder, ec)) {
        MessageBox(text, forms::kBoxOk | forms::kBoxIconWarning);
        return;
    }
    text = JoinTexts(text, Gbk("\r\n是否打开所在的文件夹？"));
    if (MessageBox(text, forms::kBoxYesNo | forms::kBoxIconWarning) != forms::kAnswerYes) return;
    if (!Shell().Open(Shown(*folder))) {
        MessageBox(JoinTexts(Gbk("无法打开文件夹：\r\n"), Shown(*folder)), forms::kBoxOk | forms::kBoxIconWarning);
    }
}

} // namespace

bool OpenWebPage(const Text& target) {
    if (Shell().Open(target)) return true;
    if (target.empty()) return false;
    if (IsLink(target)) {
        TellLinkNotOpened(target);
    } else {
        TellFileNotOpened(target);
    }
    return false;
}

} // namespace paveno
