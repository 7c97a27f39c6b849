// SPDX-License-Identifier: MIT
// The library window: browse a category's archives, preview a book's introduction and cover, open an archive, find
// a book by name through the library index, and the rotating name hint in the search box.
//
// Each control's event and its handler, as the window data (forms/windowdata/windows.json) names them:
//   window, 创建完毕                 -> 书库窗口_创建完毕: the first category and the name hints, Enter keys
//   window, 将被销毁                 -> 书库窗口_将被销毁: the program ends
//   单选框1 完本, 被单击             -> 书库窗口_单选框1_被单击: the finished categories show
//   单选框2 连载中, 被单击           -> 书库窗口_单选框2_被单击: the serialised categories show
//   完本类, 列表项被选择             -> 书库窗口_完本类_列表项被选择: its folder shows
//   连载类 (hidden), 列表项被选择    -> 书库窗口_连载类_列表项被选择: its folder shows
//   文件框1, 列表项被选择            -> 书库窗口_文件框1_列表项被选择: the book's introduction and cover
//   文件框1, 被双击                  -> 书库窗口_文件框1_被双击: the archive opens
//   按钮1 搜索文件, 被单击           -> 书库窗口_按钮1_被单击: the book named in 编辑框1 is looked up
//   编辑框1, 获得焦点 / 失去焦点     -> 书库窗口_编辑框1_获得焦点 / 书库窗口_编辑框1_失去焦点: hints stop / resume
//   时钟1, 周期事件                  -> 书库窗口_时钟1_周期事件: the next name hint
// Enter in 编辑框1 searches, Enter on a book opens it (set at creation).
#include "app/LibraryWindow.h"
#include "AppWindows.h"
#include "app/CollectionState.h"
#include "app/LibraryStore.h"
#include "app/Properties.h"
#include "app/UserActions.h"
#include "app/WindowKeys.h"
#include "forms/Engine.h"
#include "forms/kinds/EditBox.h"
#include "forms/kinds/FileBox.h"
#include "forms/kinds/ListBox.h"
#include "services/FileSearch.h"
#include "services/Files.h"
#include "services/Gbk.h"
#include "services/GbkScan.h"
#include "services/Ini.h"
#include "services/RunDirectory.h"
#include "system/SystemOps.h"

#include <QLineEdit>
#include <QListWidget>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace paveno::app {
namespace {

constexpr std::int32_t kHintIntervalMs = 5000;
constexpr int kExtensionLength = 4; // ".rar"

Text DropRight(const Text& text, int n) {
    return LeftText(text, TextLength(text) - n);
}

bool FinishedMode() {
    return ReadLogical(书库窗口::id, 书库窗口::单选框1, forms::CheckButton::kChecked);
}

Text SelectedCategory(bool finished) {
    return ReadText(书库窗口::id, finished ? 书库窗口::完本类 : 书库窗口::连载类, forms::ComboBox::kContent);
}

std::uint32_t CategoryBox(bool finished) {
    return finished ? 书库窗口::完本类 : 书库窗口::连载类;
}

Text CategoryFolderOf(bool finished, const Text& category) {
    return store::CategoryFolder(GetRunDirectory(), store::CategoryPath(finished, category));
}

// The archive names (with their ending) in a folder, in the file search's order.
std::vector<Text> ArchivesIn(const Text& folder) {
    std::vector<Text> names;
    int search = 0;
    for (Text name = FindFileFirst(JoinTexts(folder, gbk::EndsInSeparator(folder, "\\") ? "*.rar" : "\\*.rar"),
                                   FindFilter::FilesOnly(), search);
         !name.empty(); name = FindFileNext(search))
        names.push_back(std::move(name));
    CloseFileFind(search);
    return names;
}

// The archive names of every category folder the window has looked at, for the part-name search: each folder is
// listed once per window, and the one shown again each time it is shown, so that a search reads no folder.
using Shelves = std::map<Text, std::vector<Text>>; // by folder
std::unique_ptr<Shelves> gShelves;

const std::vector<Text>& ArchivesOnShelf(const Text& folder) {
    if (!gShelves) gShelves = std::make_unique<Shelves>();
    auto shelf = gShelves->find(folder);
    if (shelf == gShelves->end()) shelf = gShelves->emplace(folder, ArchivesIn(folder)).first;
    return shelf->second;
}

void ShowCategoryFolder(bool finished) {
    WriteText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kFolder,
              CategoryFolderOf(finished, SelectedCategory(finished)));
}

