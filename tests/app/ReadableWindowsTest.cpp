// SPDX-License-Identifier: MIT
// Every window readable under a light and a dark desktop palette: each control's text stands out from what lies
// under it, measured on the rendered pixels; the focused control has a frame that stands out too; pictures are
// filtered when scaled.
#include "app/Properties.h"
#include "forms/kinds/Button.h"
#include "forms/kinds/CheckButton.h"
#include "forms/kinds/ComboBox.h"
#include "forms/kinds/EditBox.h"
#include "forms/kinds/FileBox.h"
#include "forms/kinds/Label.h"
#include "forms/kinds/RichEdit.h"
#include "forms/kinds/SuperButton.h"
#include "forms/kinds/TransparentLabel.h"
#include "forms/kinds/WindowKind.h"
#include "system/SystemOps.h"
#include "tests/app/CollectionFixture.h"
#include "tests/app/DesktopPalette.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QStyle>

using namespace paveno;
using namespace paveno::test;

namespace {

// How a control's text stands out: the control is shown with its text and without, and every pixel the text
// changed is compared with the same pixel without it. Gives the count of such pixels and the best contrast among
// them (the core of a stroke, which antialiasing leaves at the text's own colour).
PixelChange Measure(QWidget* widget, const std::function<void()>& blank, const std::function<void()>& restore) {
    const QImage with = Shot(widget);
    blank();
    const QImage without = Shot(widget);
    restore();
    return Compare(with, without);
}

// A control that shows a text: how to take the text away and give it back. Null for any other control, a hidden
// one, or a button whose picture replaces its caption.
struct TextOf {
    std::function<void()> blank, restore;
};

// A kind whose text is its caption, or its content.
template <class K> std::optional<TextOf> Captioned(forms::Control* c) {
    auto* k = dynamic_cast<K*>(c);
    if (!k) return std::nullopt;
    const Text t = k->caption();
    return TextOf{[k] { k->SetCaption({}); }, [k, t] { k->SetCaption(t); }};
}
template <class K> std::optional<TextOf> Holding(forms::Control* c) {
    auto* k = dynamic_cast<K*>(c);
    if (!k) return std::nullopt;
    const Text t = k->content();
    return TextOf{[k] { k->SetContent({}); }, [k, t] { k->SetContent(t); }};
}

std::optional<TextOf> TextControl(forms::Control* c) {
    if (!c || !c->widget() || !c->widget()->isVisible()) return std::nullopt;
    if (auto* b = dynamic_cast<forms::Button*>(c); b && !b->picture().empty()) return std::nullopt;
    if (auto* b = dynamic_cast<forms::ComboBox*>(c)) {
        const int i = b->selection();
        return TextOf{[b] { b->SetSelection(-1); }, [b, i] { b->SetSelection(i); }};
    }
    if (auto* b = dynamic_cast<forms::FileBox*>(c)) {
        // Measured unselected: a selected name takes the desktop's own selection colours.
        const Text folder = b->folder(), selected = b->selected();
        b->SelectName({});
        return TextOf{[b] { b->SetFolder({}); },
                      [b, folder, selected] {
                          b->SetFolder(folder);
                          b->SelectName(selected);
                      }};
    }
    for (auto text : {Captioned<forms::Button>(c), Captioned<forms::CheckButton>(c), Captioned<forms::SuperButton>(c),
                      Captioned<forms::TransparentLabel>(c), Captioned<forms::Label>(c), Holding<forms::EditBox>(c),
                      Holding<forms::RichEdit>(c)}) {
        if (text) return text;
    }
    return std::nullopt;
}

constexpr double kClearContrast = 4.5; // what accessibility guidelines ask of body text

class ReadableWindowsTest : public CollectionTest {
protected:
    // The four windows a user sees, loaded as the program loads them: the library window with a book chosen (its
    // introduction shown, a name typed into the search box), the update window offering a newer version and the
    // wait window as a run opens it.
    void LoadEveryWindow() {
        WriteSized(At("小说/完本/玄幻小说/斗破苍穹.rar"), 40000);
        std::filesystem::create_directories(At("小说/ini/完本/玄幻小说"));
        std::ofstream(At("小说/ini/完本/玄幻小说/斗破苍穹简介.ini"), std::ios::binary) << Gbk("一段简介。");
        site_.serve("/pavenobk/banben", "9999"); // the update window stays up, offering it
        ASSERT_TRUE(Start());
        ASSERT_TRUE(LoadWindow(W::书库窗口::id));
        app::WriteText(W::书库窗口::id, W::书库窗口::文件框1, forms::FileBox::kSelectedFile, Gbk("斗破苍穹.rar"));
        W::书库窗口_文件框1_列表项被选择();
        Type(W::书库窗口::id, W::书库窗口::编辑框1, "斗破");
        ASSERT_TRUE(LoadWindow(W::等待窗口::id, W::主窗口::id));
        ASSERT_TRUE(LoadWindow(W::更新窗口::id));
        ASSERT_TRUE(Shown(W::更新窗口::id));
        ShowWindow(W::主窗口::id); // which the offer hid
        // No text cursor blinks in a shot.
        if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
    }

    static void ShowWindow(std::uint32_t window) { forms::FindLiveControl(window, 0)->widget()->show(); }

