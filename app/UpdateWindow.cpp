// SPDX-License-Identifier: MIT
// The update window: the version check at start (the window is loaded hidden and asks the server as it is created),
// and the updater download when the user accepts.
//
// Each control's event and its handler, as the window data (forms/windowdata/windows.json) names them:
//   window, 创建完毕                         -> 更新窗口_创建完毕: asks the server, shows the offer or closes
//   按钮1 已有最新版本，是否更新, 被单击     -> 更新窗口_按钮1_被单击: the updater is fetched, checked and started
//   按钮2 退出, 被单击                       -> 更新窗口_按钮2_被单击: closes, the main window comes back
// The title bar's close does what 退出 does (set when the offer shows).
#include "app/UpdateWindow.h"

#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/Properties.h"
#include "app/WindowClose.h"
#include "forms/Engine.h"
#include "services/Gbk.h"
#include "services/Http.h"
#include "services/RunDirectory.h"
#include "services/Signature.h"
#include "services/WholeFile.h"
#include "system/SystemOps.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <optional>

namespace paveno::app {
namespace {

Text UpdateServer(std::string_view path) {
    return JoinTexts(Text("http://"), build::kUpdateHost, path);
}

// The update server is asked at every start, while the user may already work in the main window: a server that takes
// no connection is given up after 5 s, any other after 15 s in all. Lower limits set by the caller stay in force.
constexpr std::chrono::milliseconds kCheckConnectLimit{5'000};
constexpr std::chrono::milliseconds kCheckTotalLimit{15'000};

// The limits hold for these fetches alone: a collection started meanwhile keeps the program's own.
Fetched AskUpdateServer(std::string_view path) {
    HttpSettings limited = GetHttpSettings();
    limited.connectTimeout = std::min(limited.connectTimeout, kCheckConnectLimit);
    limited.totalTime = std::min(limited.totalTime, kCheckTotalLimit);
    FetchControl control;
    control.limits = &limited;
    return HttpFetch(UpdateServer(path), control);
}

std::string& UpdateKeyHex() {
    static std::string key = build::kUpdateKey;
    return key;
}

// The updater and what may vouch for it: only a download that came whole with a success status counts.
std::optional<ByteSet> GoodDownload(const Text& url) {
    Fetched fetched = HttpFetch(url);
    if (!fetched.outcome.Good() || fetched.body.empty()) return std::nullopt;
    return std::move(fetched.body);
}

// With a key built in, an updater runs only when its detached signature, beside it at its address + ".sig", is the
// key's over its very bytes: whoever can touch a plain-HTTP connection must not be able to run code as the user.
bool UpdaterVouchedFor(const Text& address, const ByteSet& updater) {
    if (UpdateKeyHex().empty()) return true;
    const auto key = KeyFromHex(UpdateKeyHex());
    const auto signature = GoodDownload(JoinTexts(address, ".sig"));
    return key && signature && SignatureVerifies(*key, updater, *signature);
}

void ShowMainWindowAgain() {
    if (forms::IsWindowLoaded(主窗口::id)) WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, true);
}

// A program whose only window is hidden cannot be used or closed: whenever the update window goes away, the main
// window comes back.
void CloseUpdateWindow() {
    CloseWindow(更新窗口::id);
    ShowMainWindowAgain();
}

} // namespace

void SetUpdateKey(std::string hex) {
    UpdateKeyHex() = std::move(hex);
}

// Loaded once the main window is on screen, so that a slow update server never holds the start.
void CheckForUpdateOnceShown() {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (forms::IsWindowLoaded(主窗口::id)) LoadWindow(更新窗口::id);
        },
        Qt::QueuedConnection);
}

void 更新窗口_创建完毕() {
    // The two versions are for reading: the program compares them, nobody types them.
    for (const std::uint32_t field : {更新窗口::编辑框2, 更新窗口::编辑框3})
        WriteLogical(更新窗口::id, field, forms::EditBox::kReadOnly, true);
    const Fetched asked = AskUpdateServer("/pavenobk/banben");
    // An error page is no version, however it begins.
    const Text answer = asked.outcome.Good() ? ToText(asked.body) : Text();
    // The windows went on while the server was asked: the program may be ending, or a collection may have run and
    // closed the main window. Then there is nobody to offer the update to.
    if (!forms::IsWindowLoaded(更新窗口::id)) return;
    if (!forms::IsWindowLoaded(主窗口::id)) {
        CloseWindow(更新窗口::id);
        return;
    }
    WriteText(更新窗口::id, 更新窗口::编辑框3, forms::EditBox::kContent, answer);
    const double own = ToNumber(ReadText(更新窗口::id, 更新窗口::编辑框2, forms::EditBox::kContent));
    const double newest = ToNumber(ReadText(更新窗口::id, 更新窗口::编辑框3, forms::EditBox::kContent));
    // While the answer came, the user may have started a collection, running or done: the offer waits for the next
    // start then, rather than hiding the windows the user is working in.
    if (own - newest < -0.0000001 && !CollectionRunning() && !State().collectionStarted) {
        WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, false);
        WriteLogical(更新窗口::id, 更新窗口::self, forms::kVisible, true);
        // The title bar's close does what 退出 does.
        WatchClose(更新窗口::id, [] {
            ShowMainWindowAgain();
            return true;
        });
    } else {
        CloseWindow(更新窗口::id);
    }
}

void 更新窗口_按钮1_被单击() {
    WriteLogical(更新窗口::id, 更新窗口::self, forms::kVisible, false);
    if (MessageBox(Gbk("更新文件不知道怎么回事一直误报，放心绝对没有毒，如果更新请确认！！"), forms::kBoxOkCancel) !=
        forms::kAnswerOk) {
        CloseUpdateWindow();
        return;
    }
    const Text target = JoinTexts(GetRunDirectory(), Gbk("\\Paveno-更新.exe"));
    const Fetched addressAnswer = AskUpdateServer("/pavenobk/gengxincx");
    Text address = addressAnswer.outcome.Good() ? ToText(addressAnswer.body) : Text();
    // A line break after the address (as a text file on the server ends) is no part of it, nor of the ".sig" beside.
    while (!address.empty() && static_cast<unsigned char>(address.back()) <= 0x20)
        address.pop_back();
    // An error page or a cut transfer is no updater: writing and starting it would replace a good file by a wrong
    // one and end the program for no update at all.
    const auto updater = address.empty() ? std::nullopt : GoodDownload(address);
    if (!updater) {
        MessageBox(Gbk("更新文件下载失败，请稍后再试。"), forms::kBoxOk | forms::kBoxIconInformation);
        CloseUpdateWindow();
        return;
    }
    if (!UpdaterVouchedFor(address, *updater)) {
        MessageBox(Gbk("更新文件校验失败"), forms::kBoxOk | forms::kBoxIconInformation);
        CloseUpdateWindow();
        return;
    }
    // Through a temporary file renamed over the name: a link placed there is replaced, never written through.
    if (WriteFileWhole(target, *updater) != 0) {
        MessageBox(Gbk("更新文件无法保存，请稍后再试。"), forms::kBoxOk | forms::kBoxIconInformation);
        CloseUpdateWindow();
        return;
    }
    // An updater the desktop cannot start ends nothing: the user has been told where it lies.
    if (!OpenWebPage(target)) {
        CloseUpdateWindow();
        return;
    }
    forms::EndProgram(0);
}

void 更新窗口_按钮2_被单击() {
    CloseUpdateWindow();
}

} // namespace paveno::app
