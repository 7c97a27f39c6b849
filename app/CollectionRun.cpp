// SPDX-License-Identifier: MIT
#include "app/CollectionRun.h"

#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/LibraryStore.h"
#include "app/LibraryWindow.h"
#include "app/PageLimits.h"
#include "app/Properties.h"
#include "app/WaitWindow.h"
#include "app/WindowClose.h"
#include "services/ArchiveCheck.h"
#include "services/FileSearch.h"
#include "services/Files.h"
#include "services/Folders.h"
#include "services/Gbk.h"
#include "services/Ini.h"
#include "services/RunDirectory.h"
#include "services/WholeFile.h"
#include "system/SystemOps.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace paveno::app {
namespace {

CollectionRun* currentRun = nullptr;

// List pages a category keeps turns for, ahead of its books' (see FetchListPages).
constexpr std::int32_t kMostPageTurns = 1 << 16;

// The parts of a book's turn, for the results fetched ahead.
enum Part { kListPage, kTextPage, kCover, kArchive };

// A list or download page beyond kPageCap is refused as 文件太大: cutting it would take memory by the hundred MB.
bool IsPage(int part) {
    return part == kListPage || part == kTextPage;
}

Text Decimal(std::int32_t n) {
    return ToText(std::int64_t{n});
}

Text SizeText(std::uint64_t bytes) {
    if (bytes < 1000000) return JoinTexts(ToText(RoundNumber(double(bytes) / 1000, 0)), "KB");
    return JoinTexts(ToText(RoundNumber(double(bytes) / 1000000, 1)), "MB");
}

Text Marker(std::uint32_t control) {
    return ReadText(标记窗口::id, control, forms::RichEdit::kContent);
}

bool FinishedKind() {
    return ReadLogical(主窗口::id, 主窗口::单选框1, forms::CheckButton::kChecked);
}

std::uint32_t CategoryBox(bool finished) {
    return finished ? 主窗口::完本类 : 主窗口::连载类;
}

// The item of a main window combo box at its current selection.
Text SelectedItem(std::uint32_t box) {
    return GetItemText(主窗口::id, box, ReadInteger(主窗口::id, box, forms::ComboBox::kSelection));
}

Text CategoryLabel() {
    const bool finished = FinishedKind();
    const Text name = SelectedItem(CategoryBox(finished));
    return finished ? JoinTexts(Gbk("已完结的"), name) : JoinTexts(Gbk("连载中的"), name, Gbk("小说"));
}

Text CurrentCategoryPath() {
    const bool finished = FinishedKind();
    return store::CategoryPath(finished, SelectedItem(CategoryBox(finished)));
}

Text CachedPagePath(int page) {
    return store::CachedListPagePath(GetRunDirectory(), SelectedItem(CategoryBox(FinishedKind())), page);
}

Text Url(const char* host, std::initializer_list<std::string_view> path) {
    Text url = JoinTexts(Text("http://"), host);
    for (auto part : path)
        url += part;
    return url;
}

Text ArchiveUrl(const Text& serial) {
    return Url(build::kBookHost, {"/down/2011/", serial, ".rar"});
}

// Calls `visit` with each entry of a cut list that a harvest will take, in order: at most 20, up to the first
// without a title (where the harvest ends the page).
void ForEachEntry(const Text& list, const PageMarkers& markers, const std::function<void(const Text& entry)>& visit) {
    EntrySplit split = TakeEntry(list, markers);
    for (int k = 0; k < 20; ++k, split = TakeEntry(split.remaining, markers)) {
        if (CutEntry(split.entry, markers).title.empty()) return;
        visit(split.entry);
    }
}

// "{T}篇小说，其中已存在{E}篇小说，本次成功采集{S}篇小说", and "，失败{F}篇" once a book has failed; T = E + S + F.
Text CountsText() {
    const CollectionState& s = State();
    Text counts =
        JoinTexts(Decimal(s.successCount + s.existingCount + s.failedCount), Gbk("篇小说，其中已存在"),
                  Decimal(s.existingCount), Gbk("篇小说，本次成功采集"), Decimal(s.successCount), Gbk("篇小说"));
    if (s.failedCount > 0) counts += JoinTexts(Gbk("，失败"), Decimal(s.failedCount), Gbk("篇"));
    return counts;
}

Text LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    return Text(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

// What the summary adds after the counts: what the run could not keep track of.
Text RunNotes() {
    const CollectionState& s = State();
    Text notes;
    if (s.missingListPages > 0)
        notes += JoinTexts(Gbk("，"), Decimal(s.missingListPages), Gbk("个列表页的缓存丢失，其中的小说未采集"));
    if (!s.failureRecordProblem.empty()) notes += JoinTexts(Gbk("，失败记录无法写入："), s.failureRecordProblem);
    return notes;
}

// A download that may be written: whole with a success status. Otherwise `why` says what went wrong.
bool Downloaded(const Fetched& fetched, const char* utf8Prefix, Text& why) {
    if (fetched.outcome.Good()) return true;
    why = JoinTexts(Gbk(utf8Prefix), fetched.outcome.reason);
    return false;
}

// True when `error` is none; otherwise `why` says what the user reads.
bool Written(int error, Text& why) {
    if (error == 0) return true;
    why = JoinTexts(Gbk("保存失败："), WriteFailureReason(error));
    return false;
}

bool Saved(const Text& path, const ByteSet& bytes, Text& why, bool durable = false) {
    return Written(WriteFileWhole(path, bytes, durable), why);
}

// A download put in place: renamed there when it was written beside the file as it came, written now otherwise.
bool Saved(const Text& path, const Fetched& fetched, Text& why, bool durable = false) {
    if (!fetched.kept || fetched.kept->Path() != path) return Saved(path, fetched.body, why, durable);
    return Written(fetched.kept->Commit(), why);
}

// A finished book counts as present from 30001 bytes on, a serialised one from 300001 bytes on unless the overwrite
// box asks for a new download.
bool PresentBySize(const Text& archivePath) {
    if (ReadLogical(主窗口::id, 主窗口::单选框1, forms::CheckButton::kChecked) && GetFileSize(archivePath) > 30000)
        return true;
    return ReadLogical(主窗口::id, 主窗口::单选框2, forms::CheckButton::kChecked) &&
           GetFileSize(archivePath) > 300000 && !ReadLogical(主窗口::id, 主窗口::选择框1, forms::CheckButton::kChecked);
}

// A stored cover of 2000 bytes or less (or none) is fetched (again).
bool CoverWanted(const Text& coverPath) {
    return GetFileSize(coverPath) <= 2000;
}

// What the site said of a serialised book's archive when it was last downloaded (see store::ValidatorsPath): kept
// beside the files that readers of the library rely on, never inside them.
struct Validators {
    std::int64_t lastModified = -1;
    std::string etag;
};

Validators ReadValidators(const Text& runDir, const Text& categoryPath, const Text& title) {
    const Text value = ReadIniValue(store::ValidatorsPath(runDir), categoryPath, title);
    Validators kept;
    // The INI reader trims a value, so a time without an ETag comes back without its space.
    const auto space = value.find(' ');
    const Text time = value.substr(0, space);
    char* end = nullptr;
    const long long seconds = std::strtoll(time.c_str(), &end, 10);
    if (!time.empty() && end && *end == '\0') kept.lastModified = seconds;
    if (space != Text::npos) kept.etag = value.substr(space + 1);
    return kept;
}

// The request headers that ask whether the archive changed since; none when nothing was kept.
std::vector<std::string> ConditionalHeaders(const Validators& kept) {
    std::vector<std::string> headers;
    if (!kept.etag.empty()) headers.push_back("If-None-Match: " + kept.etag);
    if (kept.lastModified >= 0) {
        const std::time_t time = static_cast<std::time_t>(kept.lastModified);
        std::tm utc{};
        char date[64];
        if (gmtime_r(&time, &utc) && std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc))
            headers.push_back(std::string("If-Modified-Since: ") + date);
    }
    return headers;
}

// Keeps what the site said of the archive just downloaded, so that the next refresh can ask whether it changed. A
// title the INI file cannot hold as a key keeps nothing, and nothing is written where nothing was or will be kept.
void KeepValidators(const Text& runDir, const Text& categoryPath, const Text& title, const FetchOutcome& outcome) {
    const Text path = store::ValidatorsPath(runDir);
    const bool said = !outcome.etag.empty() || outcome.lastModified >= 0;
    if (!said && ReadIniValue(path, categoryPath, title).empty()) return;
    const std::string etag = outcome.etag.find_first_of("\r\n") == std::string::npos ? outcome.etag : "";
    WriteIniValue(path, categoryPath, title, JoinTexts(ToText(outcome.lastModified), " ", etag));
}

PacerSettings PacingOfTheRun() {
    PacerSettings pacing;
    pacing.turnGap = std::chrono::milliseconds(std::max(0, State().delayMs));
    pacing.connections = std::max(1, Collecting().connections);
    return pacing;
}

// The windows of a run whose summary was answered with OK; the main window takes the page cache with it. A run
// stopped before its first page has no marker window.
void CloseCollectingWindows() {
    for (const std::uint32_t window : {标记窗口::id, 等待窗口::id, 主窗口::id})
        if (forms::IsWindowLoaded(window)) CloseWindow(window);
}

} // namespace

