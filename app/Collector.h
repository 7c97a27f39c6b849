// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace paveno::app {

// A collection run: the list pages of the selected category are fetched into the page cache, cut into book entries
// with the marker texts, and every book is harvested, downloaded and recorded in the library.

void PrepareLibraryFolders(); // the library tree from the main window's category boxes
// Fetch phase; ends by loading the marker window. False when the run's first page does not come (the site is out of
// reach): the user has been told, and the run ends there.
bool FetchListPages(bool firstOfRun = true);
void ParseListPage(int page);        // parse phase of one cached page; harvests at most 20 entries
void HarvestEntry();                 // one entry: title, author, introduction, cover, presence, downloads
void WriteBookRecord(bool existed);  // introduction file, author file, index key, running report
void ShowRunSummary();               // parse phase of every page, then the summary and its two answers
void CollectSelectedCategory();      // the whole run, as the 采集 button starts it
void CollectAllFinishedCategories(); // every finished category in turn, one summary at the end (按钮1, hidden)

// How the collection fetches ahead: the number of connections (1 fetches nothing ahead), the memory the bodies
// fetched ahead may hold, and what the last run's prefetcher saw (for tests and benchmarks).
struct PrefetchSettings {
    int connections = 4;
    std::size_t memoryCap = std::size_t{256} << 20;
    int lastConnections = 0;
    std::size_t lastPeakHeldBytes = 0;
};
PrefetchSettings& Prefetching();
inline constexpr int kMaxConnections = 8;
// The number of connections from the library's settings (小说\ini\设置.ini, [采集] 连接数=1..8), 4 when the file
// does not say.
void ReadConnectionsSetting();

// A run is going on (from the wait window's loading to its summary).
bool CollectionRunning();

// A cover that stays at 2000 bytes or less is fetched at most this often per book.
inline constexpr int kCoverAttempts = 3;

// Called with every running report as it is shown in the wait window (the headless run prints them).
void SetReportObserver(std::function<void(const Text&)> observer);

} // namespace paveno::app