// A new listing selects nothing: the introduction and cover of the book looked at go with it, unless the same
// folder was listed again and the book is still there.
void ShowCategoryFolderKeepingBook(bool finished) {
    const Text folder = ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kFolder);
    const Text book = ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile);
    ShowCategoryFolder(finished);
    if (!book.empty() && ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kFolder) == folder) {
        WriteText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile, book);
        if (ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile) == book) return;
    }
    WriteText(书库窗口::id, 书库窗口::标签1, forms::TransparentLabel::kCaption, Text());
    WriteBytes(书库窗口::id, 书库窗口::图片框1, forms::PictureBox::kPicture, ByteSet());
}

// A change of kind or category: the new folder, the focus on its list, the user's response delay, new hints.
void ShowCategory(bool finished) {
    ShowCategoryFolderKeepingBook(finished);
    SetFocus(书库窗口::id, 书库窗口::文件框1);
    Delay(State().delayMs);
    RefreshLibraryHints();
}

void ShowKind(bool finished) {
    WriteLogical(书库窗口::id, 书库窗口::完本类, forms::kVisible, finished);
    WriteLogical(书库窗口::id, 书库窗口::连载类, forms::kVisible, !finished);
    ShowCategory(finished);
}

// Where an archive of the library lies: the kind, the category's item in its box, the file name.
struct Shelved {
    bool finished;
    std::int32_t category;
    Text file;
};

// Every category folder, the one shown first, so that a book found there is found without leaving it.
template <class Visit> void ForEachCategory(Visit visit) {
    const bool shownFinished = FinishedMode();
    const std::int32_t shownCategory =
        ReadInteger(书库窗口::id, CategoryBox(shownFinished), forms::ComboBox::kSelection);
    if (shownCategory >= 0) visit(shownFinished, shownCategory);
    for (bool finished : {true, false}) {
        const std::int32_t count = GetItemCount(书库窗口::id, CategoryBox(finished));
        for (std::int32_t i = 0; i < count; ++i) {
            if (finished != shownFinished || i != shownCategory) visit(finished, i);
        }
    }
}

Text CategoryFolderAt(bool finished, std::int32_t category) {
    return CategoryFolderOf(finished, GetItemText(书库窗口::id, CategoryBox(finished), category));
}

// Blanks around a typed name are no part of it (the index lookup skips the leading ones too). No GBK byte of a
// double-byte character is a blank, so bytes are safe to drop here.
Text WithoutBlanks(const Text& text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? Text(first, last) : Text();
}

// The archives whose book names hold `part` (ASCII letters in any case).
std::vector<Shelved> BooksContaining(const Text& part) {
    std::vector<Shelved> found;
    ForEachCategory([&](bool finished, std::int32_t category) {
        for (const Text& file : ArchivesOnShelf(CategoryFolderAt(finished, category))) {
            if (FindText(DropRight(file, kExtensionLength), part, std::nullopt, true) >= 0)
                found.push_back({finished, category, file});
        }
    });
    return found;
}

// The shelf of an archive path from the index, when it lies in one of the window's category folders.
std::optional<Shelved> ShelfOf(const Text& archivePath) {
    std::optional<Shelved> shelf;
    ForEachCategory([&](bool finished, std::int32_t category) {
        const Text folder = JoinTexts(CategoryFolderAt(finished, category), "\\");
        if (shelf || LeftText(archivePath, TextLength(folder)) != folder) return;
        const Text file = RightText(archivePath, TextLength(archivePath) - TextLength(folder));
        if (FindText(file, "\\") < 0) shelf = Shelved{finished, category, file};
    });
    return shelf;
}