CollectionRun::CollectionRun(std::function<void()> laterFolders)
    : laterFolders_(std::move(laterFolders)),
      pacer_(PacingOfTheRun(), Collecting().clock ? *Collecting().clock : SteadyClock()),
      prefetcher_(Collecting().connections > 1
                      ? std::make_unique<Prefetcher>(
                            Prefetcher::Settings{Collecting().connections, Collecting().memoryCap}, pacer_, &stop_)
                      : nullptr),
      http_(pacer_, prefetcher_.get()) {
    pacer_.SetObserver([this](const Pacer::Event& event) {
        if (Collecting().watch) Collecting().watch(event);
        if (event.kind == Pacer::Event::Kind::Pause) TellPause(event);
    });
}

CollectionRun::~CollectionRun() {
    PrepareLaterFolders(); // a run that never asked for a page (the library was busy) still makes them
    EndProgress();
    if (currentRun == this) currentRun = nullptr;
}

void CollectionRun::PrepareLaterFolders() {
    if (auto prepare = std::exchange(laterFolders_, nullptr)) prepare();
}

CollectionRun* CollectionRun::Current() {
    return currentRun;
}

void CollectionRun::RequestStop() {
    stop_ = true;
    pacer_.Wake();
    ShowProgress();
}

bool CollectionRun::Stopping() const {
    return stop_.load() || pacer_.SiteGone();
}

