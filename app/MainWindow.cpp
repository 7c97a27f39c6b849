// SPDX-License-Identifier: MIT
// The main window: start-up, the response delay, the kind and category choice with its mirrored address lists, and the
// cache clean-up when the main window goes.
#include "AppWindows.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/LibraryLock.h"
#include "app/LibraryStore.h"
#include "app/Program.h"
#include "app/Properties.h"
#include "app/UserActions.h"
#include "app/WindowKeys.h"
#include "services/Folders.h"
#include "services/Gbk.h"
#include "system/SystemOps.h"

#include <QCoreApplication>

namespace paveno::app {

void 主窗口_创建完毕() {
    State().delayMs = 1;
    ReadCollectionSettings();
    // Enter in the page field collects; in the delay field it applies the delay.
    OnEnter(主窗口::id, 主窗口::编辑框1, [] { ClickControl(主窗口::id, 主窗口::按钮2); });
    OnEnter(主窗口::id, 主窗口::编辑框2, [] { ClickControl(主窗口::id, 主窗口::按钮3); });
    // The update window checks the version in its own creation handler and closes itself when nothing is newer. It
    // is loaded once the main window is on screen, so that a slow update server never holds the start.
    if (Options().updateCheck) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [] {
                if (forms::IsWindowLoaded(主窗口::id)) LoadWindow(更新窗口::id);
            },
            Qt::QueuedConnection);
    }
}

void 主窗口_将被销毁() {
    // The page cache belongs to whichever program collects; while another one does, it stays.
    const LibraryLock lock;
    if (lock.Busy())
        MessageBox(lock.Problem(), forms::kBoxOk);
    else
        DeleteFolder(store::CacheFolder());
    ReleaseRuntimeObjects();
}

void 主窗口_按钮3_被单击() {
    const Text content = ReadText(主窗口::id, 主窗口::编辑框2, forms::EditBox::kContent);
    const Text prefix = Gbk("默认为：");
    const Text value = LeftText(content, TextLength(prefix)) == prefix
                           ? RightText(content, TextLength(content) - TextLength(prefix))
                           : content;
    State().delayMs = TruncateToInteger(ToNumber(value));
}

// The hidden address lists follow the visible category boxes, so the collector reads a category's address as the
// selected item of its list.
void 主窗口_连载类_列表项被选择() {
    WriteInteger(主窗口::id, 主窗口::连载网页, forms::ComboBox::kSelection,
                 ReadInteger(主窗口::id, 主窗口::连载类, forms::ComboBox::kSelection));
}

void 主窗口_完本类_列表项被选择() {
    WriteInteger(主窗口::id, 主窗口::完本网页, forms::ComboBox::kSelection,
                 ReadInteger(主窗口::id, 主窗口::完本类, forms::ComboBox::kSelection));
}

void 主窗口_完本网页_列表项被选择() {
    WriteInteger(主窗口::id, 主窗口::完本类, forms::ComboBox::kSelection,
                 ReadInteger(主窗口::id, 主窗口::完本网页, forms::ComboBox::kSelection));
}

void 主窗口_单选框1_被单击() {
    WriteLogical(主窗口::id, 主窗口::完本类, forms::kVisible, true);
    WriteLogical(主窗口::id, 主窗口::连载类, forms::kVisible, false);
    WriteLogical(主窗口::id, 主窗口::选择框1, forms::kVisible, false);
}

void 主窗口_单选框2_被单击() {
    WriteLogical(主窗口::id, 主窗口::选择框1, forms::kVisible, true);
    WriteLogical(主窗口::id, 主窗口::完本类, forms::kVisible, false);
    WriteLogical(主窗口::id, 主窗口::连载类, forms::kVisible, true);
    主窗口_连载类_列表项被选择();
}

} // namespace paveno::app
