// SPDX-License-Identifier: MIT
#include "app/LibraryStore.h"

#include "services/Folders.h"
#include "services/Gbk.h"
#include "services/GbkScan.h"
#include "services/Ini.h"
#include "services/TextOps.h"
#include "services/WholeFile.h"

#include <climits>

namespace paveno::store {

Text FinishedWord() {
    return Gbk("完本");
}
Text SerialisedWord() {
    return Gbk("连载中");
}
Text CacheFolder() {
    return Gbk("缓存");
}
Text IndexSection() {
    return Gbk("小说");
}
Text AuthorKey() {
    return Gbk("作者");
}

namespace {
Text LibraryRoot() {
    return Gbk("小说");
}
} // namespace

Text CategoryPath(bool finished, const Text& categoryName) {
    return JoinTexts(finished ? FinishedWord() : SerialisedWord(), "\\", categoryName);
}

bool IsValidTitle(const Text& title) {
    if (title.empty() || title == "." || title == "..") return false;
    // A double-byte character is fine whatever its trail byte; a byte of its own must be a plain name character.
    bool valid = true;
    gbk::ForEachChar(title, [&](size_t at, size_t width) {
        const auto byte = static_cast<unsigned char>(title[at]);
        if (width == 1 && (byte < 0x20 || byte == 0x7F || byte >= 0x80 ||
                           std::string_view("\\/:*?\"<>|").find(static_cast<char>(byte)) != std::string_view::npos))
            valid = false;
    });
    return valid;
}

bool HasIndexRecords(const Text& title) {
    return title.empty() || title.front() != '[';
}

Text AuthorForRecord(const Text& author) {
    // No GBK trail byte is a control byte, so bytes can be replaced one by one.
    Text clean = author;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return clean;
}

std::optional<Text> TitleProblem(const Text& title) {
    if (!IsValidTitle(title)) return Gbk("书名不能用作文件名");
    // A title opening with "[" is stored without its index key and author record (see HasIndexRecords); any other
    // title must be a name both can hold.
    if (title.find('=') != Text::npos || title.front() == ';' ||
        (HasIndexRecords(title) && (!IsStorableIniKey(title) || !IsStorableIniSection(title)))) {
        return Gbk("书名不能用作索引");
    }
    // Linux counts a name's bytes in UTF-8; the longest name the store makes is the cached download page's.
    const auto name = GbkToUtf8(JoinTexts(title, Gbk("下载页.html")));
    if (!name) return Gbk("书名不能用作文件名");
    if (name->size() > NAME_MAX) return Gbk("书名太长");
    return std::nullopt;
}

Text CachedListPagePath(const Text& runDir, const Text& categoryName, int page) {
    return JoinTexts(runDir, "\\", CacheFolder(), "\\", categoryName, "\\", ToText(std::int64_t{page}), ".html");
}

Text IndexPath(const Text& runDir) {
    return JoinTexts(runDir, "\\", LibraryRoot(), "\\ini\\", LibraryRoot(), ".ini");
}

Text LockPath(const Text& runDir) {
    return LibraryFolder(runDir);
}

Text FailureRecordPath(const Text& runDir) {
    return JoinTexts(LibraryFolder(runDir), Gbk("\\失败记录.txt"));
}

Text SettingsPath(const Text& runDir) {
    return JoinTexts(LibraryFolder(runDir), Gbk("\\ini\\设置.ini"));
}

Text ValidatorsPath(const Text& runDir) {
    return JoinTexts(LibraryFolder(runDir), Gbk("\\ini\\下载校验.ini"));
}

Text LibraryFolder(const Text& runDir) {
    return JoinTexts(runDir, "\\", LibraryRoot());
}

Text CacheFolderPath(const Text& runDir) {
    return JoinTexts(runDir, "\\", CacheFolder());
}

Text CategoryFolder(const Text& runDir, const Text& categoryPath) {
    return JoinTexts(runDir, "\\", LibraryRoot(), "\\", categoryPath);
}

Text DownloadPagePath(const Text& runDir, const Text& title) {
    if (!IsValidTitle(title)) return {};
    return JoinTexts(runDir, "\\", CacheFolder(), "\\", title, Gbk("下载页.html"));
}

Text CoverPath(const Text& runDir, const Text& title) {
    if (!IsValidTitle(title)) return {};
    return JoinTexts(runDir, "\\", LibraryRoot(), "\\jpg\\", title, ".jpg");
}

Text ArchivePath(const Text& runDir, const Text& categoryPath, const Text& title) {
    if (!IsValidTitle(title)) return {};
    return JoinTexts(runDir, "\\", LibraryRoot(), "\\", categoryPath, "\\", title, ".rar");
}

Text IntroductionPath(const Text& runDir, const Text& categoryPath, const Text& title) {
    if (!IsValidTitle(title)) return {};
    return JoinTexts(runDir, "\\", LibraryRoot(), "\\ini\\", categoryPath, "\\", title, Gbk("简介.ini"));
}

Text AuthorPath(const Text& runDir, const Text& categoryPath, const Text& title) {
    if (!IsValidTitle(title)) return {};
    return JoinTexts(runDir, "\\", LibraryRoot(), "\\ini\\", categoryPath, "\\", title, ".ini");
}

std::vector<Text> RunFolders(const Text& runDir, bool finished, const std::vector<Text>& categoryNames) {
    const Text library = LibraryFolder(runDir), cache = CacheFolderPath(runDir);
    std::vector<Text> folders = {JoinTexts(library, "\\ini"), JoinTexts(library, "\\jpg"), cache};
    for (const Text& name : categoryNames) {
        const Text categoryPath = CategoryPath(finished, name);
        folders.push_back(CategoryFolder(runDir, categoryPath));
        folders.push_back(JoinTexts(library, "\\ini\\", categoryPath));
        folders.push_back(JoinTexts(cache, "\\", name));
    }
    return folders;
}

void RemoveRunLeftovers(const Text& runDir, bool finished, const std::vector<Text>& categoryNames) {
    for (const Text& folder : RunFolders(runDir, finished, categoryNames))
        RemoveTemporaryFiles(folder);
}

void PrepareLibraryFolders(const std::function<Text(bool finished, int index)>& itemAt,
                           const CategoryFilter& categories) {
    const Text root = LibraryRoot(), finished = FinishedWord(), serialised = SerialisedWord();
    const Text ini = JoinTexts(root, "\\ini");
    // Failures are expected (the folder exists) and change nothing.
    for (const Text& folder :
         {CacheFolder(), root, JoinTexts(root, "\\jpg"), ini, JoinTexts(root, "\\", serialised),
          JoinTexts(root, "\\", finished), JoinTexts(ini, "\\", finished), JoinTexts(ini, "\\", serialised)}) {
        CreateFolder(folder);
    }
    auto create = [&](bool kind, const Text& name, const Text& folder) {
        if (!categories || categories(kind, name)) CreateFolder(folder);
    };
    for (int i = 0;; ++i) {
        const Text finishedName = itemAt(true, i);
        if (finishedName.empty()) break;
        const Text serialisedName = itemAt(false, i);
        create(false, serialisedName, JoinTexts(root, "\\", serialised, "\\", serialisedName));
        create(true, finishedName, JoinTexts(root, "\\", finished, "\\", finishedName));
        create(true, finishedName, JoinTexts(ini, "\\", finished, "\\", finishedName));
        create(false, serialisedName, JoinTexts(ini, "\\", serialised, "\\", serialisedName));
        create(true, finishedName, JoinTexts(CacheFolder(), "\\", finishedName));
        create(false, serialisedName, JoinTexts(CacheFolder(), "\\", serialisedName));
    }
}

} // namespace paveno::store