// A pause the site asked for, told where someone may be looking: the headless run prints it, the title shows it.
void CollectionRun::TellPause(const Pacer::Event& event) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(event.pause).count();
    const Text why =
        event.status > 0 ? JoinTexts(Gbk("网站繁忙（"), Decimal(event.status), Gbk("）")) : Gbk("网站连接中断");
    if (Collecting().notices)
        Collecting().notices(JoinTexts(why, Gbk("，暂停"), ToText(std::int64_t{seconds}), Gbk("秒")));
}

// A fetch of the run: the user's stop ends it at once, and an archive's bytes show in the title as they come.
Fetched CollectionRun::Fetch(const Request& request, bool archive) {
    FetchControl control;
    control.stop = &stop_;
    HttpSettings pageLimits = GetHttpSettings();
    pageLimits.bodyCap = std::min(pageLimits.bodyCap, kPageCap);
    if (IsPage(request.part)) control.limits = &pageLimits;
    if (archive) control.progress = [this](std::uint64_t received, std::uint64_t) { received_ = received; };
    Fetched fetched = http_.Fetch(request, control);
    received_ = 0;
    if (IsPage(request.part)) RefuseOversizedPage(fetched);
    return fetched;
}

// "第2/5页 第13/20本 1.2MB 等待网站2秒": where the run is. The stored caption of the window data stays as it is.
void CollectionRun::ShowProgress() {
    if (!forms::IsWindowLoaded(等待窗口::id)) return;
    Text title;
    if (Stopping()) {
        title = Gbk("正在停止...");
    } else {
        // The fetch phase counts list pages of its own, so that 第N页 only ever counts up from the first.
        title = fetching_ ? JoinTexts(Gbk("读取列表页 "), Decimal(page_), "/", Decimal(pages_))
                          : JoinTexts(Gbk("第"), Decimal(page_), "/", Decimal(pages_), Gbk("页"));
        if (!fetching_ && books_ > 0) title += JoinTexts(Gbk(" 第"), Decimal(book_), "/", Decimal(books_), Gbk("本"));
        if (received_ > 0) title += JoinTexts(" ", SizeText(received_));
        const auto pause = std::chrono::ceil<std::chrono::seconds>(pacer_.PauseLeft()).count();
        if (pause > 0) title += JoinTexts(Gbk(" 等待网站"), ToText(std::int64_t{pause}), Gbk("秒"));
    }
    if (ReadText(等待窗口::id, 等待窗口::self, forms::WindowControl::kCaption) != title)
        WriteText(等待窗口::id, 等待窗口::self, forms::WindowControl::kCaption, title);
}

// The running report of the current book; `status` is its size line, or what went wrong with it.
void CollectionRun::ShowReport(const Text& status) {
    const CollectionState& s = State();
    const Text report = JoinTexts(Gbk("标题："), work_.title, Gbk(" \r\n作者："), s.bookAuthor, "\r\n", status,
                                  Gbk("\r\n简介："), s.bookIntro, Gbk("\r\n\r\n               共采集"), CountsText(),
                                  Gbk("！  正在采集"), CategoryLabel(), "...");
    // The window keeps the run's failures under the book; the headless run prints each failure once, as it comes.
    WriteText(等待窗口::id, 等待窗口::编辑框1, forms::RichEdit::kContent, JoinTexts(report, failures_.ReportText()));
    if (Collecting().reports) Collecting().reports(report);
}

