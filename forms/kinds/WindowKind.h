// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Control.h"
#include "forms/kinds/KindSupport.h"
#include "forms/pictures/PictureImage.h"

#include <QFrame>

namespace paveno::forms {

class WindowControl;

// A frame drawn round the control that has the keyboard focus, clear on any palette: it lies over the control's
// neighbours by its width, takes no mouse and follows the control as it moves, changes size, shows or hides.
class FocusRing : public QWidget {
public:
    static constexpr int kWidth = 2;
    static constexpr double kMinimumContrast = 3.0;

    explicit FocusRing(QWidget* parent);
    void Follow(QWidget* target); // null: no control of the window has the focus
    QWidget* target() const { return target_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Place();
    QPointer<QWidget> target_;
};

// The top-level widget of a loaded window. It reports closing, moving and resizing to its control and paints the
// background picture.
class FormFrame : public QFrame {
public:
    FormFrame(WindowControl* owner, QWidget* parent, Qt::WindowFlags flags);
    void Detach() { owner_ = nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    WindowControl* owner_;
};

// The window kind (entry 0 of every control table).
class WindowControl : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kCaption = 8, kBorder = 9, kBackground = 10, kBackPicture = 11, kPictureMode = 12,
                         kControlBox = 15, kMaxButton = 16, kMinButton = 17, kStartPosition = 18, kMovable = 19,
                         kShownInTaskbar = 26, kTopMost = 29;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);

    WindowControl(const CreateArgs& args);
    ~WindowControl() override;

    FormFrame* frame() const { return frame_; }
    FocusRing* focusRing() const { return ring_; }

    // Once loading has raised the creation events: shown as its start position says, then sized to the stored
    // outer size.
    void ShowAsStored();
    void BringForward();
    void ApplyVisible() override;
    void AllCreated() override;

    // Stored settings, read by the engine and the property table.
    std::uint32_t border() const { return border_; }
    bool resizable() const { return border_ == 1 || border_ == 3 || border_ == 5; }
    std::uint32_t startPosition() const { return startPosition_; }

    const Text& caption() const { return caption_; }
    void SetCaption(const Text& caption);
    std::uint32_t background() const { return background_; }
    void SetBackground(std::uint32_t colour);
    const ByteSet& picture() const { return pictureBytes_; }
    void SetPicture(const ByteSet& bytes);
    std::uint32_t pictureMode() const { return pictureMode_; }
    void SetPictureMode(std::uint32_t mode);
    bool showInTaskbar() const { return showInTaskbar_; }
    void SetShowInTaskbar(bool v) { showInTaskbar_ = v; }
    bool alwaysOnTop() const { return alwaysOnTop_; }
    void SetAlwaysOnTop(bool v);
    bool movable() const { return movable_; }
    bool controlBox() const { return controlBox_; }
    bool maxButton() const { return maxButton_; }
    bool minButton() const { return minButton_; }

    // Called by the frame.
    void OnClose();
    void OnMoveOrResize(int event);
    void Paint(QPainter& painter);

protected:
    QRect Geometry() const override;
    void SetGeometry(const QRect& r) override;

private:
    void ApplyDataBackground();
    void FollowFocus(QWidget* now);

    FormFrame* frame_ = nullptr;
    QPointer<FocusRing> ring_;
    std::uint32_t border_, pictureMode_, background_, startPosition_;
    bool maxButton_, minButton_, controlBox_, movable_, showInTaskbar_, alwaysOnTop_;
    Text caption_;
    ByteSet pictureBytes_, iconBytes_;
    PictureImage picture_;
};

} // namespace paveno::forms
