// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>

namespace paveno::app {

// The process-wide variables of a collection run. The counters of books grow over every run since the program
// started; everything else of a run lives in its CollectionRun.
struct CollectionState {
    std::int32_t delayMs = 0; // the response delay; 1 from the creation of the main window on
    std::int32_t pageCount = 0;
    std::int32_t currentPage = 0;
    std::int32_t successCount = 0;
    std::int32_t existingCount = 0;
    std::int32_t failedCount = 0; // books that could not be collected (download, write or title), never reset
    // The current book.
    Text categoryPath;
    Text bookSerial;
    Text bookAuthor;
    Text bookIntro;
    Text coverUrl;
    Text textPageUrl;
    Text archiveSizeText;

    // The last run: whether it could start and go on (site reachable, library free and writable, the site not
    // given up for gone), and how many of its books failed. The headless run's exit status comes from these.
    bool runRefused = false;
    std::int32_t runFailures = 0;
    Text failureRecordProblem;         // why the failure record could not be written (GBK); empty while it could
    std::int32_t missingListPages = 0; // list pages of the run whose cached copy was gone when their turn came
    bool collectionStarted = false;    // a collection has run in this program (the update offer waits then)

    // The end routine releases the working texts.
    void ReleaseTexts();
};

CollectionState& State();
// A fresh state, as at process start (tests run several programs in one process).
void ResetState();

} // namespace paveno::app
