// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"
#include "forms/pictures/PictureImage.h"

#include <QAbstractButton>

namespace paveno::forms {

class SuperButton;

class SuperButtonWidget : public QAbstractButton {
public:
    SuperButtonWidget(SuperButton* owner, QWidget* parent);
    void Detach() { owner_ = nullptr; }
    bool hovered() const { return hovered_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    SuperButton* owner_;
    bool hovered_ = false;
};

// An owner-drawn button: caption and font, text and background colours for the mouse outside, the mouse over it
// and the input focus, an optional border, state pictures, a tooltip while the mouse rests on it; event 0 on click.
class SuperButton : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kFont = 21, kCaption = 22, kToolTip = 33;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit SuperButton(const CreateArgs& args);
    ~SuperButton() override;

    enum State { kOut, kOver, kFocus };
    struct Colours {
        std::uint32_t text, background;
    };

    State state() const;
    Colours& colours(State s) { return colours_[s]; }
    const Colours& colours(State s) const { return colours_[s]; }
    // Settings of the property table, by property number (8 to 14, 23).
    std::uint32_t& setting(int number);
    const Text& caption() const { return caption_; }
    void SetCaption(Text caption);
    const Text& tooltip() const { return tooltip_; }
    void SetTooltip(Text tooltip);
    const ByteSet& picture(int number) const;
    void SetPicture(int number, ByteSet bytes);
    const ByteSet& font() const { return fontBlob_; }
    void SetFont(ByteSet blob);
    QAbstractButton* button() const { return button_; }
    void Refresh();

    void Paint(QPainter& p);

private:
    QPointer<SuperButtonWidget> button_;
    std::uint32_t style_, checkBox_, checked_, align_, pressStyle_, drawBorder_, drawFocus_, defaultColours_ = 0;
    Colours colours_[3];
    Text caption_, tooltip_;
    ByteSet fontBlob_, pictureBytes_[3];
    PictureImage pictures_[3];
};

} // namespace paveno::forms
