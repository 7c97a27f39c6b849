// SPDX-License-Identifier: MIT
// The version check at start, the updater download, and the two contact links.
#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/Collector.h"
#include "app/Properties.h"
#include "app/WindowClose.h"
#include "forms/Engine.h"
#include "services/Files.h"
#include "services/Gbk.h"
#include "services/Http.h"
#include "system/SystemOps.h"

#include <algorithm>
#include <chrono>

namespace paveno::app {
namespace {

Text UpdateServer(std::string_view path) {
    return JoinTexts(Text("http://"), build::kUpdateHost, path);
}

// The update server is asked at every start, before the user can act: a server that takes no connection may hold
// the start 5 s, any other 15 s in all. Lower limits set by the caller stay in force.
constexpr std::chrono::milliseconds kCheckConnectLimit{5'000};
constexpr std::chrono::milliseconds kCheckTotalLimit{15'000};

// The limits hold for these fetches alone: a collection started meanwhile keeps the program's own.
ByteSet AskUpdateServer(std::string_view path) {
    HttpSettings limited = GetHttpSettings();
    limited.connectTimeout = std::min(limited.connectTimeout, kCheckConnectLimit);
    limited.totalTime = std::min(limited.totalTime, kCheckTotalLimit);
    FetchControl control;
    control.limits = &limited;
    return HttpFetch(UpdateServer(path), control).body;
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

void 更新窗口_创建完毕() {
    const Text answer = ToText(AskUpdateServer("/pavenobk/banben"));
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
    // While the answer came, the user may have started a collection: the offer waits for the next start then.
    if (own - newest < -0.0000001 && !CollectionRunning()) {
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
    if (MessageBox(Gbk("更新文件不知道怎么回事一直误报，放心绝对没有毒，如果更新请确认！！"), kMessageOkCancel) !=
        kResultOk) {
        CloseUpdateWindow();
        return;
    }
    const Text target = JoinTexts(GetRunDirectory(), Gbk("\\Paveno-更新.exe"));
    const Text address = ToText(AskUpdateServer("/pavenobk/gengxincx"));
    const ByteSet updater = HttpReadFile(address);
    // An empty download is no updater: writing and starting it would replace a good file by nothing and end the
    // program for no update at all.
    if (updater.empty()) {
        MessageBox(Gbk("更新文件下载失败，请稍后再试。"), kMessageOkInformation);
        CloseUpdateWindow();
        return;
    }
    if (!WriteFileBytes(target, {updater})) {
        MessageBox(Gbk("更新文件无法保存，请稍后再试。"), kMessageOkInformation);
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

void 主窗口_超级按钮1_被单击() {
    WriteText(主窗口::id, 主窗口::超文本浏览框1, forms::HtmlViewer::kUrl,
              JoinTexts(Text("http://shang.qq.com/wpa/qunwpa?idkey="), build::kQqGroupKey));
    WriteLogical(主窗口::id, 主窗口::超级按钮1, forms::kVisible, false);
}

void 主窗口_超级按钮2_被单击() {
    WriteText(主窗口::id, 主窗口::超文本浏览框2, forms::HtmlViewer::kUrl,
              JoinTexts(Text("http://wpa.qq.com/msgrd?v=3&uin="), build::kQqNumber, "&site=qq&menu=yes"));
    WriteLogical(主窗口::id, 主窗口::超级按钮2, forms::kVisible, false);
}

} // namespace paveno::app
