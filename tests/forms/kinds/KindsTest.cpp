// SPDX-License-Identifier: MIT
#include "KindWindows.h"
#include "forms/Engine.h"
#include "forms/kinds/Button.h"
#include "forms/kinds/CheckButton.h"
#include "forms/kinds/ComboBox.h"
#include "forms/kinds/EditBox.h"
#include "forms/kinds/FileBox.h"
#include "forms/kinds/KindSupport.h"
#include "forms/kinds/RichEdit.h"
#include "forms/kinds/SuperButton.h"
#include "forms/kinds/Timer.h"
#include "forms/kinds/TransparentLabel.h"
#include "services/Gbk.h"
#include "tests/support/TempRunDirectory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gRan;
std::map<std::string, std::function<void()>> gDuring;

void Ran(const char* name) {
    gRan.push_back(name);
    if (auto it = gDuring.find(name); it != gDuring.end()) it->second();
}

} // namespace

#define KIND_HANDLER(name)                                                                                             \
    void kindwin::name() {                                                                                             \
        Ran(#name);                                                                                                    \
    }
KIND_HANDLER(按钮_单击)
KIND_HANDLER(选择框_单击)
KIND_HANDLER(单选框1_单击)
KIND_HANDLER(单选框2_单击)
KIND_HANDLER(类别_选择)
KIND_HANDLER(网页_选择)
KIND_HANDLER(文件框_选择)
KIND_HANDLER(文件框_双击)
KIND_HANDLER(时钟_周期)
KIND_HANDLER(超级按钮_单击)
#undef KIND_HANDLER

namespace paveno::forms {
namespace {

namespace K = kindwin::种类窗口;
using Names = std::vector<std::string>;

class KindsTest : public ::testing::Test {
protected:
    void SetUp() override {
        gRan.clear();
        gDuring.clear();
        saved_ = std::filesystem::current_path();
        SetSeams({&box_, &shell_, &end_});
        RuntimeOptions options;
        options.runDirectory = run_.path();
        ASSERT_TRUE(InitRuntime(kindwin::Program(), options));
        ASSERT_TRUE(LoadWindow(K::id));
        Settle();
        gRan.clear();
    }
    void TearDown() override {
        gDuring.clear();
        RuntimeOptions options;
        options.runDirectory = run_.path();
        InitRuntime(kindwin::Program(), options); // drops the loaded windows
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetSeams({});
        std::filesystem::current_path(saved_);
    }
    static void Settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    template <class C> static C& Live(std::uint32_t control, std::uint32_t window = K::id) {
        auto* c = dynamic_cast<C*>(FindLiveControl(window, control));
        if (!c) throw std::runtime_error("no live control of that kind");
        return *c;
    }
    static Value Read(std::uint32_t control, int property) { return ReadProperty(K::id, control, property); }
    static void Write(std::uint32_t control, int property, Value v) { WriteProperty(K::id, control, property, v); }

    test::TempRunDirectory run_;
    std::filesystem::path saved_;
    ScriptedMessageBox box_;
    RecordingShell shell_;
    RecordingEnd end_;
};

// A 24-bit BMP of one colour, bottom-up as the format stores it.
ByteSet SolidBmp(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    int stride = (w * 3 + 3) & ~3;
    std::uint32_t size = 54 + static_cast<std::uint32_t>(stride * h);
    ByteSet out(size, 0);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(w), 4);
    put(22, static_cast<std::uint32_t>(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::size_t p = 54 + static_cast<std::size_t>(y * stride + x * 3);
            out[p] = b;
            out[p + 1] = g;
            out[p + 2] = r;
        }
    }
    return out;
}

TEST_F(KindsTest, WrittenComboSelectionIsClampedAndRaisesNoEvent) {
    struct Case {
        std::int32_t written;
        std::int32_t selection;
        const char* content;
    };
    // 类别 is a drop-down list of three items: its content is the selected item's text.
    const Case cases[] = {
        {1, 1, "都市小说"}, {3, 2, "言情小说"}, {999, 2, "言情小说"}, {0, 0, "玄幻小说"},
        {-1, -1, ""},       {-7, -1, ""},       {2, 2, "言情小说"},
    };
    for (const auto& c : cases) {
        Write(K::类别, 19, Value::Integer(c.written));
        Settle();
        EXPECT_EQ(Read(K::类别, 19), Value::Integer(c.selection)) << c.written;
        EXPECT_EQ(Read(K::类别, 9).text(), Gbk(c.content)) << c.written;
        EXPECT_EQ(Live<ComboBox>(K::类别).combo()->currentIndex(), c.selection);
    }
    EXPECT_EQ(gRan, Names{});
}

TEST_F(KindsTest, ComboStartsFromItsBlock) {
    ComboBox& web = Live<ComboBox>(K::网页);
    // Sorted items carry their data; the stored selection 7 of three items selects the last; the stored content
    // of an editable box is its field's text.
    ASSERT_EQ(web.count(), 3);
    EXPECT_EQ(web.item(0), "a.html");
    EXPECT_EQ(web.item(2), "c.html");
    EXPECT_EQ(web.combo()->itemData(0).toInt(), 0x0B);
    EXPECT_EQ(web.combo()->itemData(2).toInt(), 0x0A);
    EXPECT_EQ(Read(K::网页, 19), Value::Integer(2));
    EXPECT_EQ(Read(K::网页, 9).text(), Gbk("自己写的"));
    EXPECT_TRUE(web.combo()->isEditable());
    EXPECT_FALSE(Live<ComboBox>(K::类别).combo()->isEditable());

    // The dropped list is at least 160 pixels high even for three items.
    web.combo()->showPopup();
    Settle();
    EXPECT_GE(web.combo()->view()->height(), ComboBox::kMinimumListHeight);
    web.combo()->hidePopup();
}

TEST_F(KindsTest, UserSelectionRaisesOneEventAfterTheBoxShowsTheItem) {
    struct Seen {
        Value selection, content;
    };
    std::vector<Seen> seen;
    gDuring["类别_选择"] = [&]() {
        seen.push_back({Read(K::类别, 19), Read(K::类别, 9)});
        // The handler mirrors the choice into another box, which must raise nothing.
        Write(K::网页, 19, Value::Integer(0));
    };
    ComboBox& combo = Live<ComboBox>(K::类别);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(combo.combo(), &down);
    EXPECT_EQ(gRan, Names{}); // posted, not yet raised
    Settle();
    ASSERT_EQ(gRan, Names{"类别_选择"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].selection, Value::Integer(1));
    EXPECT_EQ(seen[0].content.text(), Gbk("都市小说"));
    EXPECT_EQ(Read(K::网页, 19), Value::Integer(0));

    // While the suppress flag is set, a user's choice neither posts nor raises.
    combo.SetSuppressed(true);
    QApplication::sendEvent(combo.combo(), &down);
    Settle();
    EXPECT_EQ(gRan, Names{"类别_选择"});
    EXPECT_EQ(Read(K::类别, 19), Value::Integer(2));
}

TEST_F(KindsTest, TimerIntervalRules) {
    Timer& timer = Live<Timer>(K::时钟);
    struct Case {
        std::int32_t written;
        std::int32_t stored;
        bool running;
        bool restarted;
    };
    const Case cases[] = {
        {5000, 5000, true, true}, {5000, 5000, true, false}, {0, 0, false, false},  {0, 0, false, false},
        {300, 300, true, true},   {-5, 0, false, false},     {-5, 0, false, false}, {5000, 5000, true, true},
    };
    for (const auto& c : cases) {
        auto* qt = timer.context()->findChild<QTimer*>();
        ASSERT_NE(qt, nullptr);
        int before = qt->timerId();
        Write(K::时钟, 8, Value::Integer(c.written));
        EXPECT_EQ(Read(K::时钟, 8), Value::Integer(c.stored)) << c.written;
        EXPECT_EQ(timer.running(), c.running) << c.written;
        if (c.running) {
            EXPECT_EQ(qt->timerId() != before, c.restarted) << c.written;
        }
    }
    // Each tick raises event 0; a stopped timer raises nothing.
    Write(K::时钟, 8, Value::Integer(5));
    QElapsedTimer clock;
    clock.start();
    while (gRan.size() < 3 && clock.elapsed() < 60'000) // a limit only a fault reaches
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GE(gRan.size(), 3u);
    EXPECT_EQ(gRan.front(), "时钟_周期");
    Write(K::时钟, 8, Value::Integer(0));
    gRan.clear();
    clock.restart();
    while (clock.elapsed() < 60)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(gRan, Names{});
    // The timer is never shown, whatever its visible flag says.
    EXPECT_EQ(Live<Timer>(K::时钟).widget(), nullptr);
}

TEST_F(KindsTest, FileBoxListsTheFilesOfAGbkFolder) {
    std::filesystem::path folder = run_.path() / std::filesystem::u8path("小说") / std::filesystem::u8path("完本");
    std::filesystem::create_directories(folder / "子目录");
    for (const char* name : {"b.rar", "小说一.rar", "A.txt"})
        std::ofstream(folder / std::filesystem::u8path(name)) << "x";
    const Text gbkFolder = Text(run_.gbkPath()) + Gbk("\\小说\\完本");

    struct Case {
        Text written;
        std::vector<Text> names;
    };
    const std::vector<Text> all = {"A.txt", "b.rar", Gbk("小说一.rar")};
    const Case cases[] = {
        {gbkFolder, all},
        {gbkFolder + "\\", all},
        {gbkFolder + Gbk("\\没有"), {}},
        {Text(), {}},
    };
    FileBox& box = Live<FileBox>(K::文件框);
    for (const auto& c : cases) {
        Write(K::文件框, 8, Value::FromText(c.written));
        EXPECT_EQ(Read(K::文件框, 8).text(), c.written);
        EXPECT_EQ(box.list().items(), c.names) << GbkToUtf8Lossy(c.written);
        EXPECT_EQ(Read(K::文件框, 9).text(), Text());
    }
    EXPECT_EQ(gRan, Names{}); // listing is no selection

    Write(K::文件框, 8, Value::FromText(gbkFolder));
    QListWidget* list = box.list().widget();
    list->setCurrentRow(2); // as a click would
    EXPECT_EQ(Read(K::文件框, 9).text(), Gbk("小说一.rar"));
    emit list->itemDoubleClicked(list->item(2));
    EXPECT_EQ(gRan, (Names{"文件框_选择", "文件框_双击"}));
}

TEST_F(KindsTest, RichEditGivesEveryLineBreakAsCrLf) {
    struct Case {
        const char* written;
        const char* read;
    };
    const Case cases[] = {
        {"a\r\nb", "a\r\nb"}, {"a\rb", "a\r\nb"},           {"a\nb", "a\r\nb"}, {"a\r\n\rb\n", "a\r\n\r\nb\r\n"},
        {"\n\r", "\r\n\r\n"}, {"\r\r\n\n", "\r\n\r\n\r\n"}, {"", ""},           {"无换行", "无换行"},
    };
    for (const auto& c : cases) {
        Write(K::丰富文本框, 9, Value::FromText(Gbk(c.written)));
        EXPECT_EQ(Read(K::丰富文本框, 9).text(), Gbk(c.read)) << c.written;
    }
    // Stored content comes back the same way, so a marker ending in a lone CR matches a page's CR LF.
    RuntimeOptions options;
    options.runDirectory = run_.path();
    InitRuntime(kindwin::Program(), options);
    ASSERT_TRUE(LoadWindow(K::id));
    EXPECT_EQ(Read(K::丰富文本框, 9).text(), Gbk("第一行\r\n第二行\r\n第三行\r\n</dl>\r\n"));
    // What the user types comes back with CR LF too.
    RichEdit& box = Live<RichEdit>(K::丰富文本框);
    box.edit()->setPlainText(QStringLiteral("甲\n乙"));
    EXPECT_EQ(Read(K::丰富文本框, 9).text(), Gbk("甲\r\n乙"));
}

TEST_F(KindsTest, TextPropertiesGiveBackTheExactBytes) {
    const Text texts[] = {
        Gbk("小说采集"),
        Text("\xB2"),           // a lone lead byte
        Gbk("采集") + "\xB2",   // a lead byte at the end
        Text("\x80\xFF\x01 x"), // bytes that are no GBK text
        Text(),
    };
    struct Target {
        std::uint32_t control;
        int property;
    };
    const Target targets[] = {
        {K::编辑框, 8},    {K::网页, 9},      {K::透明标签, 8}, {K::按钮, 10},
        {K::超级按钮, 22}, {K::超级按钮, 33}, {K::选择框, 11},  {K::丰富文本框, 9},
    };
    for (const auto& t : targets) {
        for (const Text& text : texts) {
            Write(t.control, t.property, Value::FromText(text));
            EXPECT_EQ(Read(t.control, t.property).text(), text) << std::hex << t.control << " " << t.property;
        }
    }
    // Once the user edits the field, the field's own text is the content.
    EditBox& edit = Live<EditBox>(K::编辑框);
    Write(K::编辑框, 8, Value::FromText("\xB2"));
    edit.edit()->setFocus();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(edit.edit(), &key);
    EXPECT_EQ(Read(K::编辑框, 8).text(), FromQt(edit.edit()->text()));
    EXPECT_NE(Read(K::编辑框, 8).text(), Text("\xB2"));
}

TEST_F(KindsTest, RadioButtonsOfOneParentAreExclusive) {
    struct Step {
        std::function<void()> act;
        bool first, second;
        Names events;
    };
    auto click = [](std::uint32_t id) { return [id]() { Live<RadioButton>(id).button()->click(); }; };
    auto write = [](std::uint32_t id, bool v) { return [id, v]() { Write(id, 18, Value::Logical(v)); }; };
    const Step steps[] = {
        {[]() {}, true, false, {}},
        {click(K::单选框2), false, true, {"单选框2_单击"}},
        {click(K::单选框2), false, true, {"单选框2_单击"}},
        {write(K::单选框1, true), true, false, {}},
        {write(K::单选框1, false), false, false, {}}, // the program may clear the checked one
        {click(K::单选框1), true, false, {"单选框1_单击"}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        gRan.clear();
        steps[i].act();
        EXPECT_EQ(Read(K::单选框1, 18), Value::Logical(steps[i].first)) << "step " << i;
        EXPECT_EQ(Read(K::单选框2, 18), Value::Logical(steps[i].second)) << "step " << i;
        EXPECT_EQ(gRan, steps[i].events) << "step " << i;
    }
    // The check box is no radio: it toggles on its own and leaves the radios alone.
    EXPECT_EQ(Read(K::选择框, 18), Value::Logical(true));
    Live<CheckBox>(K::选择框).button()->click();
    EXPECT_EQ(Read(K::选择框, 18), Value::Logical(false));
    EXPECT_EQ(Read(K::单选框1, 18), Value::Logical(true));
    EXPECT_EQ(Live<CheckBox>(K::选择框).button()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(KindsTest, SuperButtonPaintsTheColoursOfItsState) {
    QWidget* frame = FindLiveControl(K::id, 0)->widget();
    frame->activateWindow();
    QApplication::setActiveWindow(frame);
    Live<EditBox>(K::编辑框).edit()->setFocus(); // focus elsewhere first
    Settle();
    SuperButton& sb = Live<SuperButton>(K::超级按钮);
    QAbstractButton* w = sb.button();
    auto background = [&]() { return w->grab().toImage().pixelColor(3, 3); };
    // Text colour: the darkest or reddest pixel of the caption area.
    auto hasText = [&](QColor colour) {
        QImage img = w->grab().toImage();
        for (int y = 4; y < img.height() - 4; ++y)
            for (int x = 4; x < img.width() - 4; ++x)
                if (img.pixelColor(x, y) == colour) return true;
        return false;
    };

    struct Case {
        const char* state;
        std::function<void()> enter;
        QColor background, text;
    };
    const Case cases[] = {
        {"mouse outside", []() {}, QColor(255, 255, 255), QColor(0, 0, 0)},
        {"mouse over",
         [&]() {
             QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
             QApplication::sendEvent(w, &e);
         },
         QColor(255, 252, 235), QColor(0, 0, 0)},
        {"mouse left again",
         [&]() {
             QEvent e(QEvent::Leave);
             QApplication::sendEvent(w, &e);
         },
         QColor(255, 255, 255), QColor(0, 0, 0)},
        {"input focus", [&]() { w->setFocus(); }, QColor(0, 0, 0), QColor(255, 0, 0)},
    };
    for (const auto& c : cases) {
        c.enter();
        Settle();
        EXPECT_EQ(background(), c.background) << c.state;
        EXPECT_TRUE(hasText(c.text)) << c.state;
    }
    EXPECT_EQ(w->toolTip(), QString::fromUtf8("学习使用方法"));
    w->click();
    EXPECT_EQ(gRan, Names{"超级按钮_单击"});
    // The colours are properties too; a written colour shows at once.
    Write(K::超级按钮, 29, Value::Integer(0x0000FF00));
    Settle();
    EXPECT_EQ(background(), QColor(0, 255, 0));
}

TEST_F(KindsTest, PictureShowsThroughTheTransparentLabel) {
    Write(K::图片框, 10, Value::FromBytes(SolidBmp(270, 106, 200, 0, 0)));
    Write(K::透明标签, 8, Value::FromText(Gbk("新的标题")));
    Settle();
    QWidget* box = FindLiveControl(K::id, K::图片框)->widget();
    QRect label = FindLiveControl(K::id, K::透明标签)->widget()->geometry();
    QImage img = box->grab().toImage();
    int picture = 0, letters = 0;
    for (int y = label.top(); y <= label.bottom(); ++y) {
        for (int x = label.left(); x <= label.right(); ++x) {
            QColor c = img.pixelColor(x, y);
            if (c == QColor(200, 0, 0))
                ++picture;
            else if (c.blue() > 100 && c.red() < 150)
                ++letters;
        }
    }
    EXPECT_GT(picture, label.width() * label.height() / 2);
    EXPECT_GT(letters, 10);
    // An empty byte set clears the picture: the box's background is back.
    Write(K::图片框, 10, Value::FromBytes({}));
    EXPECT_EQ(Read(K::图片框, 10).bytes(), ByteSet{});
    img = box->grab().toImage();
    EXPECT_NE(img.pixelColor(2, 2), QColor(200, 0, 0));
}

TEST_F(KindsTest, HtmlViewerOpensWrittenAddresses) {
    const Text address = "http://wpa.example/msgrd?v=3&uin=1";
    Write(K::浏览框, 11, Value::FromText(address));
    Write(K::浏览框, 11, Value::FromText(Text()));
    Write(K::浏览框, 11, Value::FromText(address));
    EXPECT_EQ(shell_.opened, (std::vector<Text>{address, address}));
    EXPECT_EQ(Read(K::浏览框, 11).text(), address);
    EXPECT_EQ(FindLiveControl(K::id, K::浏览框)->widget(), nullptr);
}

TEST_F(KindsTest, EmptyBlocksGiveEachKindItsDefaults) {
    namespace D = kindwin::默认窗口;
    ASSERT_TRUE(LoadWindow(D::id));
    struct Case {
        std::uint32_t control;
        int property;
        Value expected;
    };
    const Case cases[] = {
        {D::空编辑框, 8, Value::FromText("")},
        {D::空组合框, 19, Value::Integer(-1)},
        {D::空组合框, 9, Value::FromText("")},
        {D::空时钟, 8, Value::Integer(0)},
        {D::空文件框, 9, Value::FromText("")},
        {D::空选择框, 18, Value::Logical(false)},
        {D::空单选框, 18, Value::Logical(false)},
        {D::空丰富文本框, 9, Value::FromText("")},
        {D::空浏览框, 11, Value::FromText("")},
        {D::空透明标签, 8, Value::FromText("")},
        {D::空图片框, 10, Value::FromBytes({})},
        {D::空超级按钮, 8, Value::Integer(1)},
        {D::空超级按钮, 24, Value::Integer(static_cast<std::int32_t>(0xFF000000))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadProperty(D::id, c.control, c.property), c.expected) << std::hex << c.control;
    EXPECT_FALSE(Live<Timer>(D::空时钟, D::id).running());
}

TEST(KindFonts, LogFontsBecomeCjkQtFonts) {
    struct Case {
        const char* face;
        std::int32_t height, weight;
        int pixels;
        bool bold;
        const char* family;
    };
    const Case cases[] = {
        {"宋体", -13, 400, 13, false, "WenQuanYi Micro Hei"},
        {"黑体", -19, 700, 19, true, "WenQuanYi Micro Hei"},
        {"Tahoma", -10, 0, 10, false, "WenQuanYi Micro Hei"},
        {"", 0, 0, 12, false, "WenQuanYi Micro Hei"},
        {"宋体", 24, 400, 20, false, "WenQuanYi Micro Hei"},
        {"宋体", -2000000000, 400, 500, false, "WenQuanYi Micro Hei"},
    };
    for (const auto& c : cases) {
        format::LogFont lf;
        lf.face = Gbk(c.face);
        lf.height = c.height;
        lf.weight = c.weight;
        QFont f = FontOf(format::EncodeLogFont(lf));
        EXPECT_EQ(f.pixelSize(), c.pixels) << c.face << " " << c.height;
        EXPECT_EQ(f.bold(), c.bold) << c.face;
        EXPECT_EQ(QFontInfo(f).family(), QString::fromUtf8(c.family)) << c.face;
    }
    // Anything that is no 60-byte record is the default GUI font.
    EXPECT_EQ(FontOf(ByteSet(59, 0)), DefaultGuiFont());
}

} // namespace
} // namespace paveno::forms