// Appends the book to 小说\失败记录.txt (a header line with date, time and category first in every run), so that
// the user can see later what is missing and why. A rerun fetches these books again: none of them is present.
// A record that cannot be written (a full disk, a link at its name) is said at once on standard error and again in
// the summary: the user must not trust a record that misses books.
void CollectionRun::RecordFailure(const Text& url, const Text& why) {
    CollectionState& s = State();
    const Text path = store::FailureRecordPath(GetRunDirectory());
    int error = 0;
    if (!failureHeaderWritten_) {
        error = AppendToFile(path, ToBytes(JoinTexts(LocalTimeText(), " ", CategoryLabel(), "\r\n")));
        failureHeaderWritten_ = error == 0;
    }
    if (error == 0) error = AppendToFile(path, ToBytes(JoinTexts(work_.title, "  ", url, "  ", why, "\r\n")));
    if (error != 0 && s.failureRecordProblem.empty()) {
        s.failureRecordProblem = WriteFailureReason(error);
        std::fprintf(stderr, "paveno: %s\n",
                     GbkToUtf8Lossy(JoinTexts(Gbk("失败记录无法写入："), s.failureRecordProblem)).c_str());
    }
}

// The current book could not be collected: it is counted and told as failed, and nothing of it is kept under a final
// name that was not whole. `existed` takes it back out of the present books.
void CollectionRun::FailBook(const Text& url, const Text& why, bool existed) {
    CollectionState& s = State();
    if (existed) --s.existingCount;
    ++s.failedCount;
    ++s.runFailures;
    RecordFailure(url, why);
    failures_.Add(work_.title, why);
    ShowReport(why);
    Delay(s.delayMs);
}

// The run cannot start or go on: the user hears why and is back at the main window.
void CollectionRun::Refuse(const Text& why) {
    State().runRefused = true;
    running_ = false; // the wait window may close now
    MessageBox(why, forms::kBoxOk);
    // The marker window, built while the first page was on its way, goes with the wait window.
    for (const std::uint32_t window : {标记窗口::id, 等待窗口::id})
        if (forms::IsWindowLoaded(window)) CloseWindow(window);
    WriteLogical(主窗口::id, 主窗口::self, forms::WindowControl::kShownInTaskbar, true);
    WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, true);
}

CollectionRun::BookPlan CollectionRun::PlanBook(const Text& entry, const PageMarkers& markers,
                                                std::uint32_t turn) const {
    const Text runDir = GetRunDirectory();
    BookPlan plan;
    plan.fields = CutEntry(entry, markers);
    const Text& title = plan.fields.title;
    plan.storable = !title.empty() && !plan.fields.intro.empty() && !store::TitleProblem(title);
    plan.archivePath = store::ArchivePath(runDir, CurrentCategoryPath(), title);
    plan.present = PresentBySize(plan.archivePath);
    plan.serial = FinalSerial(plan.fields.serial);
    // Each file is written beside its final name where it is fetched, and only renamed by the harvest.
    plan.textPage = {Url(build::kTextHost, {"/txt/", plan.serial, "txt.html#"}), turn, kTextPage};
    plan.textPage.keepAt = store::DownloadPagePath(runDir, title);
    plan.cover = {Url(build::kPictureHost, {"/dianzishu/UploadPic/", CutCoverName(entry, markers)}), turn, kCover};
    plan.cover.keepAt = store::CoverPath(runDir, title);
    plan.archive = {ArchiveUrl(plan.serial), turn, kArchive};
    plan.archive.large = true;
    plan.archive.judge = RefuseUnusableArchive; // a web page, or an archive that does not read through
    plan.archive.keepAt = plan.archivePath;
    plan.archive.durable = true;
    plan.archive.streamed = true;
    plan.coverWanted = CoverWanted(plan.cover.keepAt);
    // A serialised book downloaded again only because the overwrite box asks is asked whether it changed since.
    plan.refresh = plan.storable && !plan.present && !FinishedKind() && GetFileSize(plan.archivePath) > 300000;
    if (plan.refresh) plan.archive.headers = ConditionalHeaders(ReadValidators(runDir, CurrentCategoryPath(), title));
    return plan;
}

