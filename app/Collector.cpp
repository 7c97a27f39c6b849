// SPDX-License-Identifier: MIT
#include "app/Collector.h"

#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/LibraryLock.h"
#include "app/LibraryStore.h"
#include "app/LibraryWindow.h"
#include "app/PageCutter.h"
#include "app/PageLimits.h"
#include "app/Properties.h"
#include "app/WindowClose.h"
#include "services/ArchiveCheck.h"
#include "services/Files.h"
#include "services/Gbk.h"
#include "services/Http.h"
#include "services/Ini.h"
#include "services/Prefetcher.h"
#include "services/WholeFile.h"
#include "system/SystemOps.h"

#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>

namespace paveno::app {
namespace {

// The working texts of the parse phase. They take the line-break form of the marker window's text boxes, so that
// markers stored with CR LF also match pages sent with LF or CR alone.
struct WorkingTexts {
    Text list;       // the cut list of one page
    Text entry;      // the entry being harvested
    Text remaining;  // the list after that entry
    Text title;      // the title of the current book
    Text coverNote;  // why the current book has no cover, for its report; empty when it has one
    Text archiveUrl; // where the current book's archive comes from, for the failure record
    PageMarkers markers;
};

WorkingTexts& Work() {
    static WorkingTexts texts;
    return texts;
}

std::function<void(const Text&)>& ReportObserver() {
    static std::function<void(const Text&)> observer;
    return observer;
}

// The run in progress, as the wait window's title shows it, and the user's wish to stop it (taken on the window
// thread, read by the transfer's worker).
struct RunProgress {
    bool running = false;
    std::atomic<bool> stop{false};
    std::int32_t page = 0, pages = 0;       // list page, of the pages asked for (fetch phase) or fetched (parse phase)
    std::int32_t book = 0, books = 0;       // entry of that page, of its entries; 0 in the fetch phase
    std::atomic<std::uint64_t> received{0}; // bytes of the archive in flight
    std::unique_ptr<QTimer> ticker;         // refreshes the title while an archive comes in
    std::unique_ptr<Prefetcher> prefetcher; // the next books' files, on their way; none with one connection
};

RunProgress& Progress() {
    static RunProgress progress;
    return progress;
}

bool Stopping() {
    return Progress().stop.load();
}

Text Decimal(std::int32_t n) {
    return ToText(std::int64_t{n});
}

Text SizeText(std::uint64_t bytes) {
    if (bytes < 1000000) return JoinTexts(ToText(RoundNumber(double(bytes) / 1000, 0)), "KB");
    return JoinTexts(ToText(RoundNumber(double(bytes) / 1000000, 1)), "MB");
}

// "第2/5页 第13/20本 1.2MB": where the run is. The stored caption of the window data stays as it is.
void ShowProgress() {
    const RunProgress& p = Progress();
    if (!forms::IsWindowLoaded(等待窗口::id)) return;
    Text title =
        Stopping() ? Gbk("正在停止...") : JoinTexts(Gbk("第"), Decimal(p.page), "/", Decimal(p.pages), Gbk("页"));
    if (!Stopping() && p.books > 0) title += JoinTexts(Gbk(" 第"), Decimal(p.book), "/", Decimal(p.books), Gbk("本"));
    if (!Stopping() && p.received > 0) title += JoinTexts(" ", SizeText(p.received));
    if (ReadText(等待窗口::id, 等待窗口::self, forms::WindowControl::kCaption) != title)
        WriteText(等待窗口::id, 等待窗口::self, forms::WindowControl::kCaption, title);
}

// A fetch of the run: the user's stop ends it at once, and an archive's bytes show in the title as they come. A page
// (list or download page) beyond kPageCap is refused as 文件太大: cutting it would take memory by the hundred MB.
enum class Fetch { Page, Cover, Archive };
Fetched RunFetch(const Text& url, Fetch what = Fetch::Cover) {
    RunProgress& p = Progress();
    FetchControl control;
    control.stop = &p.stop;
    HttpSettings pageLimits = GetHttpSettings();
    pageLimits.bodyCap = std::min(pageLimits.bodyCap, kPageCap);
    if (what == Fetch::Page) control.limits = &pageLimits;
    if (what == Fetch::Archive) {
        control.progress = [&p](std::uint64_t received, std::uint64_t) { p.received = received; };
        control.judge = RefuseUnusableArchive; // a web page, or an archive that does not read through
    }
    Fetched fetched = HttpFetch(url, control);
    p.received = 0;
    if (what == Fetch::Page) RefuseOversizedPage(fetched);
    return fetched;
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

// Takes the next entry off `source` into the working texts.
void NextEntry(const Text& source) {
    WorkingTexts& w = Work();
    EntrySplit split = TakeEntry(source, w.markers);
    w.entry = std::move(split.entry);
    w.remaining = std::move(split.remaining);
}

Text CategoryLabel() {
    const bool finished = FinishedKind();
    const Text name = SelectedItem(CategoryBox(finished));
    return finished ? JoinTexts(Gbk("已完结的"), name) : JoinTexts(Gbk("连载中的"), name, Gbk("小说"));
}

Text Url(const char* host, std::initializer_list<std::string_view> path) {
    Text url = JoinTexts(Text("http://"), host);
    for (auto part : path)
        url += part;
    return url;
}

// Calls `visit` with each entry of a cut list that a harvest will take, in order: at most 20, up to the first
// without a title (where the harvest ends the page).
void ForEachEntry(const Text& list, const PageMarkers& markers,
                  const std::function<void(const Text& entry, const EntryFields& fields)>& visit) {
    EntrySplit split = TakeEntry(list, markers);
    for (int k = 0; k < 20; ++k, split = TakeEntry(split.remaining, markers)) {
        const EntryFields fields = CutEntry(split.entry, markers);
        if (fields.title.empty()) return;
        visit(split.entry, fields);
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

// The running report of the current book; `status` is its size line, or what went wrong with it.
void ShowReport(const Text& status) {
    const CollectionState& s = State();
    const Text report = JoinTexts(Gbk("标题："), Work().title, Gbk(" \r\n作者："), s.bookAuthor, "\r\n", status,
                                  Gbk("\r\n简介："), s.bookIntro, Gbk("\r\n\r\n               共采集"), CountsText(),
                                  Gbk("！  正在采集"), CategoryLabel(), "...");
    WriteText(等待窗口::id, 等待窗口::编辑框1, forms::RichEdit::kContent, report);
    if (ReportObserver()) ReportObserver()(report);
}

Text LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    return Text(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

// Appends the book to 小说\失败记录.txt (a header line with date, time and category first in every run), so that
// the user can see later what is missing and why. A rerun fetches these books again: none of them is present.
// A record that cannot be written (a full disk, a link at its name) is said at once on standard error and again in
// the summary: the user must not trust a record that misses books.
void RecordFailure(const Text& url, const Text& why) {
    CollectionState& s = State();
    const Text path = store::FailureRecordPath(GetRunDirectory());
    int error = 0;
    if (!s.failureHeaderWritten) {
        error = AppendToFile(path, ToBytes(JoinTexts(LocalTimeText(), " ", CategoryLabel(), "\r\n")));
        s.failureHeaderWritten = error == 0;
    }
    if (error == 0) error = AppendToFile(path, ToBytes(JoinTexts(Work().title, "  ", url, "  ", why, "\r\n")));
    if (error != 0 && s.failureRecordProblem.empty()) {
        s.failureRecordProblem = WriteFailureReason(error);
        std::fprintf(stderr, "paveno: %s\n",
                     GbkToUtf8Lossy(JoinTexts(Gbk("失败记录无法写入："), s.failureRecordProblem)).c_str());
    }
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

// The current book could not be collected: it is counted and told as failed, and nothing of it is kept under a final
// name that was not whole. `existed` takes it back out of the present books.
void FailBook(const Text& url, const Text& why, bool existed = false) {
    CollectionState& s = State();
    if (existed) --s.existingCount;
    ++s.failedCount;
    ++s.runFailures;
    RecordFailure(url, why);
    ShowReport(why);
    Delay(s.delayMs);
}

Text ArchiveUrl(const Text& serial) {
    return Url(build::kBookHost, {"/down/2011/", serial, ".rar"});
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

// The addresses of a book's files, from its entry and its serial number in the final form.
struct BookUrls {
    Text textPage, cover, archive;
};

BookUrls UrlsOf(const Text& entry, const PageMarkers& markers, const Text& serial) {
    return {Url(build::kTextHost, {"/txt/", serial, "txt.html#"}),
            Url(build::kPictureHost, {"/dianzishu/UploadPic/", CutCoverName(entry, markers)}), ArchiveUrl(serial)};
}

// What the harvests of a cut list will do: how many books they take, and, when `withUrls`, the addresses they will
// ask for in their order: for every book that will be fetched (not present, with a title the library can hold), its
// download page and cover (when it has a serial number; the cover only while the stored one is small) and its
// archive. The harvest decides the same way, entry by entry.
struct PageAhead {
    std::int32_t books = 0;
    std::vector<Text> urls;
};

PageAhead LookAhead(const Text& list, const PageMarkers& markers, bool withUrls) {
    const bool finished = FinishedKind();
    const Text runDir = GetRunDirectory();
    const Text categoryPath = store::CategoryPath(finished, SelectedItem(CategoryBox(finished)));
    PageAhead ahead;
    ForEachEntry(list, markers, [&](const Text& entry, const EntryFields& fields) {
        ++ahead.books;
        if (!withUrls || fields.intro.empty() || store::TitleProblem(fields.title) ||
            PresentBySize(store::ArchivePath(runDir, categoryPath, fields.title))) {
            return;
        }
        const Text serial = FinalSerial(fields.serial);
        const BookUrls book = UrlsOf(entry, markers, serial);
        if (!serial.empty()) {
            ahead.urls.push_back(book.textPage);
            if (CoverWanted(store::CoverPath(runDir, fields.title))) ahead.urls.push_back(book.cover);
        }
        ahead.urls.push_back(book.archive);
    });
    return ahead;
}

// A download that may be written: whole with a success status. Otherwise `why` says what went wrong.
bool Downloaded(const Fetched& fetched, const char* utf8Prefix, Text& why) {
    if (fetched.outcome.Good()) return true;
    why = JoinTexts(Gbk(utf8Prefix), fetched.outcome.reason);
    return false;
}

bool Saved(const Text& path, const ByteSet& bytes, Text& why) {
    const int error = WriteFileWhole(path, bytes);
    if (error == 0) return true;
    why = JoinTexts(Gbk("保存失败："), WriteFailureReason(error));
    return false;
}

// The run cannot start or go on: the user hears why and is back at the main window.
void RefuseRun(const Text& why) {
    State().runRefused = true;
    Progress().running = false; // the wait window may close now
    MessageBox(why, kMessageOk);
    if (forms::IsWindowLoaded(等待窗口::id)) CloseWindow(等待窗口::id);
    WriteLogical(主窗口::id, 主窗口::self, forms::WindowControl::kShownInTaskbar, true);
    WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, true);
}

void BeginRun() {
    CollectionState& s = State();
    s.runRefused = false;
    s.runFailures = 0;
    s.failureHeaderWritten = false;
    s.failureRecordProblem.clear();
    s.missingListPages = 0;
    // Only one program writes the library at a time, so what a killed run left half-written is the program's own.
    const Text runDir = GetRunDirectory();
    RemoveTemporaryFiles(store::LibraryFolder(runDir));
    RemoveTemporaryFiles(store::CacheFolderPath(runDir));
}

} // namespace

bool CollectionRunning() {
    return Progress().running;
}

void SetReportObserver(std::function<void(const Text&)> observer) {
    ReportObserver() = std::move(observer);
}

void PrepareLibraryFolders() {
    store::PrepareLibraryFolders(
        [](bool finished, int index) { return GetItemText(主窗口::id, CategoryBox(finished), index); });
}

PrefetchSettings& Prefetching() {
    static PrefetchSettings settings;
    return settings;
}

void ReadConnectionsSetting() {
    const double n = ToNumber(ReadIniValue(store::SettingsPath(GetRunDirectory()), Gbk("采集"), Gbk("连接数")));
    Prefetching().connections = n >= 1 && n <= kMaxConnections && n == int(n) ? int(n) : PrefetchSettings{}.connections;
}

bool FetchListPages(bool firstOfRun) {
    CollectionState& s = State();
    s.pageCount = TruncateToInteger(ToNumber(ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent)));
    const bool finished = FinishedKind();
    const std::uint32_t urlBox = finished ? 主窗口::完本网页 : 主窗口::连载网页;
    std::int32_t fetched = 0;
    Progress().pages = s.pageCount;
    for (std::int32_t page = 1; page <= s.pageCount; ++page) {
        Progress().page = page;
        ShowProgress();
        // The address is shown in the (hidden, editable) address box and fetched as the box gives it back.
        WriteText(主窗口::id, urlBox, forms::ComboBox::kContent,
                  JoinTexts(SelectedItem(urlBox), Decimal(page), ".html"));
        const Text url = ReadText(主窗口::id, urlBox, forms::ComboBox::kContent);
        const Text cachePath = store::CachedListPagePath(GetRunDirectory(), SelectedItem(CategoryBox(finished)), page);
        const Fetched listPage = RunFetch(url, Fetch::Page);
        if (Stopping()) break;
        Text why;
        // The run's first page not coming means the site is out of reach, and there is nothing to collect. Any
        // other page that does not come ends its category, as a short page does.
        if (!Downloaded(listPage, "无法连接网站：", why) || !Saved(cachePath, listPage.body, why)) {
            if (page > 1 || !firstOfRun) break;
            RefuseRun(why);
            return false;
        }
        fetched = page;

        const Text pagesLeft = ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent);
        WriteText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent, ToText(ToNumber(pagesLeft) - 1));

        // A page under 3000 bytes is the end of the category; it stays in the cache.
        if (GetFileSize(cachePath) < 3000) break;
        Delay(s.delayMs);
    }
    // The parse phase reads the pages of this run only, and a page count far beyond the site costs nothing.
    s.pageCount = fetched;
    LoadWindow(标记窗口::id, 主窗口::id);
    return true;
}

void ParseListPage(int page) {
    const bool finished = FinishedKind();
    const Text cachePath = store::CachedListPagePath(GetRunDirectory(), SelectedItem(CategoryBox(finished)), page);
    WorkingTexts& w = Work();
    // A page this run fetched and kept is gone (deleted by hand or by another program): its books cannot be counted,
    // and the run must not look whole.
    if (GetFileSize(cachePath) < 0) {
        ++State().missingListPages;
        ++State().runFailures;
    }
    w.markers = MarkersFrom(finished, Marker); // read for each page, as the marker boxes hold them
    w.list = CutList(WithCrLf(ToText(ReadFileBytes(cachePath))), w.markers);

    RunProgress& p = Progress();
    p.page = page;
    p.pages = State().pageCount;
    const PageAhead ahead = LookAhead(w.list, w.markers, p.prefetcher != nullptr);
    p.books = ahead.books;
    if (p.prefetcher) p.prefetcher->Enqueue(ahead.urls);
    NextEntry(w.list);
    for (int k = 1; k <= 20 && !Stopping(); ++k) {
        p.book = std::min(k, p.books);
        ShowProgress();
        HarvestEntry();
        if (w.title.empty()) break;
        NextEntry(w.remaining);
        Delay(State().delayMs);
    }
    if (p.prefetcher) p.prefetcher->DropUntaken();
}

void HarvestEntry() {
    CollectionState& s = State();
    WorkingTexts& w = Work();
    const Text& entry = w.entry;
    bool isNew = true;

    const bool finished = FinishedKind();
    s.categoryPath = store::CategoryPath(finished, SelectedItem(CategoryBox(finished)));

    EntryFields fields = CutEntry(entry, w.markers);
    s.bookSerial = std::move(fields.serial); // the link without ".html"; its last part is the serial number
    w.title = std::move(fields.title);
    s.bookAuthor = std::move(fields.author);
    s.bookIntro = std::move(fields.intro);
    w.coverNote.clear();
    w.archiveUrl = ArchiveUrl(FinalSerial(s.bookSerial));
    const Text& archiveUrl = w.archiveUrl;

    // A title that cannot be a file name or an index key is not fetched at all: nothing of it could be stored.
    if (!w.title.empty() && !s.bookIntro.empty()) {
        if (const auto problem = store::TitleProblem(w.title)) {
            FailBook(archiveUrl, JoinTexts(Gbk("跳过："), *problem));
            return;
        }
    }

    const Text runDir = GetRunDirectory();
    const Text archivePath = store::ArchivePath(runDir, s.categoryPath, w.title);
    if (PresentBySize(archivePath)) {
        isNew = false;
        ++s.existingCount;
    }
    if (w.title.empty() || s.bookIntro.empty()) return;

    if (isNew) {
        s.bookSerial = FinalSerial(s.bookSerial);
        const BookUrls urls = UrlsOf(entry, w.markers, s.bookSerial);
        s.coverUrl = urls.cover;
        s.textPageUrl = urls.textPage;
        if (!s.bookSerial.empty()) {
            // Nothing reads the download page later; it is kept in the cache when it comes whole.
            const Fetched textPage = RunFetch(s.textPageUrl, Fetch::Page);
            if (Stopping()) return;
            if (textPage.outcome.Good()) WriteFileWhole(store::DownloadPagePath(runDir, w.title), textPage.body);
            // A cover of 2000 bytes or less is fetched again, a bounded number of times: a site without the
            // picture must not hold the run for ever. A cover that does not come whole replaces nothing.
            const Text coverPath = store::CoverPath(runDir, w.title);
            Text why;
            for (int attempt = 0; attempt < kCoverAttempts && CoverWanted(coverPath); ++attempt) {
                const Fetched cover = RunFetch(s.coverUrl);
                if (Stopping()) return;
                if (Downloaded(cover, "", why) && Saved(coverPath, cover.body, why)) why = Gbk("图片太小");
            }
            if (CoverWanted(coverPath)) w.coverNote = JoinTexts(Gbk("封面下载失败："), why);
        }
        // A failed download replaces nothing: a good archive from an earlier run stays as it was. A book that the user
        // stopped is left as it was, neither collected nor failed.
        const Fetched archive = RunFetch(archiveUrl, Fetch::Archive);
        if (!archive.outcome.Good() && Stopping()) return;
        Text why;
        if (!Downloaded(archive, "下载失败：", why) || !Saved(archivePath, archive.body, why)) {
            FailBook(archiveUrl, why);
            return;
        }
    }
    s.archiveSizeText = ToText(RoundNumber(GetFileSize(archivePath), 0));
    WriteBookRecord(!isNew);
}

void WriteBookRecord(bool existed) {
    CollectionState& s = State();
    const Text& title = Work().title;
    const Text runDir = GetRunDirectory();

    // The index key comes last: it never points at an archive whose records could not be written.
    Text why;
    if (!Saved(store::IntroductionPath(runDir, s.categoryPath, title), ToBytes(s.bookIntro), why)) {
        FailBook(Work().archiveUrl, why, existed);
        return;
    }
    s.bookAuthor = store::AuthorForRecord(s.bookAuthor);
    const bool indexed = store::HasIndexRecords(title);
    if (indexed &&
        (!WriteIniValue(store::AuthorPath(runDir, s.categoryPath, title), title, store::AuthorKey(), s.bookAuthor) ||
         !WriteIniValue(store::IndexPath(runDir), store::IndexSection(), title,
                        store::ArchivePath(runDir, s.categoryPath, title)))) {
        FailBook(Work().archiveUrl, Gbk("保存失败：无法写入索引"), existed);
        return;
    }
    if (!existed) ++s.successCount;

    const Text kilobytes = ToText(RoundNumber(ToNumber(s.archiveSizeText) / 1000, 0));
    Text status = JoinTexts(Gbk("压缩文件大小："), kilobytes, "KB");
    if (!Work().coverNote.empty()) status += JoinTexts("\r\n", Work().coverNote);
    if (!indexed) status += Gbk("\r\n书名以“[”开头，未写入索引和作者记录");
    ShowReport(status);
    Delay(s.delayMs);
}

namespace {

void ParseFetchedPages() {
    CollectionState& s = State();
    for (s.currentPage = 1; s.currentPage <= s.pageCount && !Stopping(); ++s.currentPage)
        ParseListPage(s.currentPage);
}

// The wait window shows where the run is, and its close asks the run to stop instead of pulling the window from
// under it; the run then ends with its summary.
void StartProgress() {
    RunProgress& p = Progress();
    p.running = true;
    p.stop = false;
    State().collectionStarted = true;
    p.page = p.pages = p.book = p.books = 0;
    WatchClose(等待窗口::id, [] {
        if (!Progress().running) return true;
        Progress().stop = true;
        ShowProgress();
        return false;
    });
    p.ticker = std::make_unique<QTimer>();
    QObject::connect(p.ticker.get(), &QTimer::timeout, [] { ShowProgress(); });
    p.ticker->start(200);
    PrefetchSettings& settings = Prefetching();
    settings.lastConnections = 0;
    settings.lastPeakHeldBytes = 0;
    if (settings.connections > 1) {
        p.prefetcher = std::make_unique<Prefetcher>(
            Prefetcher::Settings{settings.connections, settings.memoryCap, std::chrono::seconds(60)}, &p.stop);
        SetPrefetcher(p.prefetcher.get());
    }
}

void EndProgress() {
    RunProgress& p = Progress();
    p.running = false;
    p.ticker.reset();
    if (p.prefetcher) {
        SetPrefetcher(nullptr);
        Prefetching().lastConnections = p.prefetcher->Connections();
        Prefetching().lastPeakHeldBytes = p.prefetcher->PeakHeldBytes();
        p.prefetcher.reset(); // cancels what is left and waits for its transfers
    }
}

// The summary and its two answers: OK opens the library on the category, Cancel clears the cache and ends.
void AskSummary() {
    EndProgress();
    const Text summary = JoinTexts(Stopping() ? Gbk("采集已停止，共采集") : Gbk("采集完成，共采集"), CountsText(),
                                   RunNotes(), Gbk("！是否查看文件？"));
    if (MessageBox(summary, kMessageOkCancelQuestion) != kResultOk) {
        DeleteFolder(store::CacheFolder());
        forms::EndProgram(0);
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

    // A run stopped before its first page has no marker window.
    for (const std::uint32_t window : {标记窗口::id, 等待窗口::id, 主窗口::id})
        if (forms::IsWindowLoaded(window)) CloseWindow(window);
    WriteText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kFolder,
              JoinTexts(GetRunDirectory(), Gbk("\\小说\\"), folder));
    // The hints follow the folder shown, not the category the window opened on.
    RefreshLibraryHints();
}

} // namespace

void ShowRunSummary() {
    ParseFetchedPages();
    AskSummary();
}

void CollectSelectedCategory() {
    if (CollectionRunning()) return; // a click that came while a run waits starts no second one
    PrepareLibraryFolders();
    if (ReadInteger(主窗口::id, CategoryBox(FinishedKind()), forms::ComboBox::kSelection) == -1) {
        MessageBox(Gbk("小说种类还未选择"), kMessageOk);
        return;
    }
    const LibraryLock lock;
    if (!lock.Held()) return RefuseRun(lock.Problem());
    BeginRun();
    WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, false);
    WriteLogical(主窗口::id, 主窗口::self, forms::WindowControl::kShownInTaskbar, false);
    LoadWindow(等待窗口::id, 主窗口::id);
    StartProgress();
    if (!FetchListPages()) return EndProgress();
    Delay(State().delayMs);
    ShowRunSummary();
    State().currentPage = 0;
}

void CollectAllFinishedCategories() {
    if (CollectionRunning()) return;
    const Text pages = ReadText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent);
    const std::int32_t count = GetItemCount(主窗口::id, 主窗口::完本网页);
    PrepareLibraryFolders();
    const LibraryLock lock;
    if (!lock.Held()) return RefuseRun(lock.Problem());
    BeginRun();
    WriteLogical(主窗口::id, 主窗口::self, forms::kVisible, false);
    // The running report needs the wait window, as in a run of one category.
    LoadWindow(等待窗口::id, 主窗口::id);
    StartProgress();
    // One summary after the last category: a summary per category could not go on (OK closes the windows the
    // next pass reads, Cancel ends the program), so the run would stop after its first category.
    for (std::int32_t i = 0; i < count; ++i) {
        if (i > 0) WriteText(主窗口::id, 主窗口::编辑框1, forms::EditBox::kContent, pages);
        WriteInteger(主窗口::id, 主窗口::完本类, forms::ComboBox::kSelection, i);
        WriteInteger(主窗口::id, 主窗口::完本网页, forms::ComboBox::kSelection, i);
        if (!FetchListPages(i == 0)) return EndProgress();
        if (i > 0) Delay(State().delayMs);
        ParseFetchedPages();
        if (Stopping()) break;
    }
    AskSummary();
    State().currentPage = 0;
}

void 主窗口_按钮2_被单击() {
    CollectSelectedCategory();
}

void 主窗口_按钮1_被单击() {
    CollectAllFinishedCategories();
}

} // namespace paveno::app
