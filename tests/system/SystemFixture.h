// SPDX-License-Identifier: MIT
#pragma once

#include "SystemWindows.h"
#include "forms/Engine.h"
#include "services/Gbk.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace paveno::test {

namespace W = syswin;

// What the handlers of the test window data did, in order, and what a test wants each of them to do besides.
struct HandlerLog {
    std::vector<std::string> ran;
    std::map<std::string, std::function<void()>> hooks;
    void Note(const std::string& what) { ran.push_back(what); }
    int Count(const std::string& what) const;
};
HandlerLog& Handlers();

// A fresh engine over the test window data with recording seams, in a temporary run directory.
class SystemTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    bool Init();

    // The text of the run-time error box of a message.
    static Text ErrorBox(std::string_view message) {
        return Gbk("运行时出错!\r\n\r\n错误信息：") + Gbk(message) + "\r\n";
    }
    static QWidget* Frame(std::uint32_t window);
    static void Click(std::uint32_t window, std::uint32_t control);

    TempRunDirectory run_;
    std::filesystem::path saved_;
    forms::ScriptedMessageBox box_;
    forms::RecordingShell shell_;
    forms::RecordingEnd end_;
};

} // namespace paveno::test
