// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <functional>
#include <optional>
#include <vector>

namespace paveno::store {

// The one place where the library's folder names, file names and record formats are fixed. Paths are GBK with
// backslashes, built on the run directory exactly as the handlers build them.

// Folder words of the two kinds and the fixed folders.
Text FinishedWord();   // 完本
Text SerialisedWord(); // 连载中
Text CacheFolder();    // 缓存, relative to the run directory
Text IndexSection();   // 小说, the library index's one section
Text AuthorKey();      // 作者

// "完本\玄幻小说" or "连载中\武侠仙侠".
Text CategoryPath(bool finished, const Text& categoryName);

// A title that cannot be a file name on its own (empty, "." or "..", holding \ / : * ? " < > | or a control
// character, or cut in the middle of a character) gives no path at all, so that no per-book file of that book is
// written and nothing lands outside the library tree.
bool IsValidTitle(const Text& title);

// Why a book of this title cannot be stored (GBK, for the running report), or nullopt when it can: it must be a
// valid file name, short enough for the file system with the longest suffix the store adds, and a name the author
// file and the library index can hold ("=" nowhere, no leading ";" or "[").
std::optional<Text> TitleProblem(const Text& title);

// Whether the book gets an index key and an author record. A title opening with "[" (as in "[综漫]...", common on
// novel sites) would read as a section header to INI readers, hiding the keys after it: such a book is stored
// (archive, cover, introduction) without them, and the library window finds it by its archive's name.
bool HasIndexRecords(const Text& title);

// The author as its record holds it: line breaks and other control characters become a space, so that one line
// holds it.
Text AuthorForRecord(const Text& author);

Text CachedListPagePath(const Text& runDir, const Text& categoryName, int page);
Text IndexPath(const Text& runDir);
// What a collection holds the advisory lock of: the folder 小说 itself, which nobody deletes from under a run as one
// could a lock file. The record of failed books, in 小说.
Text LockPath(const Text& runDir);
Text FailureRecordPath(const Text& runDir);
// The program's settings: 小说\ini\设置.ini.
Text SettingsPath(const Text& runDir);
// What the site said of each serialised archive when it came (ETag, Last-Modified): 小说\ini\下载校验.ini, a section
// per category, a key per title, "<Last-Modified in seconds since 1970, or -1> <ETag as sent>".
Text ValidatorsPath(const Text& runDir);
// The library's folders where the program writes: 小说 and the page cache.
Text LibraryFolder(const Text& runDir);
Text CacheFolderPath(const Text& runDir);
// The folder of a category's archives: run directory + "\小说\" + category path.
Text CategoryFolder(const Text& runDir, const Text& categoryPath);
// Per-book files: the empty text (which every file operation refuses) for a title that is not a valid name.
Text DownloadPagePath(const Text& runDir, const Text& title);
Text CoverPath(const Text& runDir, const Text& title);
Text ArchivePath(const Text& runDir, const Text& categoryPath, const Text& title);
Text IntroductionPath(const Text& runDir, const Text& categoryPath, const Text& title);
Text AuthorPath(const Text& runDir, const Text& categoryPath, const Text& title);

// The folders where a run of these categories (of one kind) writes its files: their archive and author folders,
// 小说\ini, 小说\jpg, the page cache and its folder of each category.
std::vector<Text> RunFolders(const Text& runDir, bool finished, const std::vector<Text>& categoryNames);
// What a killed run left half-written (temporary files) in those folders, and only there: the rest of a large
// library is not walked.
void RemoveRunLeftovers(const Text& runDir, bool finished, const std::vector<Text>& categoryNames);

// Creates the library tree in the run directory (its paths are relative, and the file layer resolves a relative
// path against the run directory). The category names come from the category combo boxes: itemAt(finished, i) is
// item i of the finished or serialised box, empty past the last item. With `categories`, the folders of the
// categories it accepts are made besides the shared ones, so that a run can make its own first and the rest once its
// first request is on its way; without it, every folder.
using CategoryFilter = std::function<bool(bool finished, const Text& name)>;
void PrepareLibraryFolders(const std::function<Text(bool finished, int index)>& itemAt,
                           const CategoryFilter& categories = {});

} // namespace paveno::store
