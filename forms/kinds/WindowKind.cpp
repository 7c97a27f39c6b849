// SPDX-License-Identifier: MIT
#include "forms/kinds/WindowKind.h"

#include "forms/Engine.h"
#include "forms/pictures/PictureDecoder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <vector>

namespace paveno::forms {

namespace {

WindowControl& W(Control& c) {
    return static_cast<WindowControl&>(c);
}
const WindowControl& W(const Control& c) {
    return static_cast<const WindowControl&>(c);
}

Value Bool(bool v) {
    return Value::Logical(v);
}
Value Int(std::uint32_t v) {
    return Value::Integer(static_cast<std::int32_t>(v));
}

const PropertyEntry kProperties[] = {
    {WindowControl::kCaption, "标题", "caption", PropertyType::Text,
     [](const Control& c) { return Value::FromText(W(c).caption()); },
     [](Control& c, const Value& v) { W(c).SetCaption(v.text()); }},
    {WindowControl::kBorder, "边框", "border", PropertyType::IntegerChoice,
     [](const Control& c) { return Int(W(c).border()); }},
    {WindowControl::kBackground, "底色", "BackColor", PropertyType::ColourOrDefault,
     [](const Control& c) { return Int(W(c).background()); },
     [](Control& c, const Value& v) { W(c).SetBackground(static_cast<std::uint32_t>(v.integer())); }},
    {WindowControl::kBackPicture, "底图", "BackPic", PropertyType::Picture,
     [](const Control& c) { return Value::FromBytes(W(c).picture()); },
     [](Control& c, const Value& v) { W(c).SetPicture(v.bytes()); }},
    {WindowControl::kPictureMode, "底图方式", "PicMode", PropertyType::IntegerChoice,
     [](const Control& c) { return Int(W(c).pictureMode()); },
     [](Control& c, const Value& v) { W(c).SetPictureMode(static_cast<std::uint32_t>(v.integer())); }},
    {WindowControl::kControlBox, "控制按钮", "ControlBox", PropertyType::Bool,
     [](const Control& c) { return Bool(W(c).controlBox()); }},
    {WindowControl::kMaxButton, "最大化按钮", "MaxBtn", PropertyType::Bool,
     [](const Control& c) { return Bool(W(c).maxButton()); }},
    {WindowControl::kMinButton, "最小化按钮", "MinBtn", PropertyType::Bool,
     [](const Control& c) { return Bool(W(c).minButton()); }},
    {WindowControl::kStartPosition, "位置", "StartPosition", PropertyType::IntegerChoice,
     [](const Control& c) { return Int(W(c).startPosition()); }},
    {WindowControl::kMovable, "可否移动", "Movable", PropertyType::Bool,
     [](const Control& c) { return Bool(W(c).movable()); }},
    {WindowControl::kShownInTaskbar, "在任务条中显示", "ShowInTaskbar", PropertyType::Bool,
     [](const Control& c) { return Bool(W(c).showInTaskbar()); },
     [](Control& c, const Value& v) { W(c).SetShowInTaskbar(v.logical()); }},
    {WindowControl::kTopMost, "总在最前", "TopMost", PropertyType::Bool,
     [](const Control& c) { return Bool(W(c).alwaysOnTop()); },
     [](Control& c, const Value& v) { W(c).SetAlwaysOnTop(v.logical()); }},
};

const KindDescriptor kDescriptor = {
    format::kWindowKind, "窗口", "window", kKindAllowsEvents | kKindContainer, 32, kProperties, &WindowControl::Create,
};

} // namespace

FormFrame::FormFrame(WindowControl* owner, QWidget* parent, Qt::WindowFlags flags)
    : QFrame(parent, flags), owner_(owner) {}

FocusRing::FocusRing(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void FocusRing::Follow(QWidget* target) {
    if (target_ == target) return;
    if (target_) target_->removeEventFilter(this);
    target_ = target;
    if (!target) {
        hide();
        return;
    }
    target->installEventFilter(this);
    if (parentWidget() != target->parentWidget()) setParent(target->parentWidget());
    Place();
}

void FocusRing::Place() {
    if (!target_ || !target_->isVisible()) {
        hide();
        return;
    }
    setGeometry(target_->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
    raise();
    show();
    update();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        Place();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// The desktop's (or the classic) selection colour where it stands out from what lies around the control, else black
// or white, whichever stands out more.
void FocusRing::paintEvent(QPaintEvent*) {
    if (!target_ || !parentWidget()) return;
    const QColor around = parentWidget()->palette().color(QPalette::Window);
    QColor colour = target_->palette().color(QPalette::Highlight);
    if (ContrastRatio(colour, around) < kMinimumContrast)
        colour = ContrastRatio(Qt::black, around) >= ContrastRatio(Qt::white, around) ? Qt::black : Qt::white;
    QPainter p(this);
    p.setPen(QPen(colour, kWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

void FormFrame::closeEvent(QCloseEvent* event) {
    // The engine destroys the window itself (event 2 first), so Qt's own close is not taken.
    event->ignore();
    if (owner_) owner_->OnClose();
}

void FormFrame::moveEvent(QMoveEvent* event) {
    QFrame::moveEvent(event);
    if (owner_) owner_->OnMoveOrResize(3);
}

void FormFrame::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (owner_) owner_->OnMoveOrResize(4);
}

void FormFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (owner_) {
        QPainter painter(this);
        owner_->Paint(painter);
    }
}

const KindDescriptor& WindowControl::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> WindowControl::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the window kind needs its property block";
        return nullptr;
    }
    return std::make_unique<WindowControl>(args);
}

WindowControl::WindowControl(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    border_ = b.Number("border");
    pictureMode_ = b.Number("pictureMode");
    background_ = b.Number("background");
    maxButton_ = b.Flag("maxButton");
    minButton_ = b.Flag("minButton");
    controlBox_ = b.Flag("controlBox");
    startPosition_ = b.Number("startPosition");
    movable_ = b.Flag("movable");
    showInTaskbar_ = b.Flag("showInTaskbar");
    alwaysOnTop_ = b.Flag("alwaysOnTop");
    caption_ = b.TextOf("caption");
    pictureBytes_ = b.Blob("picture");
    iconBytes_ = b.Blob("icon");

    // Frame style from the border style, the caption and the boxes.
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (border_ == 3 || border_ == 4) flags |= Qt::Tool;
    if (border_ == 0) {
        flags |= Qt::FramelessWindowHint;
    } else if (!caption_.empty() || controlBox_) {
        flags |= Qt::WindowTitleHint;
        if (controlBox_) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (maxButton_) flags |= Qt::WindowMaximizeButtonHint;
        if (minButton_) flags |= Qt::WindowMinimizeButtonHint;
    }
    if (alwaysOnTop_) flags |= Qt::WindowStaysOnTopHint;
    // A window kept out of the task bar, and every modal window, is owned by the engine's hidden frame.
    QWidget* parent = (!showInTaskbar_ || args.modal) ? args.owner : nullptr;
    frame_ = new FormFrame(this, parent, flags);
    // Shown as far as Qt and the handlers are concerned, but no platform window is made and nothing is painted.
    if (args.offScreen) {
        frame_->setAttribute(Qt::WA_DontShowOnScreen);
        frame_->setUpdatesEnabled(false);
    }
    frame_->setAttribute(Qt::WA_DeleteOnClose, false);
    if (border_ == 5 || border_ == 6) frame_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    frame_->setWindowTitle(ToQt(caption_));
    picture_ = PictureImage(DecodePicture(pictureBytes_));
    ApplyDataBackground();
    PictureImage icon(DecodePicture(iconBytes_));
    if (!icon.IsNull()) frame_->setWindowIcon(icon.Icon());
    frame_->setFont(QGuiApplication::font());

    int left = args.record.left, top = args.record.top;
    if (startPosition_ == 1) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            left = (screen->geometry().width() - args.record.width) / 2;
            top = (screen->geometry().height() - args.record.height) / 2;
        }
    }
    frame_->move(left, top);
    frame_->resize(std::max(args.record.width, 0), std::max(args.record.height, 0));
    // A fixed frame keeps its size; the size is fixed again once the outer size is known.
    if (!resizable()) frame_->setFixedSize(frame_->size());
    SetWidget(frame_);
    ring_ = new FocusRing(frame_);
    QObject::connect(qApp, &QApplication::focusChanged, context(),
                     [this](QWidget*, QWidget* now) { FollowFocus(now); });
}

WindowControl::~WindowControl() {
    // The frame may be in the middle of one of its own events (a close from its title bar): it goes later.
    if (frame_) {
        frame_->Detach();
        frame_->hide();
        frame_->deleteLater();
    }
}

QRect WindowControl::Geometry() const {
    return frame_->frameGeometry();
}

void WindowControl::SetGeometry(const QRect& r) {
    QSize extra = frame_->frameGeometry().size() - frame_->size();
    QSize client(std::max(r.width() - extra.width(), 0), std::max(r.height() - extra.height(), 0));
    if (!resizable()) frame_->setFixedSize(client);
    frame_->resize(client);
    frame_->move(r.topLeft());
}

void WindowControl::ShowAsStored() {
    if (startPosition_ == 3 && resizable())
        frame_->showMaximized();
    else if (startPosition_ == 2)
        frame_->showMinimized();
    else
        frame_->show();
    // The frame's outer size is known only once it is shown; make it the stored size.
    if (startPosition_ != 3 && startPosition_ != 2) {
        QSize outer = frame_->frameGeometry().size();
        QSize want(record().width, record().height);
        if (outer != want) {
            QRect g = frame_->frameGeometry();
            g.setSize(want);
            SetGeometry(g);
        }
    }
}

void WindowControl::ApplyVisible() {
    if (storedVisible())
        ShowAsStored();
    else
        frame_->hide();
}

void WindowControl::BringForward() {
    if (frame_->isMinimized()) {
        frame_->showNormal();
    } else {
        frame_->raise();
        frame_->activateWindow();
    }
}

void WindowControl::SetCaption(const Text& caption) {
    caption_ = caption;
    frame_->setWindowTitle(ToQt(caption_));
}

void WindowControl::SetBackground(std::uint32_t colour) {
    background_ = colour;
    ApplyDataBackground();
    frame_->update();
}

void WindowControl::SetPicture(const ByteSet& bytes) {
    pictureBytes_ = bytes;
    picture_ = PictureImage(DecodePicture(pictureBytes_));
    ApplyDataBackground();
    frame_->update();
}

// A window whose data paints its background (a colour or a picture) is the classic light window it was drawn as,
// with every control on it; one that leaves its background to the desktop follows the desktop's palette.
void WindowControl::ApplyDataBackground() {
    const QColor colour = ColourOf(background_);
    const bool painted = colour.isValid() || !picture_.IsNull();
    QPalette pal;
    if (painted) {
        pal = ClassicPalette();
        if (colour.isValid()) pal.setColor(QPalette::Window, colour);
    }
    frame_->setPalette(pal);
    frame_->setAutoFillBackground(painted);
    MarkDataBackground(frame_, painted);
}

// Tab goes through the window as it is seen, row by row from the top and left to right in a row, whatever the order
// of the control table (which also decides which control lies on top). Controls whose tops lie a few pixels apart
// stand in one row.
void WindowControl::AllCreated() {
    constexpr int kRowSlack = 4;
    struct Stop {
        QWidget* widget;
        QPoint at;
    };
    std::vector<Stop> stops;
    for (QWidget* w : frame_->findChildren<QWidget*>()) {
        if (IsControlWidget(w) && (w->focusPolicy() & Qt::TabFocus)) stops.push_back({w, w->mapTo(frame_, QPoint())});
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.at.y() < b.at.y(); });
    for (auto row = stops.begin(); row != stops.end();) {
        const int top = row->at.y();
        auto end = std::find_if(row, stops.end(), [top](const Stop& s) { return s.at.y() - top > kRowSlack; });
        std::stable_sort(row, end, [](const Stop& a, const Stop& b) { return a.at.x() < b.at.x(); });
        row = end;
    }
    for (std::size_t k = 1; k < stops.size(); ++k)
        QWidget::setTabOrder(stops[k - 1].widget, stops[k].widget);
}

