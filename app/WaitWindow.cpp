// SPDX-License-Identifier: MIT
// The wait window: the running report above a 停止 button, which stops the run as closing the window does.
//
// Each control's event and its handler, as the window data (forms/windowdata/windows.json) names them:
//   window, 尺寸被改变      -> 等待窗口_尺寸被改变: the report and the button are laid out again
//   window, 将被销毁        -> 等待窗口_将被销毁: nothing (a run watches the close request instead)
//   停止按钮 停止, 被单击   -> 等待窗口_停止按钮_被单击: closes the window, which stops the run
// Escape does what 停止 does (set by PrepareWaitWindow).
#include "app/WaitWindow.h"

#include "AppWindows.h"
#include "app/Properties.h"
#include "app/WindowKeys.h"
#include "forms/Engine.h"

#include <QWidget>

#include <algorithm>

namespace paveno::app {
namespace {

constexpr std::int32_t kMargin = 4; // around the button

} // namespace

void PrepareWaitWindow() {
    WriteLogical(等待窗口::id, 等待窗口::编辑框1, forms::RichEdit::kReadOnly, true);
    OnEscape(等待窗口::id, CloseWaitWindow);
}

// The close goes through the window's own close request, which a running collection turns into its stop.
void CloseWaitWindow() {
    if (forms::Control* frame = forms::FindLiveControl(等待窗口::id, 0); frame && frame->widget())
        frame->widget()->close();
}

// The report fills the window above the button, which stays centred under it. The window's width and height
// (properties 2 and 3) are its outer size; the controls are placed in what lies inside its frame.
void 等待窗口_尺寸被改变() {
    const forms::Control* frame = forms::FindLiveControl(等待窗口::id, 0);
    if (!frame || !frame->widget()) return;
    const QSize inside = frame->widget()->contentsRect().size();
    const std::int32_t buttonWidth = ReadInteger(等待窗口::id, 等待窗口::停止按钮, forms::kWidth);
    const std::int32_t buttonHeight = ReadInteger(等待窗口::id, 等待窗口::停止按钮, forms::kHeight);
    const std::int32_t reportHeight = std::max(inside.height() - buttonHeight - 2 * kMargin, 0);
    WriteInteger(等待窗口::id, 等待窗口::编辑框1, forms::kHeight, reportHeight);
    WriteInteger(等待窗口::id, 等待窗口::编辑框1, forms::kWidth, inside.width());
    WriteInteger(等待窗口::id, 等待窗口::停止按钮, forms::kLeft, std::max((inside.width() - buttonWidth) / 2, 0));
    WriteInteger(等待窗口::id, 等待窗口::停止按钮, forms::kTop, reportHeight + kMargin);
}

void 等待窗口_停止按钮_被单击() {
    CloseWaitWindow();
}

void 等待窗口_将被销毁() {}

} // namespace paveno::app