    // Every text-bearing control shown on the four windows, measured; failures name the window and control.
    void ExpectEveryTextClear(const char* desktop) {
        int measured = 0;
        const format::WindowData* data = forms::LoadedWindowData();
        for (std::uint32_t window : {W::主窗口::id, W::等待窗口::id, W::更新窗口::id, W::书库窗口::id}) {
            for (const format::ControlRecord& rec : data->Find(window)->controls) {
                forms::Control* c = forms::FindLiveControl(window, rec.id);
                const auto text = TextControl(c);
                if (!text) continue;
                const PixelChange m = Measure(c->widget(), text->blank, text->restore);
                ++measured;
                EXPECT_GT(m.changed, 0) << desktop << ": no text drawn on " << Utf8(rec.name);
                EXPECT_GE(m.best, kClearContrast) << desktop << ": " << Utf8(rec.name) << " of window " << std::hex
                                                  << window << " has text at a contrast of " << m.best;
            }
        }
        // 按钮3, 标签1, 编辑框2, 透明标签1, 单选框2, 单选框1, 超级按钮2, 超级按钮1, 完本类, 编辑框1 (main); the report
        // and 停止 (wait); six (update); 按钮1, 编辑框1, 文件框1, 标签1, 单选框2, 单选框1, 完本类 (library).
        EXPECT_EQ(measured, 10 + 2 + 6 + 7) << desktop;
    }

    // A super button with the focus draws its own focus colours.
    void ExpectFocusedSuperButtonsClear(const char* desktop) {
        for (std::uint32_t button : {W::主窗口::超级按钮1, W::主窗口::超级按钮2}) {
            forms::Control* c = forms::FindLiveControl(W::主窗口::id, button);
            QWidget* frame = c->widget()->window();
            frame->activateWindow();
            c->widget()->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(WaitUntil([&] { return c->widget()->hasFocus(); })) << desktop;
            const auto text = TextControl(c);
            const PixelChange m = Measure(c->widget(), text->blank, text->restore);
            EXPECT_GE(m.best, kClearContrast) << desktop << ": focused " << std::hex << button;
        }
    }
};

} // namespace

TEST_F(ReadableWindowsTest, EveryTextStandsOutOnALightDesktop) {
    const Desktop desktop(QApplication::style()->standardPalette());
    LoadEveryWindow();
    ExpectEveryTextClear("light");
    ExpectFocusedSuperButtonsClear("light");
}

TEST_F(ReadableWindowsTest, EveryTextStandsOutOnADarkDesktop) {
    const Desktop desktop(DarkPalette());
    LoadEveryWindow();
    ExpectEveryTextClear("dark");
    ExpectFocusedSuperButtonsClear("dark");
}

// Where the window data leaves both colours to the desktop, the desktop's palette applies: the wait window's
// report is light on dark under the dark desktop, not the data's light classic look.
TEST_F(ReadableWindowsTest, ControlsWithoutColoursOfTheirOwnFollowTheDesktop) {
    const Desktop desktop(DarkPalette());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(LoadWindow(W::等待窗口::id, W::主窗口::id));
    QWidget* report = forms::FindLiveControl(W::等待窗口::id, W::等待窗口::编辑框1)->widget();
    EXPECT_EQ(report->palette().color(QPalette::Base), DarkPalette().color(QPalette::Base));
    EXPECT_EQ(report->palette().color(QPalette::Text), DarkPalette().color(QPalette::Text));
    // The page field's white is the data's, with the classic black on it.
    QWidget* pages = forms::FindLiveControl(W::主窗口::id, W::主窗口::编辑框1)->widget();
    EXPECT_EQ(pages->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(pages->palette().color(QPalette::Text), QColor(Qt::black));
}

namespace {

// A 24-bit BMP of black and white pixels in a checkerboard, as the window data stores pictures.
ByteSet Checkerboard(int size) {
    const int row = (size * 3 + 3) / 4 * 4;
    const int bytes = 54 + row * size;
    ByteSet bmp(static_cast<std::size_t>(bytes), 0);
    const auto put = [&](int at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            bmp[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<std::uint32_t>(bytes), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(size), 4);
    put(22, static_cast<std::uint32_t>(size), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::uint8_t v = (x + y) % 2 ? 0xFF : 0x00;
            for (int c = 0; c < 3; ++c)
                bmp[static_cast<std::size_t>(54 + y * row + x * 3 + c)] = v;
        }
    }
    return bmp;
}

} // namespace

// At 150% and 200% a picture of the window data is filtered: a checkerboard of single pixels turns partly grey,
// where doubling pixels would keep only black and white.
TEST_F(ReadableWindowsTest, PicturesAreSmoothAtFractionalAndDoubleScale) {
    ASSERT_TRUE(Start());
    app::WriteBytes(W::主窗口::id, W::主窗口::self, forms::WindowControl::kBackPicture, Checkerboard(40));
    QWidget* frame = forms::FindLiveControl(W::主窗口::id, 0)->widget();
    for (const double scale : {1.5, 2.0}) {
        QImage shown(QSize(40, 40) * scale, QImage::Format_RGB32);
        shown.setDevicePixelRatio(scale);
        shown.fill(Qt::red);
        frame->render(&shown, QPoint(), QRegion(0, 0, 40, 40), QWidget::DrawWindowBackground);
        int grey = 0, red = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb c = shown.pixel(x, y);
                red += c == qRgb(255, 0, 0);
                grey += qRed(c) == qGreen(c) && qRed(c) > 0x30 && qRed(c) < 0xD0;
            }
        }
        EXPECT_EQ(red, 0) << scale << ": the picture covers the area";
        EXPECT_GT(grey, shown.width() * shown.height() / 4) << scale;
    }
}
