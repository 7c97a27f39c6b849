// SPDX-License-Identifier: MIT
#include "forms/Seams.h"

#include "forms/Control.h"
#include "services/Gbk.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace paveno::forms {

Text DefaultBoxCaption() {
    static const Text caption = Gbk("信息：");
    return caption;
}

int DefaultAnswer(std::uint32_t style) {
    static const int kButtons[][3] = {
        {kAnswerOk, kAnswerOk, kAnswerOk},           {kAnswerOk, kAnswerCancel, kAnswerCancel},
        {kAnswerAbort, kAnswerRetry, kAnswerIgnore}, {kAnswerYes, kAnswerNo, kAnswerCancel},
        {kAnswerYes, kAnswerNo, kAnswerNo},          {kAnswerRetry, kAnswerCancel, kAnswerCancel},
    };
    std::uint32_t buttons = style & kBoxButtonsMask;
    if (buttons > 5) buttons = 0;
    std::uint32_t which = (style & kBoxDefaultMask) >> 8;
    return kButtons[buttons][which > 2 ? 0 : which];
}

int QtMessageBox::Show(const Text& text, const Text& caption, std::uint32_t style) {
    struct Button {
        QMessageBox::StandardButton qt;
        int answer;
    };
    static const std::vector<Button> kSets[] = {
        {{QMessageBox::Ok, kAnswerOk}},
        {{QMessageBox::Ok, kAnswerOk}, {QMessageBox::Cancel, kAnswerCancel}},
        {{QMessageBox::Abort, kAnswerAbort}, {QMessageBox::Retry, kAnswerRetry}, {QMessageBox::Ignore, kAnswerIgnore}},
        {{QMessageBox::Yes, kAnswerYes}, {QMessageBox::No, kAnswerNo}, {QMessageBox::Cancel, kAnswerCancel}},
        {{QMessageBox::Yes, kAnswerYes}, {QMessageBox::No, kAnswerNo}},
        {{QMessageBox::Retry, kAnswerRetry}, {QMessageBox::Cancel, kAnswerCancel}},
    };
    std::uint32_t set = style & kBoxButtonsMask;
    if (set > 5) set = 0;
    QMessageBox box;
    box.setWindowTitle(ToQt(caption.empty() ? DefaultBoxCaption() : caption));
    box.setText(ToQt(text));
    // Task-modal: the box blocks every window of the program until it is answered.
    box.setWindowModality(Qt::ApplicationModal);
    switch (style & kBoxIconMask) {
    case kBoxIconError:
        box.setIcon(QMessageBox::Critical);
        break;
    case kBoxIconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case kBoxIconWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case kBoxIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons;
    for (const auto& b : kSets[set])
        buttons |= b.qt;
    box.setStandardButtons(buttons);
    std::size_t def = (style & kBoxDefaultMask) >> 8;
    if (def >= kSets[set].size()) def = 0;
    box.setDefaultButton(kSets[set][def].qt);
    // Escape (or closing the box) answers Cancel where there is one, else the only button.
    int result = box.exec();
    for (const auto& b : kSets[set]) {
        if (b.qt == result) return b.answer;
    }
    for (const auto& b : kSets[set]) {
        if (b.answer == kAnswerCancel) return kAnswerCancel;
    }
    return set == 0 ? kAnswerOk : DefaultAnswer(style);
}

bool LoadChineseQtTexts() {
    static QTranslator* translator = nullptr;
    if (translator) return true;
    auto* candidate = new QTranslator(QCoreApplication::instance());
    if (!candidate->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete candidate;
        return false;
    }
    QCoreApplication::installTranslator(candidate);
    translator = candidate;
    return true;
}

void ProcessEnd::End(int code) {
    // Transfers have stopped by now, every file the program wrote is whole under its final name or a temporary that
    // the next run removes, and the program is built to survive a kill at any moment: tearing down Qt's and the
    // libraries' statics would only make the user wait.
    std::fflush(nullptr);
    _exit(code);
}

int ScriptedMessageBox::Show(const Text& text, const Text& caption, std::uint32_t style) {
    shown.push_back({text, caption.empty() ? DefaultBoxCaption() : caption, style});
    if (whileShown) whileShown();
    if (answers.empty()) return DefaultAnswer(style);
    int a = answers.front();
    answers.pop_front();
    return a;
}

namespace {
QtMessageBox gQtBox;
ProcessEnd gEnd;
Seams gSeams{&gQtBox, nullptr, &gEnd};
} // namespace

Seams& CurrentSeams() {
    return gSeams;
}

void SetSeams(const Seams& seams) {
    gSeams.messageBox = seams.messageBox ? seams.messageBox : &gQtBox;
    gSeams.shell = seams.shell;
    gSeams.programEnd = seams.programEnd ? seams.programEnd : &gEnd;
}

} // namespace paveno::forms
