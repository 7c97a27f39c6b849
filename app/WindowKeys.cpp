// SPDX-License-Identifier: MIT
#include "app/WindowKeys.h"

#include "forms/Engine.h"

#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace paveno::app {
namespace {

class KeyWatch : public QObject {
public:
    KeyWatch(QObject* parent, std::vector<int> keys, std::function<void()> action)
        : QObject(parent), keys_(std::move(keys)), action_(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (std::find(keys_.begin(), keys_.end(), key) != keys_.end()) {
                action_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::vector<int> keys_;
    std::function<void()> action_;
};

void Watch(std::uint32_t window, std::uint32_t control, std::vector<int> keys, std::function<void()> action) {
    if (forms::Control* c = forms::FindLiveControl(window, control); c && c->widget())
        c->widget()->installEventFilter(new KeyWatch(c->widget(), std::move(keys), std::move(action)));
}

} // namespace

void OnEnter(std::uint32_t window, std::uint32_t control, std::function<void()> action) {
    Watch(window, control, {Qt::Key_Return, Qt::Key_Enter}, std::move(action));
}

// A key that the focused control leaves alone goes on to the controls that hold it, up to the window.
void OnEscape(std::uint32_t window, std::function<void()> action) {
    Watch(window, 0, {Qt::Key_Escape}, std::move(action));
}

} // namespace paveno::app
