// SPDX-License-Identifier: MIT
// Book titles whose characters end in a byte that looks like "@", "[", "\", "]", "|" or "~", through every operation
// that scans names and paths byte by byte: the store's name check, files and their search, the run directory, INI
// sections, keys and values, the file box and the library window's hints.
#include "app/LibraryStore.h"
#include "app/LibraryWindow.h"
#include "app/Properties.h"
#include "services/FileSearch.h"
#include "services/Files.h"
#include "services/Folders.h"
#include "services/Ini.h"
#include "services/NativePath.h"
#include "services/RunDirectory.h"
#include "system/SystemOps.h"
#include "tests/app/AppFixture.h"

#include <QListWidget>

#include <fstream>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;
namespace L = paveno::app::书库窗口;

namespace {

struct Title {
    const char* utf8;
    unsigned char trail; // the second byte of one of its characters
};

// The character with that trail byte stands last where it can: a trailing separator test looks at the last byte.
const Title kTitles[] = {
    {"竹籃", 0x40}, {"瓦礫", 0x5B}, {"祈禱", 0x5C}, {"沒有退路", 0x5D}, {"慮郵", 0x5D}, {"雲箌", 0x7C}, {"古箏", 0x7E},
};

std::string Utf8(const Text& gbk) {
    return GbkToUtf8Lossy(gbk);
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class GbkTitleTest : public AppTest {
protected:
    static int ListedFiles() {
        forms::Control* c = forms::FindLiveControl(L::id, L::文件框1);
        auto* list = c ? qobject_cast<QListWidget*>(c->widget()) : nullptr;
        return list ? list->count() : -1;
    }
};

TEST_F(GbkTitleTest, TrailBytesThatLookLikePunctuationAreNeverTakenForIt) {
    ASSERT_TRUE(StartLibrary());
    const Text runDir = GetRunDirectory();
    for (const auto& title : kTitles) {
        SCOPED_TRACE(title.utf8);
        const Text t = Gbk(title.utf8);
        ASSERT_NE(t.find(static_cast<char>(title.trail)), Text::npos);
        EXPECT_TRUE(store::IsValidTitle(t));

        // Files under the title's name, found by the search with and without wildcards.
        const Text folder = runDir + "\\" + t;
        ASSERT_TRUE(CreateFolder(folder));
        const Text archive = folder + "\\" + t + ".rar";
        ASSERT_TRUE(WriteFileBytes(archive, BytesOf("Rar!")));
        EXPECT_EQ(GetFileSize(archive), 4);
        EXPECT_EQ(ReadFileBytes(archive), BytesOf("Rar!"));
        EXPECT_EQ(ReadTextFile(archive), "Rar!");
        int search = 0;
        EXPECT_EQ(FindFileFirst(folder + "\\*.rar", FindFilter::FilesOnly(), search), t + ".rar");
        CloseFileFind(search);
        const Text oneCharacterLess = t.substr(0, t.size() - 2) + "?.rar"; // "?" is the whole last character
        EXPECT_TRUE(FileNameMatches(t + ".rar", oneCharacterLess));
        EXPECT_TRUE(FileNameMatches(t + ".rar", "*" + t.substr(t.size() - 2) + ".*"));
        EXPECT_EQ(GetFileSize(folder + "\\" + oneCharacterLess), 4);

        // A folder ending in the character, with and without a separator after it.
        for (const Text& shown : {folder, folder + "\\"}) {
            app::WriteText(L::id, L::文件框1, forms::FileBox::kFolder, shown);
            EXPECT_EQ(ListedFiles(), 1) << Utf8(shown);
            app::RefreshLibraryHints();
            EXPECT_EQ(GetListItemCount(L::id, L::列表框1), 1) << Utf8(shown);
            EXPECT_EQ(GetListItemText(L::id, L::列表框1, 0), t);
        }
        SetRunDirectory(folder + "\\");
        EXPECT_EQ(GetRunDirectory(), folder);
        SetRunDirectory(runDir);

        // The author record (the title as a section), the index key, and the title as a value.
        const Text author = folder + "\\" + t + ".ini";
        EXPECT_TRUE(WriteIniValue(author, t, Gbk("作者"), Gbk("某人")));
        EXPECT_EQ(ReadIniValue(author, t, Gbk("作者")), Gbk("某人"));
        const Text index = folder + "\\index.ini";
        EXPECT_TRUE(WriteIniValue(index, Gbk("小说"), t, archive));
        EXPECT_TRUE(WriteIniValue(index, Gbk("小说"), Gbk("别的"), t));
        EXPECT_EQ(ReadIniValue(index, Gbk("小说"), t), archive);
        EXPECT_EQ(ReadIniValue(index, Gbk("小说"), Gbk("别的")), t);
        EXPECT_TRUE(WriteIniValue(index, t, t, t));
        EXPECT_EQ(ReadIniValue(index, t, t), t);
        // A key that opens a "[" it never closes stays refused, whatever its trail bytes hold.
        EXPECT_FALSE(WriteIniValue(index, Gbk("小说"), "[" + t, "x"));

        // Records written by another program: a section line, a commented key, a key line.
        const Text hand = folder + "\\hand.ini";
        const std::string lines =
            "[" + t + "]\r\n;" + t + "=old\r\n" + t + "=new\r\n[" + t + "x]\r\n" + t + "=other\r\n";
        WriteFile(*NativePath(hand), lines);
        EXPECT_EQ(ReadIniValue(hand, t, t), "new");
        EXPECT_EQ(ReadIniValue(hand, t + "x", t), "other");
        EXPECT_TRUE(WriteIniValue(hand, t, Gbk("作者"), "a"));
        EXPECT_EQ(ReadIniValue(hand, t, t), "new");
        EXPECT_EQ(ReadIniValue(hand, t + "x", t), "other");
        EXPECT_EQ(ReadIniValue(hand, t, Gbk("作者")), "a");
    }
}

} // namespace
