// SPDX-License-Identifier: MIT
// The library window: browse a category's archives, preview a book's introduction and cover, open an archive, find
// a book by name through the library index, and the rotating name hint in the search box.
#include "app/LibraryWindow.h"
#include "AppWindows.h"
#include "app/CollectionState.h"
#include "app/LibraryStore.h"
#include "app/Properties.h"
#include "forms/Engine.h"
#include "services/Files.h"
#include "services/Gbk.h"
#include "services/Ini.h"
#include "services/system/SystemOps.h"

namespace paveno::app {
namespace {

constexpr std::int32_t kHintIntervalMs = 5000;
constexpr int kExtensionLength = 4; // ".rar"

Text DropRight(const Text& text, int n) {
    return LeftText(text, TextLength(text) - n);
}

bool FinishedMode() {
    return ReadLogical(书库窗口::id, 书库窗口::单选框1, kChecked);
}

Text SelectedCategory(bool finished) {
    return ReadText(书库窗口::id, finished ? 书库窗口::完本类 : 书库窗口::连载类, kComboContent);
}

// Whether a GBK path ends in a backslash; the trail byte of a double-byte character may be 0x5C and is none.
bool EndsInBackslash(const Text& path) {
    bool last = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        last = byte == '\\';
        if (byte >= 0x81 && byte <= 0xFE && i + 1 < path.size()) ++i;
    }
    return last;
}

void ShowCategoryFolder(bool finished) {
    WriteText(书库窗口::id, 书库窗口::文件框1, kFolder,
              store::CategoryFolder(GetRunDirectory(), store::CategoryPath(finished, SelectedCategory(finished))));
}

// A change of kind or category: the new folder, the focus on its list, the user's response delay, new hints.
void ShowCategory(bool finished) {
    ShowCategoryFolder(finished);
    SetFocus(书库窗口::id, 书库窗口::文件框1);
    Delay(State().delayMs);
    RefreshLibraryHints();
}

void ShowKind(bool finished) {
    WriteLogical(书库窗口::id, 书库窗口::完本类, kVisible, finished);
    WriteLogical(书库窗口::id, 书库窗口::连载类, kVisible, !finished);
    ShowCategory(finished);
}

} // namespace

void RefreshLibraryHints() {
    const Text folder = ReadText(书库窗口::id, 书库窗口::文件框1, kFolder);
    const Text pattern = JoinTexts(folder, EndsInBackslash(folder) ? "*.rar" : "\\*.rar");
    int search = 0;
    Text name = FindFileFirst(pattern, FindFilter::FilesOnly(), search);
    ClearListItems(书库窗口::id, 书库窗口::列表框1);
    while (!name.empty()) {
        AddListItem(书库窗口::id, 书库窗口::列表框1, DropRight(name, kExtensionLength));
        name = FindFileNext(search);
    }
    CloseFileFind(search);
}

void 书库窗口_创建完毕() {
    ShowCategoryFolder(true);
    RefreshLibraryHints();
}

// Closing the library window ends the program; the page cache stays for the next collection.
void 书库窗口_将被销毁() {
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
    const Text book = DropRight(ReadText(书库窗口::id, 书库窗口::文件框1, kSelectedFile), kExtensionLength);
    const bool finished = FinishedMode();
    const Text categoryPath = store::CategoryPath(finished, SelectedCategory(finished));
    const Text heading = JoinTexts(book, Gbk(" 简介：\r\n  "));
    // Read whole and closed again: a file number kept open for every book looked at would use up the descriptors.
    WriteText(书库窗口::id, 书库窗口::标签1, kCaption,
              JoinTexts(heading, ReadTextFile(store::IntroductionPath(runDir, categoryPath, book))));
    if (ReadText(书库窗口::id, 书库窗口::标签1, kCaption) == heading) {
        WriteText(书库窗口::id, 书库窗口::标签1, kCaption,
                  JoinTexts(heading, Gbk("该文件没有简介  或者重新采集下该类文件！！")));
    }
    WriteBytes(书库窗口::id, 书库窗口::图片框1, kPicture, ReadFileBytes(store::CoverPath(runDir, book)));
}

void 书库窗口_文件框1_被双击() {
    OpenWebPage(JoinTexts(ReadText(书库窗口::id, 书库窗口::文件框1, kFolder), "\\",
                          ReadText(书库窗口::id, 书库窗口::文件框1, kSelectedFile)));
}

void 书库窗口_按钮1_被单击() {
    Text name = ReadText(书库窗口::id, 书库窗口::编辑框1, kEditContent);
    if (RightText(name, kExtensionLength) == ".rar") name = DropRight(name, kExtensionLength);
    if (RightText(name, 3) == "rar") name = DropRight(name, 3);
    const Text path = ReadIniValue(store::IndexPath(GetRunDirectory()), store::IndexSection(), name);
    if (!path.empty()) {
        if (MessageBox(Gbk("寻找成功，是否打开？"), kMessageOkCancel) == kResultOk) OpenWebPage(path);
        return;
    }
    MessageBox(Gbk("寻找失败，原因如下：\r\n  ①：本文件不存在\r\n  ②：本文件存在但是本程序更新后没有采集过本类小"
                   "说，采集时不论是否成功、失败！！"),
               kMessageOkInformation);
}

// No hints while the user types a name; they come back when the search box is left.
void 书库窗口_编辑框1_获得焦点() {
    WriteInteger(书库窗口::id, 书库窗口::时钟1, kInterval, 0);
}

void 书库窗口_编辑框1_失去焦点() {
    WriteInteger(书库窗口::id, 书库窗口::时钟1, kInterval, kHintIntervalMs);
}

void 书库窗口_时钟1_周期事件() {
    const std::int32_t count = GetListItemCount(书库窗口::id, 书库窗口::列表框1);
    if (count == 0) {
        WriteText(书库窗口::id, 书库窗口::编辑框1, kEditContent, Text());
        return;
    }
    WriteText(书库窗口::id, 书库窗口::编辑框1, kEditContent,
              GetListItemText(书库窗口::id, 书库窗口::列表框1, RandomNumber(0, count - 1)));
}

} // namespace paveno::app
