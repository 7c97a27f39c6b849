// SPDX-License-Identifier: MIT
#pragma once

#include "services/Clock.h"
#include "services/Pacer.h"
#include "services/Text.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace paveno::app {

// A collection run: the list pages of the selected category are fetched into the page cache, cut into book entries
// with the marker texts, and every book is harvested, downloaded and recorded in the library (app/CollectionRun.h).

// The library tree from the main window's category boxes (`categories`: see store::PrepareLibraryFolders).
void PrepareLibraryFolders(const std::function<bool(bool finished, const Text& name)>& categories = {});
void CollectSelectedCategory();      // the whole run, as the 采集 button starts it
void CollectAllFinishedCategories(); // every finished category in turn, one summary at the end (按钮1, hidden)
// Every category of the kinds asked for, in the window's order (finished first), one summary at the end.
void CollectKinds(bool finished, bool serialised);

// What the next runs take, and what the last one saw (for tests and benchmarks). Settings, not run state: a run
// reads them when it is made.
struct CollectionSettings {
    int connections = 4;                            // 1 fetches nothing ahead
    std::size_t memoryCap = std::size_t{256} << 20; // bodies fetched ahead held at once
    const Clock* clock = nullptr;                   // the pacer's clock; the steady clock when null
    bool newOnly = false;                           // end a category after the first page without a new book
    std::chrono::seconds lockWait{0};               // how long a run waits for a library another run holds
    // Whether somebody is there to look at the library when the summary is answered with OK. Without (the headless
    // run), the collecting windows close and no library window reads a whole category for nobody.
    bool viewLibrary = true;
    // Every running report as it is shown in the wait window, and every pause the site asks for, as a line (the
    // headless run prints them).
    std::function<void(const Text&)> reports;
    std::function<void(const Text&)> notices;
    std::function<void(const Pacer::Event&)> watch; // every request start and pause of the pacer
    // What the last run ended with.
    int lastConnections = 0; // requests allowed at once at its end; 0 when it fetched nothing ahead
    std::size_t lastPeakHeldBytes = 0;
};
CollectionSettings& Collecting();
inline constexpr int kMaxConnections = 8;
// The library's settings (小说\ini\设置.ini, [采集]): 连接数=1..8 (4 when the file does not say) and 只采新书=1 for
// new books only.
void ReadCollectionSettings();

// A run is going on (from the wait window's loading to its summary).
bool CollectionRunning();

// A cover that stays at 2000 bytes or less is fetched at most this often per book.
inline constexpr int kCoverAttempts = 3;

} // namespace paveno::app
