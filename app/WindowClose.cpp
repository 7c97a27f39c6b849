// SPDX-License-Identifier: MIT
#include "app/WindowClose.h"

#include "forms/Engine.h"

#include <QEvent>
#include <QWidget>

namespace paveno::app {
namespace {

class CloseWatch : public QObject {
public:
    CloseWatch(QObject* parent, std::function<bool()> onClose) : QObject(parent), onClose_(std::move(onClose)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && !onClose_()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> onClose_;
};

} // namespace

void WatchClose(std::uint32_t window, std::function<bool()> onClose) {
    if (forms::Control* frame = forms::FindLiveControl(window, 0); frame && frame->widget())
        frame->widget()->installEventFilter(new CloseWatch(frame->widget(), std::move(onClose)));
}

} // namespace paveno::app