// Shows a book as a user would pick it: its kind and category, then the book selected, its introduction and cover.
void ShowShelved(const Shelved& book) {
    if (book.finished != FinishedMode() ||
        book.category != ReadInteger(书库窗口::id, CategoryBox(book.finished), forms::ComboBox::kSelection)) {
        WriteLogical(书库窗口::id, 书库窗口::单选框1, forms::CheckButton::kChecked, book.finished);
        WriteLogical(书库窗口::id, 书库窗口::单选框2, forms::CheckButton::kChecked, !book.finished);
        WriteInteger(书库窗口::id, CategoryBox(book.finished), forms::ComboBox::kSelection, book.category);
        ShowKind(book.finished);
    }
    WriteText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile, book.file);
    书库窗口_文件框1_列表项被选择();
}

constexpr std::size_t kNamesListed = 10;

// No book has the typed name: the books whose names hold it are offered, the first shown and selected.
void OfferBooksContaining(const Text& name, const std::vector<Shelved>& books) {
    ShowShelved(books.front());
    Text text = JoinTexts(Gbk("没有书名为“"), name, Gbk("”的小说，书名含有它的有"),
                          ToText(static_cast<std::int64_t>(books.size())), Gbk("本："));
    for (std::size_t i = 0; i < books.size() && i < kNamesListed; ++i)
        text = JoinTexts(text, "\r\n  ", DropRight(books[i].file, kExtensionLength));
    if (books.size() > kNamesListed) text = JoinTexts(text, "\r\n  ", Gbk("……"));
    text = JoinTexts(text, Gbk("\r\n已选中第一本，是否打开？"));
    if (MessageBox(text, forms::kBoxOkCancel) == forms::kAnswerOk) {
        OpenWebPage(
            JoinTexts(CategoryFolderAt(books.front().finished, books.front().category), "\\", books.front().file));
    }
}

// A hint takes the place of a hint or of nothing, never of a name the user typed.
bool UserTypedSearch() {
    const auto* box = dynamic_cast<const forms::EditBox*>(forms::FindLiveControl(书库窗口::id, 书库窗口::编辑框1));
    return box && box->editedByUser() && !box->content().empty();
}

} // namespace

// The hints are the archives among the files that the file box has just listed: the folder is read once per show.
// They also bring the search's copy of that folder up to date.
void RefreshLibraryHints() {
    auto* files = dynamic_cast<forms::FileBox*>(forms::FindLiveControl(书库窗口::id, 书库窗口::文件框1));
    auto* hints = dynamic_cast<forms::ListBox*>(forms::FindLiveControl(书库窗口::id, 书库窗口::列表框1));
    if (!files || !hints) return;
    std::vector<Text> archives, names;
    for (const Text& file : files->list().items()) {
        if (!FileNameMatches(file, "*.rar")) continue;
        names.push_back(DropRight(file, kExtensionLength));
        archives.push_back(file);
    }
    hints->list().Fill(std::move(names));
    if (!gShelves) gShelves = std::make_unique<Shelves>();
    (*gShelves)[files->folder()] = std::move(archives);
}

void 书库窗口_创建完毕() {
    gShelves.reset(); // a new window reads the library afresh
    // Every name is one line in one font: the list need not measure each of 50,000 names to lay them out.
    for (const std::uint32_t list : {书库窗口::文件框1, 书库窗口::列表框1}) {
        if (auto* control = forms::FindLiveControl(书库窗口::id, list))
            if (auto* widget = qobject_cast<QListWidget*>(control->widget())) widget->setUniformItemSizes(true);
    }
    ShowCategoryFolder(true);
    RefreshLibraryHints();
    // Enter in the search box searches, as in any search field.
    if (auto* box = dynamic_cast<forms::EditBox*>(forms::FindLiveControl(书库窗口::id, 书库窗口::编辑框1))) {
        QObject::connect(box->edit(), &QLineEdit::returnPressed, box->edit(),
                         [] { ClickControl(书库窗口::id, 书库窗口::按钮1); });
    }
    // Enter on a book opens it, as a double-click does.
    OnEnter(书库窗口::id, 书库窗口::文件框1, [] {
        if (!ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile).empty())
            书库窗口_文件框1_被双击();
    });
}