// Every book of a cached page that will ask for its files takes the next turn, in the harvest's order, and its
// requests go to the prefetcher; a present or unstorable book takes no turn. Pages are planned as soon as they are
// cached, so the look-ahead crosses them and the connections never drain at a page's end.
void CollectionRun::PlanPage(std::int32_t page) {
    const PageMarkers markers = MarkersFrom(FinishedKind(), Marker);
    if (bookTurns_.size() <= std::size_t(page)) bookTurns_.resize(page + 1);
    bookTurns_[page].clear();
    std::vector<Request> ahead;
    const Text list = CutList(WithCrLf(ToText(ReadFileBytes(CachedPagePath(page)))), markers);
    ForEachEntry(list, markers, [&](const Text& entry) {
        const BookPlan plan = PlanBook(entry, markers, turns_ + 1);
        if (!plan.Fetches()) {
            bookTurns_[page].push_back(0);
            return;
        }
        bookTurns_[page].push_back(++turns_);
        if (!plan.serial.empty()) {
            ahead.push_back(plan.textPage);
            if (plan.coverWanted) ahead.push_back(plan.cover);
        }
        ahead.push_back(plan.archive);
    });
    if (prefetcher_) prefetcher_->Enqueue(ahead);
}

// The address is shown in the (hidden, editable) address box and fetched as the box gives it back.
Request CollectionRun::ListPageRequest(std::int32_t page, std::uint32_t turn) const {
    const std::uint32_t urlBox = FinishedKind() ? 主窗口::完本网页 : 主窗口::连载网页;
    WriteText(主窗口::id, urlBox, forms::ComboBox::kContent, JoinTexts(SelectedItem(urlBox), Decimal(page), ".html"));
    return {ReadText(主窗口::id, urlBox, forms::ComboBox::kContent), turn, kListPage};
}

CollectionRun::PageFetch CollectionRun::FetchListPage(std::int32_t page, bool firstOfRun, std::uint32_t turn) {
    page_ = page;
    books_ = 0;
    ShowProgress();
    const Text cachePath = CachedPagePath(page);
    const Fetched listPage = Fetch(ListPageRequest(page, turn));
    if (Stopping()) return PageFetch::Failed;
    Text why;
    // The run's first page not coming means the site is out of reach, and there is nothing to collect. Any other
    // page that does not come ends its category, as a short page does.
    if (!Downloaded(listPage, "无法连接网站：", why) || !Saved(cachePath, listPage.body, why)) {
        if (page > 1 || !firstOfRun) return PageFetch::Failed;
        Refuse(why);
        return PageFetch::Refused;
    }
    const Text pagesLeft = ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent);
    WriteText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent, ToText(ToNumber(pagesLeft) - 1));
    // A page under 3000 bytes is the end of the category; it stays in the cache.
    return GetFileSize(cachePath) < 3000 ? PageFetch::Last : PageFetch::Fetched;
}

bool CollectionRun::FetchListPages(bool firstOfRun) {
    CollectionState& s = State();
    s.pageCount = TruncateToInteger(ToNumber(ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent)));
    pages_ = s.pageCount;
    // The list pages take the turns before every book's, so that each page can be planned as soon as it is cached:
    // its books are on their way while the next pages come, and no page waits for a book that only a file fetched
    // ahead would take. Pages beyond the turns kept for them (a count far beyond any site) are paced by the wait
    // between pages alone.
    const std::uint32_t firstPageTurn = turns_ + 1;
    const std::int32_t pageTurns = std::clamp(s.pageCount, 0, kMostPageTurns);
    turns_ += static_cast<std::uint32_t>(pageTurns);
    std::int32_t fetched = 0;
    fetching_ = true;
    // The first page is on its way while the marker window is built, when nothing else could use the connections.
    if (prefetcher_ && s.pageCount >= 1) prefetcher_->Enqueue({ListPageRequest(1, firstPageTurn)});
    if (!forms::IsWindowLoaded(标记窗口::id)) LoadWindow(标记窗口::id, 主窗口::id);
    PrepareLaterFolders();
    for (std::int32_t page = 1; page <= s.pageCount; ++page) {
        const std::uint32_t turn = page <= pageTurns ? firstPageTurn + static_cast<std::uint32_t>(page - 1) : 0;
        const PageFetch result = FetchListPage(page, firstOfRun, turn);
        if (result == PageFetch::Refused) return false;
        if (result == PageFetch::Failed) break;
        fetched = page;
        PlanPage(page);
        if (result == PageFetch::Last) break;
        Delay(s.delayMs);
    }
    fetching_ = false;
    if (prefetcher_) prefetcher_->Seal(); // the category's every request is queued
    // The pages not asked for give up their turns, so that the books need not wait for them.
    if (pageTurns > 0) pacer_.PassUpTo(firstPageTurn + static_cast<std::uint32_t>(pageTurns - 1));
    // The parse phase reads the pages of this run only, and a page count far beyond the site costs nothing.
    s.pageCount = fetched;
    return true;
}

