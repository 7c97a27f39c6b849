// SPDX-License-Identifier: MIT
// What the main window's collection buttons start (their handlers are in app/MainWindow.cpp), and the settings the
// next runs take.
#include "app/Collector.h"

#include "AppWindows.h"
#include "app/CollectionRun.h"
#include "app/CollectionState.h"
#include "app/LibraryStore.h"
#include "app/Properties.h"
#include "services/Gbk.h"
#include "services/Ini.h"
#include "services/RunDirectory.h"
#include "system/SystemOps.h"

#include <functional>

namespace paveno::app {

bool CollectionRunning() {
    const CollectionRun* run = CollectionRun::Current();
    return run && run->Running();
}

CollectionSettings& Collecting() {
    static CollectionSettings settings;
    return settings;
}

void ReadCollectionSettings() {
    const Text path = store::SettingsPath(GetRunDirectory());
    const double n = ToNumber(ReadIniValue(path, Gbk("采集"), Gbk("连接数")));
    Collecting().connections =
        n >= 1 && n <= kMaxConnections && n == int(n) ? int(n) : CollectionSettings{}.connections;
    Collecting().newOnly = ReadIniValue(path, Gbk("采集"), Gbk("只采新书")) == "1";
}

void PrepareLibraryFolders(const std::function<bool(bool finished, const Text& name)>& categories) {
    store::PrepareLibraryFolders(
        [](bool finished, int index) {
            return GetItemText(主窗口::id, finished ? 主窗口::完本类 : 主窗口::连载类, index);
        },
        categories);
}

void CollectSelectedCategory() {
    if (CollectionRunning()) return; // a click that came while a run waits starts no second one
    const bool finished = ReadLogical(主窗口::id, 主窗口::单选框1, forms::CheckButton::kChecked);
    const std::uint32_t box = finished ? 主窗口::完本类 : 主窗口::连载类;
    const std::int32_t selection = ReadInteger(主窗口::id, box, forms::ComboBox::kSelection);
    if (selection == -1) {
        PrepareLibraryFolders();
        MessageBox(Gbk("小说种类还未选择"), forms::kBoxOk);
        return;
    }
    // The run's own folders now; the other categories' once its first request is on its way.
    const Text name = GetItemText(主窗口::id, box, selection);
    auto ours = [finished, name](bool kind, const Text& category) { return kind == finished && category == name; };
    PrepareLibraryFolders(ours);
    CollectionRun run([ours] { PrepareLibraryFolders(std::not_fn(ours)); });
    run.Collect();
}

void CollectKinds(bool finished, bool serialised) {
    if (CollectionRunning()) return;
    PrepareLibraryFolders();
    std::vector<CategoryChoice> categories;
    for (const bool kind : {true, false}) {
        if (!(kind ? finished : serialised)) continue;
        for (std::int32_t i = 0; i < GetItemCount(主窗口::id, kind ? 主窗口::完本网页 : 主窗口::连载网页); ++i)
            categories.push_back({kind, i});
    }
    CollectionRun run;
    run.Collect(categories);
}

void CollectAllFinishedCategories() {
    CollectKinds(true, false);
}

} // namespace paveno::app
