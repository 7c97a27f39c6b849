// SPDX-License-Identifier: MIT
#include "app/Program.h"
#include "app/Properties.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>

using namespace paveno;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(RunDirectoryTest, AWritableProgramFolderKeepsTheLibraryBesideTheProgram) {
    test::TempRunDirectory program, data;
    ScopedEnv xdg("XDG_DATA_HOME", data.path().c_str());
    EXPECT_EQ(app::ChooseRunDirectory(program.path()), program.path());
    EXPECT_FALSE(fs::exists(data.path() / "paveno"));
    EXPECT_EQ(std::distance(fs::directory_iterator(program.path()), fs::directory_iterator()), 0)
        << "the write test leaves nothing behind";
}

TEST(RunDirectoryTest, AnInstalledProgramKeepsItsLibraryInTheUsersDataFolder) {
    test::TempRunDirectory home, data, readOnly;
    fs::permissions(readOnly.path(), fs::perms::owner_read | fs::perms::owner_exec);
    ScopedEnv homeVariable("HOME", home.path().c_str());
    const std::string relative = "relative/data";
    struct Case {
        const char* what;
        fs::path programFolder;
        const char* xdgDataHome; // nullptr: unset
        fs::path expected;
    };
    std::vector<Case> cases = {
        {"XDG_DATA_HOME set", "/proc", data.path().c_str(), data.path() / "paveno"},
        {"XDG_DATA_HOME unset", "/proc", nullptr, home.path() / ".local/share/paveno"},
        {"XDG_DATA_HOME empty", "/proc", "", home.path() / ".local/share/paveno"},
        {"XDG_DATA_HOME relative", "/proc", relative.c_str(), home.path() / ".local/share/paveno"},
        // Root can write into these, but they hold the system's programs, not a library.
        {"installed by a package", "/usr/bin", data.path().c_str(), data.path() / "paveno"},
        {"installed from source", "/usr/local/bin", data.path().c_str(), data.path() / "paveno"},
    };
    if (geteuid() != 0) { // root writes into a folder without write permission all the same
        cases.push_back({"read-only folder", readOnly.path(), data.path().c_str(), data.path() / "paveno"});
    }
    for (const auto& c : cases) {
        ScopedEnv xdg("XDG_DATA_HOME", c.xdgDataHome);
        fs::remove_all(c.expected);
        EXPECT_EQ(app::ChooseRunDirectory(c.programFolder), c.expected) << c.what;
        EXPECT_TRUE(fs::is_directory(c.expected)) << c.what;
        // Created once, then used as it is.
        EXPECT_EQ(app::ChooseRunDirectory(c.programFolder), c.expected) << c.what;
    }
    fs::permissions(readOnly.path(), fs::perms::owner_all);
}

TEST(RunDirectoryTest, WithoutAUsableDataFolderTheProgramFolderStays) {
    test::TempRunDirectory home;
    const fs::path blocked = home.path() / "file";
    { std::ofstream(blocked) << "a file where the folder would go"; }
    ScopedEnv xdg("XDG_DATA_HOME", blocked.c_str());
    EXPECT_EQ(app::ChooseRunDirectory("/proc"), fs::path("/proc"));
}

// Started from another folder (a terminal's, a menu's), the program still makes the library's folders in the run
// directory, and closing it deletes the page cache there, not a folder of that name where it was started.
namespace paveno::test {

TEST_F(AppTest, TheLibraryStaysInTheRunDirectoryWhateverTheWorkingFolder) {
    const TempRunDirectory elsewhere;
    fs::create_directories(elsewhere.path() / "缓存" / "玄幻小说");
    std::ofstream(elsewhere.path() / "缓存" / "玄幻小说" / "1.html") << "theirs";
    const CurrentDirectory startedIn(elsewhere.path());

    ASSERT_TRUE(Start());
    app::WriteInteger(W::主窗口::id, W::主窗口::完本类, forms::ComboBox::kSelection, -1);
    Click(W::主窗口::id, W::主窗口::按钮2); // makes the folders, then says no category is chosen
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"小说种类还未选择"});
    EXPECT_TRUE(fs::is_directory(At("小说/完本/玄幻小说")));
    EXPECT_TRUE(fs::is_directory(At("缓存/玄幻小说")));
    std::ofstream(At("缓存/玄幻小说/1.html")) << "page";

    forms::FindLiveControl(W::主窗口::id, 0)->widget()->close();
    Settle();
    EXPECT_FALSE(Loaded(W::主窗口::id));
    EXPECT_FALSE(fs::exists(At("缓存")));
    std::set<std::string> there;
    for (const auto& entry : fs::recursive_directory_iterator(elsewhere.path()))
        there.insert(fs::relative(entry.path(), elsewhere.path()).string());
    EXPECT_EQ(there, (std::set<std::string>{"缓存", "缓存/玄幻小说", "缓存/玄幻小说/1.html"}));
}

} // namespace paveno::test
