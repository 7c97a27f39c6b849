// SPDX-License-Identifier: MIT
// The main window: start-up and the update check, the response delay, the kind and category choice with its mirrored
// address lists, the collection buttons, the two contact links, and the cache clean-up when the main window goes.
//
// Each control's event and its handler, as the window data (forms/windowdata/windows.json) names them:
//   window, 创建完毕                     -> 主窗口_创建完毕: settings, Enter keys, the update check
//   window, 将被销毁                     -> 主窗口_将被销毁: the page cache goes
//   按钮3 确认, 被单击                   -> 主窗口_按钮3_被单击: the response delay from 编辑框2
//   单选框1 完本, 被单击                 -> 主窗口_单选框1_被单击: the finished categories show
//   单选框2 连载中, 被单击               -> 主窗口_单选框2_被单击: the serialised categories show
//   完本类, 列表项被选择                 -> 主窗口_完本类_列表项被选择: 完本网页 follows
//   连载类, 列表项被选择                 -> 主窗口_连载类_列表项被选择: 连载网页 follows
//   完本网页 (hidden), 列表项被选择      -> 主窗口_完本网页_列表项被选择: 完本类 follows
//   按钮2 采集, 被单击                   -> 主窗口_按钮2_被单击: CollectSelectedCategory (app/Collector.h)
//   按钮1 立即全部采集 (hidden), 被单击  -> 主窗口_按钮1_被单击: CollectAllFinishedCategories (app/Collector.h)
//   超级按钮1 加群, 被单击               -> 主窗口_超级按钮1_被单击: the group link opens
//   超级按钮2 加Q, 被单击                -> 主窗口_超级按钮2_被单击: the contact link opens
// Enter in 编辑框1 clicks 采集, Enter in 编辑框2 clicks 确认 (set at creation, app/WindowKeys.h).
#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/LibraryLock.h"
#include "app/LibraryStore.h"
#include "app/Program.h"
#include "app/Properties.h"
#include "app/UpdateWindow.h"
#include "app/UserActions.h"
#include "app/WindowKeys.h"
#include "services/Folders.h"
#include "services/Gbk.h"
#include "system/SystemOps.h"

namespace paveno::app {

void 主窗口_创建完毕() {
    State().delayMs = 1;
    ReadCollectionSettings();
    // Enter in the page field collects; in the delay field it applies the delay.
    OnEnter(主窗口::id, 主窗口::编辑框1, [] { ClickControl(主窗口::id, 主窗口::按钮2); });
    OnEnter(主窗口::id, 主窗口::编辑框2, [] { ClickControl(主窗口::id, 主窗口::按钮3); });
    if (Options().updateCheck) CheckForUpdateOnceShown();
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

void 主窗口_按钮2_被单击() {
    CollectSelectedCategory();
}

void 主窗口_按钮1_被单击() {
    CollectAllFinishedCategories();
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
