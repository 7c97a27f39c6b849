// SPDX-License-Identifier: MIT
#pragma once

#include "AppWindows.h"
#include "app/Program.h"
#include "forms/Engine.h"
#include "forms/Seams.h"
#include "services/Gbk.h"
#include "services/Http.h"
#include "tests/support/LocalSite.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

namespace paveno::test {

namespace W = paveno::app;

// The whole program in the test process: its window data and handlers, a temporary run directory, the local site
// standing in for every host of the catalogue and the update server, and scripted message boxes.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Program entry as the executable runs it, without the message loop; the update check only when asked.
    bool Start(bool updateCheck = false);
    // Program entry with the library window opened at start (--library).
    bool StartLibrary();

    // What a user does.
    void Click(std::uint32_t window, std::uint32_t control);
    void Pick(std::uint32_t window, std::uint32_t combo, int index); // choose an item of a combo box
    void Type(std::uint32_t window, std::uint32_t edit, std::string_view utf8);

    // Runs the event loop until `done` holds; false when it still does not after `seconds`, a limit that only a fault
    // reaches, however loaded the machine.
    static bool WaitUntil(const std::function<bool()>& done, double seconds = 60);
    // Runs pending events, the deferred closes included.
    static void Settle();

    static bool Loaded(std::uint32_t window) { return forms::IsWindowLoaded(window); }
    static bool Shown(std::uint32_t window);
    static Text Read(std::uint32_t window, std::uint32_t control, int property);
    static std::int32_t ReadNumber(std::uint32_t window, std::uint32_t control, int property);

    // A path under the run directory, from UTF-8 parts ("小说/jpg/T.jpg").
    std::filesystem::path At(std::string_view utf8) const { return run_.path() / std::filesystem::u8path(utf8); }
    // Every box shown so far, as UTF-8.
    std::vector<std::string> BoxTexts() const;

    NoProxyEnvironment noProxy_;
    TempRunDirectory run_;
    LocalSite site_;
    forms::ScriptedMessageBox box_;
    forms::RecordingShell shell_;
    forms::RecordingEnd end_;

private:
    std::filesystem::path saved_;
    HttpSettings savedHttp_;
};

} // namespace paveno::test
