// SPDX-License-Identifier: MIT
#pragma once

#include "app/FailureList.h"
#include "app/LibraryLock.h"
#include "app/PageCutter.h"
#include "services/HttpClient.h"
#include "services/Pacer.h"
#include "services/Prefetcher.h"
#include "services/Text.h"

#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace paveno::app {

// A category of the main window's lists: its kind and its place in the kind's box.
struct CategoryChoice {
    bool finished = true;
    int index = 0;
};

// One collection: made by whatever starts a run (the 采集 button, collect-all, the headless run) and gone when the
// run ends. It owns everything of the run: the library lock, the working texts, where the run is, the stop, the
// pacer every request asks, the prefetcher and the HTTP client. The process-wide counters stay in CollectionState.
class CollectionRun {
public:
    // `laterFolders` (if any) makes the library folders that the run does not write, once its first request is on
    // its way (and at the latest when the run is over).
    explicit CollectionRun(std::function<void()> laterFolders = {});
    ~CollectionRun();
    CollectionRun(const CollectionRun&) = delete;
    CollectionRun& operator=(const CollectionRun&) = delete;

    // The whole run over `categories` in turn (none: the one the main window shows), one summary at the end. The
    // main window gives the kind, category, pages and overwrite box; a category chosen here is selected there first.
    void Collect(const std::vector<CategoryChoice>& categories = {});

    // The run that is going on, if any (from the wait window's loading to its summary).
    static CollectionRun* Current();
    bool Running() const { return running_; }
    void RequestStop(); // the user's wish to stop, as closing the wait window says it

private:
    // What a book of a list page needs, decided the same way for the harvest and for the look-ahead.
    struct BookPlan {
        EntryFields fields;
        bool storable = false; // a title and an introduction the library can hold
        bool present = false;  // its archive is large enough already
        Text serial;           // the final form
        Text archivePath;
        Request textPage, cover, archive;
        bool coverWanted = false;
        bool refresh = false; // a serialised book downloaded again for the overwrite box: asked conditionally
        bool Fetches() const { return storable && !present; }
    };
    BookPlan PlanBook(const Text& entry, const PageMarkers& markers, std::uint32_t turn) const;
    void PlanPage(std::int32_t page); // the turns of the page's books, and their requests fetched ahead

    enum class PageFetch { Fetched, Last, Failed, Refused };
    Request ListPageRequest(std::int32_t page, std::uint32_t turn) const;
    PageFetch FetchListPage(std::int32_t page, bool firstOfRun, std::uint32_t turn);
    bool FetchListPages(bool firstOfRun);
    bool CollectPageByPage(bool firstOfRun); // new books only: each page fetched once the one before was harvested
    void ParseListPage(int page);
    void HarvestEntry(std::uint32_t turn);
    void WriteBookRecord(bool existed);
    void ParseFetchedPages();
    void AskSummary();

    bool Stopping() const;
    Fetched Fetch(const Request& request, bool archive = false);
    void ShowProgress();
    void ShowReport(const Text& status);
    void RecordFailure(const Text& url, const Text& why);
    void FailBook(const Text& url, const Text& why, bool existed = false);
    void StartProgress();
    void EndProgress();
    void Refuse(const Text& why);
    void TellPause(const Pacer::Event& event);

    bool TakeLock();
    void PrepareLaterFolders();
    std::function<void()> laterFolders_;
    std::optional<LibraryLock> lock_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
    bool failureHeaderWritten_ = false;

    // The working texts of the parse phase. They take the line-break form of the marker window's text boxes, so
    // that markers stored with CR LF also match pages sent with LF or CR alone.
    struct WorkingTexts {
        Text list;              // the cut list of one page
        Text entry;             // the entry being harvested
        Text remaining;         // the list after that entry
        Text title;             // the title of the current book
        Text coverNote;         // why the current book has no cover, for its report; empty when it has one
        Text archiveUrl;        // where the current book's archive comes from, for the failure record
        bool unchanged = false; // the site said the current book's archive has not changed (304)
        PageMarkers markers;
    } work_;
    bool pageHadNew_ = false;
    bool fetching_ = false; // the list pages are being fetched, before any book
    FailureList failures_;  // this run's failed books, for the report and the summary // a book of the page being
                            // harvested was not in the library as the site has it

    // Where the run is, as the wait window's title shows it.
    std::int32_t page_ = 0, pages_ = 0;      // list page, of the pages asked for (fetch phase) or fetched (parse)
    std::int32_t book_ = 0, books_ = 0;      // entry of that page, of its entries; 0 in the fetch phase
    std::atomic<std::uint64_t> received_{0}; // bytes of the archive in flight
    std::unique_ptr<QTimer> ticker_;         // refreshes the title while an archive comes in or the site is waited for

    std::uint32_t turns_ = 0;                           // the turns handed out so far (list pages, then books)
    std::vector<std::vector<std::uint32_t>> bookTurns_; // per cached page, the turn of each entry (0: asks nothing)
    Pacer pacer_;
    std::unique_ptr<Prefetcher> prefetcher_; // the next books' files, on their way; none with one connection
    HttpClient http_;
};

} // namespace paveno::app