// New books only: a page is fetched once the one before it was harvested, and the category ends after the first page
// that held no new book, so that a daily run over a large category asks for a page or two and nothing beyond.
bool CollectionRun::CollectPageByPage(bool firstOfRun) {
    CollectionState& s = State();
    const std::int32_t asked =
        TruncateToInteger(ToNumber(ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent)));
    pages_ = asked;
    PrepareLaterFolders();
    for (std::int32_t page = 1; page <= asked && !Stopping(); ++page) {
        fetching_ = true;
        const PageFetch result = FetchListPage(page, firstOfRun, ++turns_);
        fetching_ = false;
        if (result == PageFetch::Refused) return false;
        if (result == PageFetch::Failed) break;
        s.pageCount = page;
        if (!forms::IsWindowLoaded(标记窗口::id)) LoadWindow(标记窗口::id, 主窗口::id);
        PlanPage(page);
        pageHadNew_ = false;
        s.currentPage = page;
        ParseListPage(page);
        if (result == PageFetch::Last || !pageHadNew_) break;
        Delay(s.delayMs);
    }
    return true;
}

void CollectionRun::ParseListPage(int page) {
    // A page this run fetched and kept is gone (deleted by hand or by another program): its books cannot be counted,
    // and the run must not look whole.
    if (GetFileSize(CachedPagePath(page)) < 0) {
        ++State().missingListPages;
        ++State().runFailures;
    }
    work_.markers = MarkersFrom(FinishedKind(), Marker); // read for each page, as the marker boxes hold them
    work_.list = CutList(WithCrLf(ToText(ReadFileBytes(CachedPagePath(page)))), work_.markers);

    page_ = page;
    if (!Collecting().newOnly) pages_ = State().pageCount;
    const std::vector<std::uint32_t>& turns = bookTurns_[page];
    books_ = static_cast<std::int32_t>(turns.size());
    EntrySplit split = TakeEntry(work_.list, work_.markers);
    for (int k = 1; k <= 20 && !Stopping(); ++k) {
        work_.entry = std::move(split.entry);
        work_.remaining = std::move(split.remaining);
        book_ = std::min(k, books_);
        ShowProgress();
        HarvestEntry(k <= books_ ? turns[k - 1] : 0);
        if (work_.title.empty()) break;
        split = TakeEntry(work_.remaining, work_.markers);
        Delay(State().delayMs);
    }
}

void CollectionRun::HarvestEntry(std::uint32_t turn) {
    CollectionState& s = State();
    // Whatever the book asked for, its turn is over: later books need not wait for it.
    struct TurnOver {
        CollectionRun& run;
        std::uint32_t turn;
        ~TurnOver() {
            if (turn == 0) return;
            run.pacer_.Pass(turn);
            if (run.prefetcher_) run.prefetcher_->Release(turn);
        }
    } over{*this, turn};

    s.categoryPath = CurrentCategoryPath();
    BookPlan plan = PlanBook(work_.entry, work_.markers, turn);
    s.bookSerial = std::move(plan.fields.serial); // the link without ".html"; its last part is the serial number
    work_.title = std::move(plan.fields.title);
    s.bookAuthor = std::move(plan.fields.author);
    s.bookIntro = std::move(plan.fields.intro);
    work_.coverNote.clear();
    work_.unchanged = false;
    work_.archiveUrl = plan.archive.url;
    const Text& archiveUrl = work_.archiveUrl;

    // A title that cannot be a file name or an index key is not fetched at all: nothing of it could be stored.
    if (!work_.title.empty() && !s.bookIntro.empty()) {
        if (const auto problem = store::TitleProblem(work_.title)) {
            FailBook(archiveUrl, JoinTexts(Gbk("跳过："), *problem));
            return;
        }
    }

    const Text runDir = GetRunDirectory();
    const Text& archivePath = plan.archivePath;
    if (plan.present) ++s.existingCount;
    if (work_.title.empty() || s.bookIntro.empty()) return;

    if (!plan.present) {
        s.bookSerial = plan.serial;
        s.coverUrl = plan.cover.url;
        s.textPageUrl = plan.textPage.url;
        if (!s.bookSerial.empty()) {
            // Nothing reads the download page later; it is kept in the cache when it comes whole.
            const Fetched textPage = Fetch(plan.textPage);
            if (Stopping()) return;
            Text unused;
            if (textPage.outcome.Good()) Saved(plan.textPage.keepAt, textPage, unused);
            // A cover of 2000 bytes or less is fetched again, a bounded number of times: a site without the
            // picture must not hold the run for ever. A cover that does not come whole replaces nothing.
            const Text& coverPath = plan.cover.keepAt;
            Text why;
            for (int attempt = 0; attempt < kCoverAttempts && CoverWanted(coverPath); ++attempt) {
                const Fetched cover = Fetch(plan.cover);
                if (Stopping()) return;
                if (Downloaded(cover, "", why) && Saved(coverPath, cover, why)) why = Gbk("图片太小");
            }
            if (CoverWanted(coverPath)) work_.coverNote = JoinTexts(Gbk("封面下载失败："), why);
        }
        // A failed download replaces nothing: a good archive from an earlier run stays as it was. A book that the user
        // stopped is left as it was, neither collected nor failed.
        const Fetched archive = Fetch(plan.archive, true);
        if (!archive.outcome.Good() && (stop_ || archive.outcome.reason == Gbk("已停止"))) return;
        // Unchanged since the last download: the archive stays as it is, and the book is one already present.
        work_.unchanged = plan.refresh && archive.outcome.status == 304 && archive.outcome.whole;
        if (work_.unchanged) {
            ++s.existingCount;
        } else {
            pageHadNew_ = true;
            Text why;
            // The archive's bytes reach the disk before its name does: after a power cut the size rule must never
            // find a cut archive under the final name and keep it.
            if (!Downloaded(archive, "下载失败：", why) || !Saved(archivePath, archive, why, true)) {
                FailBook(archiveUrl, why);
                return;
            }
            if (!FinishedKind()) KeepValidators(runDir, s.categoryPath, work_.title, archive.outcome);
        }
    }
    s.archiveSizeText = ToText(RoundNumber(GetFileSize(archivePath), 0));
    WriteBookRecord(plan.present || work_.unchanged);
}