// The ring goes round the control that holds the focus (a combo box for its field), in this window only.
void WindowControl::FollowFocus(QWidget* now) {
    if (!ring_) return;
    QWidget* target = now;
    while (target && !IsControlWidget(target))
        target = target->parentWidget();
    ring_->Follow(target && target->window() == frame_ ? target : nullptr);
}

void WindowControl::SetPictureMode(std::uint32_t mode) {
    pictureMode_ = mode;
    frame_->update();
}

void WindowControl::SetAlwaysOnTop(bool v) {
    alwaysOnTop_ = v;
    bool shown = frame_->isVisible();
    frame_->setWindowFlag(Qt::WindowStaysOnTopHint, v);
    if (shown) frame_->show(); // changing window flags hides a shown window
}

void WindowControl::OnClose() {
    Raise(1);
    DestroyWindow(windowId());
}

void WindowControl::OnMoveOrResize(int event) {
    if (IsWindowReady(windowId())) Raise(event);
}

// Picture modes: 0 at the top left, 1 tiled, 2 centred, 3 stretched over the client area.
void WindowControl::Paint(QPainter& painter) {
    if (picture_.IsNull()) return;
    SmoothPictures(painter);
    const QImage& image = picture_.Image();
    QRect area = frame_->contentsRect();
    switch (pictureMode_) {
    case 1:
        painter.drawTiledPixmap(area, QPixmap::fromImage(image));
        break;
    case 2:
        painter.drawImage(area.center() - QPoint(image.width() / 2, image.height() / 2), image);
        break;
    case 3:
        painter.drawImage(area, image);
        break;
    default:
        picture_.Draw(painter, area.topLeft());
        break;
    }
}

} // namespace paveno::forms
