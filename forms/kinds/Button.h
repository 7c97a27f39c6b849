// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"
#include "forms/pictures/PictureImage.h"

#include <QPushButton>

namespace paveno::forms {

class Button;

// A push button that places its caption by the stored alignment, or shows its picture instead of the caption.
class ButtonWidget : public QPushButton {
public:
    ButtonWidget(Button* owner, QWidget* parent) : QPushButton(parent), owner_(owner) {}
    void Detach() { owner_ = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Button* owner_;
};

// Properties 8 picture, 9 button type (1: the default button), 10 caption, 11 and 12 alignment, 13 font;
// event 0 on click.
class Button : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kPicture = 8, kType = 9, kCaption = 10, kHAlign = 11, kVAlign = 12;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit Button(const CreateArgs& args);
    ~Button() override;

    const Text& caption() const { return caption_; }
    void SetCaption(Text caption);
    const ByteSet& picture() const { return pictureBytes_; }
    void SetPicture(ByteSet bytes);
    std::uint32_t type() const { return type_; }
    std::uint32_t hAlign() const { return hAlign_; }
    std::uint32_t vAlign() const { return vAlign_; }
    void SetAlign(std::uint32_t h, std::uint32_t v);
    QPushButton* button() const { return button_; }

    void PaintFace(QPainter& painter, const QRect& area) const;

private:
    QPointer<ButtonWidget> button_;
    Text caption_;
    ByteSet pictureBytes_;
    PictureImage picture_;
    std::uint32_t type_, hAlign_, vAlign_;
};

} // namespace paveno::forms