void CollectionRun::WriteBookRecord(bool existed) {
    CollectionState& s = State();
    const Text& title = work_.title;
    const Text runDir = GetRunDirectory();

    // The index key comes last: it never points at an archive whose records could not be written.
    Text why;
    if (!Saved(store::IntroductionPath(runDir, s.categoryPath, title), ToBytes(s.bookIntro), why)) {
        FailBook(work_.archiveUrl, why, existed);
        return;
    }
    s.bookAuthor = store::AuthorForRecord(s.bookAuthor);
    const bool indexed = store::HasIndexRecords(title);
    if (indexed &&
        (!WriteIniValue(store::AuthorPath(runDir, s.categoryPath, title), title, store::AuthorKey(), s.bookAuthor) ||
         !WriteIniValue(store::IndexPath(runDir), store::IndexSection(), title,
                        store::ArchivePath(runDir, s.categoryPath, title)))) {
        FailBook(work_.archiveUrl, Gbk("保存失败：无法写入索引"), existed);
        return;
    }
    if (!existed) ++s.successCount;

    const Text kilobytes = ToText(RoundNumber(ToNumber(s.archiveSizeText) / 1000, 0));
    Text status = work_.unchanged ? Gbk("压缩文件未变化") : JoinTexts(Gbk("压缩文件大小："), kilobytes, "KB");
    if (!work_.coverNote.empty()) status += JoinTexts("\r\n", work_.coverNote);
    if (!indexed) status += Gbk("\r\n书名以“[”开头，未写入索引和作者记录");
    ShowReport(status);
    Delay(s.delayMs);
}

void CollectionRun::ParseFetchedPages() {
    CollectionState& s = State();
    for (s.currentPage = 1; s.currentPage <= s.pageCount && !Stopping(); ++s.currentPage)
        ParseListPage(s.currentPage);
    // The category's turns are over, harvested or not: the next category's pages need not wait for any of them.
    pacer_.PassUpTo(turns_);
    if (prefetcher_) prefetcher_->Release(turns_);
}

// The wait window shows where the run is, and its close asks the run to stop instead of pulling the window from
// under it; the run then ends with its summary.
void CollectionRun::StartProgress() {
    running_ = true;
    State().collectionStarted = true;
    WatchClose(等待窗口::id, [] {
        CollectionRun* run = Current();
        if (!run || !run->Running()) return true;
        run->RequestStop();
        return false;
    });
    PrepareWaitWindow(); // the 停止 button and Escape close the window as its close box does
    ticker_ = std::make_unique<QTimer>();
    QObject::connect(ticker_.get(), &QTimer::timeout, [this] { ShowProgress(); });
    ticker_->start(200);
}

void CollectionRun::EndProgress() {
    running_ = false;
    ticker_.reset();
    if (prefetcher_) {
        Collecting().lastPeakHeldBytes = prefetcher_->PeakHeldBytes();
        prefetcher_.reset(); // cancels what is left and waits for its transfers
    }
    Collecting().lastConnections = Collecting().connections > 1 ? pacer_.Connections() : 0;
}

