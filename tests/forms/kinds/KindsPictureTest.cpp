// SPDX-License-Identifier: MIT
// The window with one control of every kind, drawn on the offscreen platform and saved beside the tests for a look.
#include "KindWindows.h"
#include "forms/Engine.h"
#include "tests/support/TempRunDirectory.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace paveno::forms {
namespace {

namespace K = kindwin::种类窗口;

// Pixels in a control's area that differ clearly from the colour at its top-left corner: drawn text or lines.
int InkIn(const QImage& image, QRect area) {
    QColor base = image.pixelColor(area.topLeft());
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - base.red()) + std::abs(c.green() - base.green()) + std::abs(c.blue() - base.blue()) >
                200)
                ++ink;
        }
    return ink;
}

TEST(KindsPicture, EveryKindDrawsItselfAndChineseTextHasGlyphs) {
    test::TempRunDirectory run;
    RecordingShell shell;
    RecordingEnd end;
    SetSeams({nullptr, &shell, &end});
    RuntimeOptions options;
    options.runDirectory = run.path();
    auto saved = std::filesystem::current_path();
    ASSERT_TRUE(InitRuntime(kindwin::Program(), options));
    ASSERT_TRUE(LoadWindow(K::id));
    WriteProperty(K::id, K::文件框, 8, Value::FromText(run.gbkPath()));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    QWidget* frame = FindLiveControl(K::id, 0)->widget();
    QImage image = frame->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(image.save(QString::fromUtf8(PAVENO_KINDS_PICTURE)));

    // Every control with a caption or items shows ink where it stands; a missing CJK font would leave blanks or
    // boxes of the same few pixels, which the label's count of over 40 rules out.
    const std::uint32_t drawn[] = {K::图片框,  K::标签, K::编辑框, K::按钮,     K::图片按钮,  K::选择框,
                                   K::单选框1, K::类别, K::列表框, K::超级按钮, K::丰富文本框};
    for (std::uint32_t id : drawn) {
        QRect area = FindLiveControl(K::id, id)->widget()->geometry();
        EXPECT_GT(InkIn(image, area), 40) << std::hex << id;
    }
    InitRuntime(kindwin::Program(), options);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetSeams({});
    std::filesystem::current_path(saved);
}

} // namespace
} // namespace paveno::forms
