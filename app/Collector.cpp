// SPDX-License-Identifier: MIT
#include "app/Collector.h"

#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/LibraryStore.h"
#include "app/LibraryWindow.h"
#include "app/PageCutter.h"
#include "app/Properties.h"
#include "services/Files.h"
#include "services/Gbk.h"
#include "services/Http.h"
#include "services/Ini.h"
#include "services/system/SystemOps.h"

namespace paveno::app {
namespace {

// The working texts of the parse phase. They take the line-break form of the marker window's text boxes, so that
// markers stored with CR LF also match pages sent with LF or CR alone.
struct WorkingTexts {
    Text list;      // the cut list of one page
    Text entry;     // the entry being harvested
    Text remaining; // the list after that entry
    Text title;     // the title of the current book
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

Text Marker(std::uint32_t control) {
    return ReadText(标记窗口::id, control, kRichContent);
}

bool FinishedKind() {
    return ReadLogical(主窗口::id, 主窗口::单选框1, kChecked);
}

std::uint32_t CategoryBox(bool finished) {
    return finished ? 主窗口::完本类 : 主窗口::连载类;
}

// The item of a main window combo box at its current selection.
Text SelectedItem(std::uint32_t box) {
    return GetItemText(主窗口::id, box, ReadInteger(主窗口::id, box, kSelection));
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

Text Decimal(std::int32_t n) {
    return ToText(std::int64_t{n});
}

} // namespace

void SetReportObserver(std::function<void(const Text&)> observer) {
    ReportObserver() = std::move(observer);
}

void PrepareLibraryFolders() {
    store::PrepareLibraryFolders(
        [](bool finished, int index) { return GetItemText(主窗口::id, CategoryBox(finished), index); });
}

void FetchListPages() {
    CollectionState& s = State();
    s.pageCount = TruncateToInteger(ToNumber(ReadText(主窗口::id, 主窗口::编辑框1, kEditContent)));
    const bool finished = FinishedKind();
    const std::uint32_t urlBox = finished ? 主窗口::完本网页 : 主窗口::连载网页;
    for (std::int32_t page = 1; page <= s.pageCount; ++page) {
        // The address is shown in the (hidden, editable) address box and fetched as the box gives it back.
        WriteText(主窗口::id, urlBox, kComboContent, JoinTexts(SelectedItem(urlBox), Decimal(page), ".html"));
        const Text url = ReadText(主窗口::id, urlBox, kComboContent);
        const Text cachePath = store::CachedListPagePath(GetRunDirectory(), SelectedItem(CategoryBox(finished)), page);
        WriteFileBytes(cachePath, HttpReadFile(url));

        const Text pagesLeft = ReadText(主窗口::id, 主窗口::编辑框1, kEditContent);
        WriteText(主窗口::id, 主窗口::编辑框1, kEditContent, ToText(ToNumber(pagesLeft) - 1));

        // A page under 3000 bytes is the end of the category (or a failed fetch); it stays in the cache.
        if (GetFileSize(cachePath) < 3000) break;
        Delay(s.delayMs);
    }
    LoadWindow(标记窗口::id, 主窗口::id);
}

void ParseListPage(int page) {
    const bool finished = FinishedKind();
    const Text cachePath = store::CachedListPagePath(GetRunDirectory(), SelectedItem(CategoryBox(finished)), page);
    WorkingTexts& w = Work();
    w.markers = MarkersFrom(finished, Marker); // read for each page, as the marker boxes hold them
    w.list = CutList(WithCrLf(ToText(ReadFileBytes(cachePath))), w.markers);

    NextEntry(w.list);
    for (int k = 1; k <= 20; ++k) {
        HarvestEntry();
        if (w.title.empty()) break;
        NextEntry(w.remaining);
        Delay(State().delayMs);
    }
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

    const Text runDir = GetRunDirectory();
    const Text archivePath = store::ArchivePath(runDir, s.categoryPath, w.title);
    // A finished book counts as present from 30001 bytes on, a serialised one from 300001 bytes on unless the
    // overwrite box asks for a new download.
    if (ReadLogical(主窗口::id, 主窗口::单选框1, kChecked) && GetFileSize(archivePath) > 30000) {
        isNew = false;
        ++s.existingCount;
    }
    if (ReadLogical(主窗口::id, 主窗口::单选框2, kChecked) && GetFileSize(archivePath) > 300000 &&
        !ReadLogical(主窗口::id, 主窗口::选择框1, kChecked)) {
        isNew = false;
        ++s.existingCount;
    }
    if (w.title.empty() || s.bookIntro.empty()) return;

    // Nothing can be stored for a title that is no file name, so nothing is fetched for it either.
    if (isNew && store::IsValidTitle(w.title)) {
        s.coverUrl = Url(build::kPictureHost, {"/dianzishu/UploadPic/", CutCoverName(entry, w.markers)});
        s.bookSerial = FinalSerial(s.bookSerial);
        s.textPageUrl = Url(build::kTextHost, {"/txt/", s.bookSerial, "txt.html#"});
        if (!s.bookSerial.empty()) {
            WriteFileBytes(store::DownloadPagePath(runDir, w.title), HttpReadFile(s.textPageUrl));
            // A cover of 2000 bytes or less is fetched again, a bounded number of times: a site without the
            // picture must not hold the run for ever.
            const Text coverPath = store::CoverPath(runDir, w.title);
            for (int attempt = 0; attempt < kCoverAttempts && GetFileSize(coverPath) <= 2000; ++attempt) {
                WriteFileBytes(coverPath, HttpReadFile(s.coverUrl));
            }
        }
        WriteFileBytes(archivePath, HttpReadFile(Url(build::kBookHost, {"/down/2011/", s.bookSerial, ".rar"})));
    }
    s.archiveSizeText = ToText(RoundNumber(GetFileSize(archivePath), 0));
    WriteBookRecord(!isNew);
}

void WriteBookRecord(bool existed) {
    CollectionState& s = State();
    const Text& title = Work().title;
    const Text runDir = GetRunDirectory();
    const Text label = CategoryLabel();

    // A title that cannot be a file name has no record files; its index key would point at no archive.
    if (store::IsValidTitle(title)) {
        WriteFileBytes(store::IntroductionPath(runDir, s.categoryPath, title), ToBytes(s.bookIntro));
        WriteIniValue(store::AuthorPath(runDir, s.categoryPath, title), title, store::AuthorKey(), s.bookAuthor);
        WriteIniValue(store::IndexPath(runDir), store::IndexSection(), title,
                      store::ArchivePath(runDir, s.categoryPath, title));
    }
    if (!existed) ++s.successCount;

    const Text kilobytes = ToText(RoundNumber(ToNumber(s.archiveSizeText) / 1000, 0));
    const Text report =
        JoinTexts(Gbk("标题："), title, Gbk(" \r\n作者："), s.bookAuthor, Gbk("\r\n压缩文件大小："), kilobytes,
                  Gbk("KB\r\n简介："), s.bookIntro, Gbk("\r\n\r\n               共采集"),
                  Decimal(s.successCount + s.existingCount), Gbk("篇小说，其中已存在"), Decimal(s.existingCount),
                  Gbk("篇小说，本次成功采集"), Decimal(s.successCount), Gbk("篇小说！  正在采集"), label, "...");
    WriteText(等待窗口::id, 等待窗口::编辑框1, kRichContent, report);
    if (ReportObserver()) ReportObserver()(report);
    Delay(s.delayMs);
}

namespace {

void ParseFetchedPages() {
    CollectionState& s = State();
    for (s.currentPage = 1; s.currentPage <= s.pageCount; ++s.currentPage)
        ParseListPage(s.currentPage);
}

// The summary and its two answers: OK opens the library on the category, Cancel clears the cache and ends.
void AskSummary() {
    CollectionState& s = State();
    const Text summary = JoinTexts(Gbk("采集完成，共采集"), Decimal(s.successCount + s.existingCount),
                                   Gbk("篇小说，其中已存在"), Decimal(s.existingCount), Gbk("篇小说，本次成功采集"),
                                   Decimal(s.successCount), Gbk("篇小说！是否查看文件？"));
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
    WriteInteger(书库窗口::id, libraryBox, kSelection, ReadInteger(主窗口::id, box, kSelection));
    WriteLogical(书库窗口::id, 书库窗口::单选框1, kChecked, finished);
    WriteLogical(书库窗口::id, 书库窗口::单选框2, kChecked, !finished);
    WriteLogical(书库窗口::id, 书库窗口::连载类, kVisible, !finished);
    WriteLogical(书库窗口::id, 书库窗口::完本类, kVisible, finished);

    CloseWindow(标记窗口::id);
    CloseWindow(等待窗口::id);
    CloseWindow(主窗口::id);
    WriteText(书库窗口::id, 书库窗口::文件框1, kFolder, JoinTexts(GetRunDirectory(), Gbk("\\小说\\"), folder));
    // The hints follow the folder shown, not the category the window opened on.
    RefreshLibraryHints();
}

} // namespace

void ShowRunSummary() {
    ParseFetchedPages();
    AskSummary();
}

void CollectSelectedCategory() {
    PrepareLibraryFolders();
    if (ReadInteger(主窗口::id, CategoryBox(FinishedKind()), kSelection) == -1) {
        MessageBox(Gbk("小说种类还未选择"), kMessageOk);
        return;
    }
    WriteLogical(主窗口::id, 主窗口::self, kVisible, false);
    WriteLogical(主窗口::id, 主窗口::self, kShownInTaskbar, false);
    LoadWindow(等待窗口::id, 主窗口::id);
    FetchListPages();
    Delay(State().delayMs);
    ShowRunSummary();
    State().currentPage = 0;
}

void CollectAllFinishedCategories() {
    const Text pages = ReadText(主窗口::id, 主窗口::编辑框1, kEditContent);
    const std::int32_t count = GetItemCount(主窗口::id, 主窗口::完本网页);
    PrepareLibraryFolders();
    WriteLogical(主窗口::id, 主窗口::self, kVisible, false);
    // The running report needs the wait window, as in a run of one category.
    LoadWindow(等待窗口::id, 主窗口::id);
    // One summary after the last category: a summary per category could not go on (OK closes the windows the
    // next pass reads, Cancel ends the program), so the run would stop after its first category.
    for (std::int32_t i = 0; i < count; ++i) {
        if (i > 0) WriteText(主窗口::id, 主窗口::编辑框1, kEditContent, pages);
        WriteInteger(主窗口::id, 主窗口::完本类, kSelection, i);
        WriteInteger(主窗口::id, 主窗口::完本网页, kSelection, i);
        FetchListPages();
        if (i > 0) Delay(State().delayMs);
        ParseFetchedPages();
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