// Closing the library window ends the program; the page cache stays for the next collection.
void 书库窗口_将被销毁() {
    gShelves.reset();
    forms::EndProgram(0);
}

void 书库窗口_单选框1_被单击() {
    ShowKind(true);
}

void 书库窗口_单选框2_被单击() {
    ShowKind(false);
}

void 书库窗口_完本类_列表项被选择() {
    ShowCategory(true);
}

void 书库窗口_连载类_列表项被选择() {
    ShowCategory(false);
}

void 书库窗口_文件框1_列表项被选择() {
    const Text runDir = GetRunDirectory();
    const Text book =
        DropRight(ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile), kExtensionLength);
    const bool finished = FinishedMode();
    const Text categoryPath = store::CategoryPath(finished, SelectedCategory(finished));
    const Text heading = JoinTexts(book, Gbk(" 简介：\r\n  "));
    // Read whole and closed again: a file number kept open for every book looked at would use up the descriptors.
    WriteText(书库窗口::id, 书库窗口::标签1, forms::TransparentLabel::kCaption,
              JoinTexts(heading, ReadTextFile(store::IntroductionPath(runDir, categoryPath, book))));
    if (ReadText(书库窗口::id, 书库窗口::标签1, forms::TransparentLabel::kCaption) == heading) {
        WriteText(书库窗口::id, 书库窗口::标签1, forms::TransparentLabel::kCaption,
                  JoinTexts(heading, Gbk("该文件没有简介  或者重新采集下该类文件！！")));
    }
    WriteBytes(书库窗口::id, 书库窗口::图片框1, forms::PictureBox::kPicture,
               ReadFileBytes(store::CoverPath(runDir, book)));
}

void 书库窗口_文件框1_被双击() {
    OpenWebPage(JoinTexts(ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kFolder), "\\",
                          ReadText(书库窗口::id, 书库窗口::文件框1, forms::FileBox::kSelectedFile)));
}

void 书库窗口_按钮1_被单击() {
    Text name = ReadText(书库窗口::id, 书库窗口::编辑框1, forms::EditBox::kContent);
    if (RightText(name, kExtensionLength) == ".rar") name = DropRight(name, kExtensionLength);
    if (RightText(name, 3) == "rar") name = DropRight(name, 3);
    const Text path = ReadIniValue(store::IndexPath(GetRunDirectory()), store::IndexSection(), name);
    if (!path.empty()) {
        if (const auto shelf = ShelfOf(path)) ShowShelved(*shelf);
        if (MessageBox(Gbk("寻找成功，是否打开？"), forms::kBoxOkCancel) == forms::kAnswerOk) OpenWebPage(path);
        return;
    }
    if (const Text part = WithoutBlanks(name); !part.empty()) {
        if (const auto books = BooksContaining(part); !books.empty()) {
            OfferBooksContaining(part, books);
            return;
        }
    }
    MessageBox(Gbk("寻找失败，原因如下：\r\n  ①：本文件不存在\r\n  ②：本文件存在但是本程序更新后没有采集过本类小"
                   "说，采集时不论是否成功、失败！！"),
               forms::kBoxOk | forms::kBoxIconInformation);
}

// No hints while the user types a name; they come back when the search box is left.
void 书库窗口_编辑框1_获得焦点() {
    WriteInteger(书库窗口::id, 书库窗口::时钟1, forms::Timer::kInterval, 0);
}

void 书库窗口_编辑框1_失去焦点() {
    WriteInteger(书库窗口::id, 书库窗口::时钟1, forms::Timer::kInterval, kHintIntervalMs);
}

void 书库窗口_时钟1_周期事件() {
    if (UserTypedSearch()) return;
    const std::int32_t count = GetListItemCount(书库窗口::id, 书库窗口::列表框1);
    if (count == 0) {
        WriteText(书库窗口::id, 书库窗口::编辑框1, forms::EditBox::kContent, Text());
        return;
    }
    WriteText(书库窗口::id, 书库窗口::编辑框1, forms::EditBox::kContent,
              GetListItemText(书库窗口::id, 书库窗口::列表框1, RandomNumber(0, count - 1)));
}

} // namespace paveno::app
