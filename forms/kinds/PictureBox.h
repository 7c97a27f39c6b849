// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"
#include "forms/pictures/PictureImage.h"

namespace paveno::forms {

// A container that shows one picture (property 10) at its top left, on its background colour.
class PictureBox : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kPicture = 10;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit PictureBox(const CreateArgs& args);
    ~PictureBox() override;

    const ByteSet& picture() const { return pictureBytes_; }
    void SetPicture(ByteSet bytes);
    // What the box draws: the part of the picture that the box shows.
    const PictureImage& shown() const { return picture_; }

private:
    // Decodes what the box shows at its present size; a box that grows later decodes again.
    void DecodeShown();

    QPointer<PaintedWidget> box_;
    ByteSet pictureBytes_;
    PictureImage picture_;
    bool coloured_ = false;
    QSize decodedFor_;
};

} // namespace paveno::forms
