// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace paveno::forms {

// Message box styles and answers: one numbering for the engine, the seams and the handlers. The styles are the old
// box style bits; the answers are the results the handlers test (MessageBox gives kAnswerOk for any other).
enum MessageBoxStyle : std::uint32_t {
    kBoxOk = 0,
    kBoxOkCancel = 1,
    kBoxAbortRetryIgnore = 2,
    kBoxYesNoCancel = 3,
    kBoxYesNo = 4,
    kBoxRetryCancel = 5,
    kBoxButtonsMask = 0x0F,
    kBoxIconError = 0x10,
    kBoxIconQuestion = 0x20,
    kBoxIconWarning = 0x30,
    kBoxIconInformation = 0x40,
    kBoxIconMask = 0xF0,
    kBoxDefaultMask = 0xF00, // 0x100: the second button is the default, 0x200 the third
};

enum MessageBoxAnswer : int {
    kAnswerOk = 0,
    kAnswerCancel = 1, // also the close box and Escape of a box that has Cancel
    kAnswerAbort = 2,
    kAnswerRetry = 3,
    kAnswerIgnore = 4,
    kAnswerYes = 5,
    kAnswerNo = 6
};

// The caption of a box that is given none.
Text DefaultBoxCaption();
// The answer that pressing Enter gives for a style (its default button).
int DefaultAnswer(std::uint32_t style);

// Shows a modal message box of a style (kBox...) and returns the answer (kAnswer...). Texts are GBK; an empty caption
// shows DefaultBoxCaption().
class MessageBoxSeam {
public:
    virtual ~MessageBoxSeam() = default;
    virtual int Show(const Text& text, const Text& caption, std::uint32_t style) = 0;
};

// Opens a document, folder, program or address with what the desktop associates with it; false when nothing could
// open it (no such file, no program for it, no browser). The desktop's own is DesktopShell (system/ShellOpen.h).
class ShellSeam {
public:
    virtual ~ShellSeam() = default;
    virtual bool Open(const Text& target) = 0;
};

// Ends the process with an exit code.
class ProgramEndSeam {
public:
    virtual ~ProgramEndSeam() = default;
    virtual void End(int code) = 0;
};

// The real ones: a task-modal Qt message box, process exit.
class QtMessageBox : public MessageBoxSeam {
public:
    int Show(const Text& text, const Text& caption, std::uint32_t style) override;
};
class ProcessEnd : public ProgramEndSeam {
public:
    void End(int code) override;
};

// For tests: answers boxes from a script (then each box's default answer) and records every box.
class ScriptedMessageBox : public MessageBoxSeam {
public:
    struct Shown {
        Text text;
        Text caption;
        std::uint32_t style;
    };
    int Show(const Text& text, const Text& caption, std::uint32_t style) override;

    std::deque<int> answers;
    std::vector<Shown> shown;
    std::function<void()> whileShown; // runs while a box "is up", e.g. to raise events meanwhile
};

// For tests: records every target and answers from a script (then `result`).
class RecordingShell : public ShellSeam {
public:
    bool Open(const Text& target) override {
        opened.push_back(target);
        if (results.empty()) return result;
        const bool r = results.front();
        results.pop_front();
        return r;
    }
    std::vector<Text> opened;
    std::deque<bool> results;
    bool result = true;
};

// Records the exit code instead of leaving; the engine then stops its message loop.
class RecordingEnd : public ProgramEndSeam {
public:
    void End(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

struct Seams {
    MessageBoxSeam* messageBox = nullptr;
    ShellSeam* shell = nullptr;
    ProgramEndSeam* programEnd = nullptr;
};

// The seams in force; an unset message box or program end is the real one. An unset shell stays unset here: the
// system operations, which do the opening, then take the desktop's (Shell() in system/ShellOpen.h).
Seams& CurrentSeams();
void SetSeams(const Seams& seams);

// Installs Qt's own Simplified Chinese texts (standard buttons read 确定 / 取消) whatever the locale; false when the
// translation file is not installed.
bool LoadChineseQtTexts();

} // namespace paveno::forms
