// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace paveno::forms {

// Message box styles and answers, numbered as the handlers know them.
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
    kAnswerOk = 1,
    kAnswerCancel = 2,
    kAnswerAbort = 3,
    kAnswerRetry = 4,
    kAnswerIgnore = 5,
    kAnswerYes = 6,
    kAnswerNo = 7
};

// The caption of a box that is given none.
Text DefaultBoxCaption();
// The answer that pressing Enter gives for a style (its default button).
int DefaultAnswer(std::uint32_t style);

// Shows a modal message box and returns the answer. Texts are GBK; an empty caption shows DefaultBoxCaption().
class MessageBoxSeam {
public:
    virtual ~MessageBoxSeam() = default;
    virtual int Show(const Text& text, const Text& caption, std::uint32_t style) = 0;
};

// Opens a document, folder, program or address with what the system associates with it; false when nothing could
// open it (no such file, no program for it, no browser).
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

// The real ones: a task-modal Qt message box, the desktop's opener, process exit.
class QtMessageBox : public MessageBoxSeam {
public:
    int Show(const Text& text, const Text& caption, std::uint32_t style) override;
};
class DesktopShell : public ShellSeam {
public:
    bool Open(const Text& target) override;
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

// The seams in force; unset ones are the real implementations.
Seams& CurrentSeams();
void SetSeams(const Seams& seams);

// Opens a target through the shell seam. When the shell cannot, the user is told in a box that gives the path or
// the link (a link is also put on the clipboard); for a file whose folder exists the box offers to open the folder
// instead. True when the target itself was opened.
bool OpenWithShell(const Text& target);

// Installs Qt's own Simplified Chinese texts (standard buttons read 确定 / 取消) whatever the locale; false when the
// translation file is not installed.
bool LoadChineseQtTexts();

} // namespace paveno::forms
