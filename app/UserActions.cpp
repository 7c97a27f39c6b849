// SPDX-License-Identifier: MIT
#include "app/UserActions.h"

#include "forms/Engine.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>

namespace paveno::app {

bool ClickControl(std::uint32_t window, std::uint32_t control) {
    forms::Control* c = forms::FindLiveControl(window, control);
    auto* button = c ? qobject_cast<QAbstractButton*>(c->widget()) : nullptr;
    if (!button) return false;
    button->click();
    return true;
}

bool PickItem(std::uint32_t window, std::uint32_t combo, int index) {
    forms::Control* c = forms::FindLiveControl(window, combo);
    QComboBox* box = c ? qobject_cast<QComboBox*>(c->widget()) : nullptr;
    if (!box && c && c->widget()) box = c->widget()->findChild<QComboBox*>();
    if (!box) return false;
    box->setCurrentIndex(index);
    ProcessPendingEvents();
    return true;
}

void ProcessPendingEvents() {
    // A handler run here may post more (a selection event, a close); a few rounds let those settle too.
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace paveno::app