// The summary and its two answers: OK opens the library on the category, Cancel clears the cache and ends.
void CollectionRun::AskSummary() {
    EndProgress();
    if (pacer_.SiteGone()) {
        State().runRefused = true;
        MessageBox(Gbk("网站连续无法访问，采集已停止"), forms::kBoxOk);
    }
    const Text summary =
        JoinTexts(Stopping() ? Gbk("采集已停止，共采集") : Gbk("采集完成，共采集"), CountsText(), RunNotes(),
                  Gbk("！是否查看文件？"), failures_.SummaryLine(store::FailureRecordPath(GetRunDirectory())));
    if (MessageBox(summary, forms::kBoxOkCancel | forms::kBoxIconQuestion) != forms::kAnswerOk) {
        DeleteFolder(store::CacheFolder());
        forms::EndProgram(0);
        return;
    }

    if (!Collecting().viewLibrary) {
        CloseCollectingWindows();
        return;
    }
    LoadWindow(书库窗口::id);
    const bool finished = FinishedKind();
    const std::uint32_t box = CategoryBox(finished);
    const Text folder = store::CategoryPath(finished, SelectedItem(box));
    const std::uint32_t libraryBox = finished ? 书库窗口::完本类 : 书库窗口::连载类;
    WriteInteger(书库窗口::id, libraryBox, forms::ComboBox::kSelection,
                 ReadInteger(主窗口::id, box, forms::ComboBox::kSelection));
    WriteLogical(书库窗口::id, 书库窗口::单选框1, forms::CheckButton::kChecked, finished);
    WriteLogical(书库窗口::id, 书库窗口::单选框2, forms::CheckButton::kChecked, !finished);
    WriteLogical(书库窗口::id, 书库窗口::连载类, forms::kVisible, !finished);
    WriteLogical(书库窗口::id, 书库窗口::完本类, forms::kVisible, finished);

    CloseCollectingWindows();
    WriteText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kFolder,
              JoinTexts(GetRunDirectory(), Gbk("\\小说\\"), folder));
    // The hints follow the folder shown, not the category the window opened on.
    RefreshLibraryHints();
}

// The library's lock, waited for as long as the settings allow (a timed run may meet the user's own collection).
bool CollectionRun::TakeLock() {
    const auto giveUp = std::chrono::steady_clock::now() + Collecting().lockWait;
    for (lock_.emplace(); !lock_->Held() && lock_->Busy() && std::chrono::steady_clock::now() < giveUp;
         lock_.emplace()) {
        lock_.reset();
        Delay(5000);
    }
    return lock_->Held();
}

void CollectionRun::Collect(const std::vector<CategoryChoice>& categories) {
    if (!TakeLock()) return Refuse(lock_->Problem());
    currentRun = this;
    CollectionState& s = State();
    s.runRefused = false;
    s.runFailures = 0;
    s.failureRecordProblem.clear();
    s.missingListPages = 0;
    // Only one program writes the library at a time, so what a killed run left half-written in the folders this run
    // writes is the program's own.
    for (const bool finished : {true, false}) {
        std::vector<Text> names;
        if (categories.empty() && finished == FinishedKind()) names.push_back(SelectedItem(CategoryBox(finished)));
        for (const CategoryChoice& choice : categories)
            if (choice.finished == finished)
                names.push_back(GetItemText(主窗口::id, CategoryBox(finished), choice.index));
        if (!names.empty()) store::RemoveRunLeftovers(GetRunDirectory(), finished, names);
    }

    WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, false);
    WriteLogical(主窗口::id, 主窗口::self, forms::WindowControl::kShownInTaskbar, false);
    LoadWindow(等待窗口::id, 主窗口::id);
    StartProgress();
    const Text pages = ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent);
    const std::size_t passes = std::max<std::size_t>(1, categories.size());
    // One summary after the last category: a summary per category could not go on (OK closes the windows the
    // next pass reads, Cancel ends the program).
    for (std::size_t i = 0; i < passes && !Stopping(); ++i) {
        if (i < categories.size()) {
            const CategoryChoice& choice = categories[i];
            if (i > 0) WriteText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent, pages);
            WriteLogical(主窗口::id, 主窗口::单选框1, forms::CheckButton::kChecked, choice.finished);
            WriteLogical(主窗口::id, 主窗口::单选框2, forms::CheckButton::kChecked, !choice.finished);
            WriteInteger(主窗口::id, CategoryBox(choice.finished), forms::ComboBox::kSelection, choice.index);
            WriteInteger(主窗口::id, choice.finished ? 主窗口::完本网页 : 主窗口::连载网页, forms::ComboBox::kSelection,
                         choice.index);
        }
        if (Collecting().newOnly) {
            if (!CollectPageByPage(i == 0)) return EndProgress();
            pacer_.PassUpTo(turns_);
            continue;
        }
        if (!FetchListPages(i == 0)) return EndProgress();
        Delay(s.delayMs);
        ParseFetchedPages();
    }
    AskSummary();
    s.currentPage = 0;
}

} // namespace paveno::app
