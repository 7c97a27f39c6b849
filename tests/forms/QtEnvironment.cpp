// SPDX-License-Identifier: MIT
// One QApplication for every forms test (the offscreen platform comes from the environment CTest sets).
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "forms_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }

private:
    QApplication* app_ = nullptr; // left alive: windows deleted later may still refer to it at exit
};

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
