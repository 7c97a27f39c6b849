// SPDX-License-Identifier: MIT
// Loading and closing windows, and the keyboard focus.
#include "system/SystemOps.h"

#include "forms/Engine.h"
#include "services/Gbk.h"
#include "system/NotLoaded.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <map>

namespace paveno {

namespace {

// A window closed without destroyNow stays loaded until its close request comes round. The request names the
// copy that was closed (through an object that dies with it) and a ticket, so a copy loaded afterwards under the
// same id is never destroyed by an old request.
struct Closing {
    QPointer<QObject> copy;
    std::uint64_t ticket = 0;
};
std::map<std::uint32_t, Closing> gClosing;
std::uint64_t gNextTicket = 1;

bool IsBeingClosed(std::uint32_t windowId) {
    auto it = gClosing.find(windowId);
    if (it == gClosing.end()) return false;
    if (it->second.copy) return true;
    gClosing.erase(it); // that copy is gone already
    return false;
}

void DeliverClose(std::uint32_t windowId, std::uint64_t ticket) {
    auto it = gClosing.find(windowId);
    if (it == gClosing.end() || it->second.ticket != ticket) return;
    const bool sameCopy = !it->second.copy.isNull();
    gClosing.erase(it);
    if (sameCopy) forms::DestroyWindow(windowId);
}

} // namespace

void ReportNotLoaded() {
    forms::RuntimeError(Gbk("指定窗口或窗口组件不存在或尚未载入"));
}

bool LoadWindow(std::uint32_t windowId, std::optional<std::uint32_t> parentWindowId, bool modal) {
    // A parent of 0 is how an omitted argument arrives from a value cell.
    const std::uint32_t parent = parentWindowId.value_or(0);
    if (parent != 0 && !forms::IsWindowLoaded(parent)) return false;
    if (IsBeingClosed(windowId)) {
        gClosing.erase(windowId);
        forms::DestroyWindow(windowId);
    }
    return forms::LoadWindow(windowId, modal, parent);
}

void CloseWindow(std::uint32_t windowId, std::optional<bool> destroyNow) {
    forms::Control* window = forms::FindLiveControl(windowId, 0);
    if (!window) {
        ReportNotLoaded();
        return;
    }
    if (destroyNow.value_or(false) || !QCoreApplication::instance()) {
        gClosing.erase(windowId);
        forms::DestroyWindow(windowId);
        return;
    }
    const std::uint64_t ticket = gNextTicket++;
    gClosing[windowId] = {window->context(), ticket};
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [windowId, ticket]() { DeliverClose(windowId, ticket); }, Qt::QueuedConnection);
}

void SetFocus(std::uint32_t windowId, std::uint32_t controlId) {
    forms::Control* c = forms::FindLiveControl(windowId, controlId);
    if (!c) {
        ReportNotLoaded();
        return;
    }
    QWidget* w = c->widget();
    if (!w) return; // a control that is no window (a timer) takes no focus
    // Focus on a control of another window brings that window forward, as the desktop expects.
    QWidget* top = w->window();
    if (top->isVisible() && !top->isActiveWindow()) top->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
}

} // namespace paveno
