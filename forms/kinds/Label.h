// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"
#include "forms/pictures/PictureImage.h"

namespace paveno::forms {

// A caption drawn with the label's font over its picture; the label fills no background, so it shows the colour
// of whatever holds it.
class Label : public Control {
public:
    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit Label(const CreateArgs& args);
    ~Label() override;

    const Text& caption() const { return caption_; }
    void SetCaption(Text caption);

private:
    QPointer<PaintedWidget> label_;
    Text caption_;
    PictureImage picture_;
};

} // namespace paveno::forms
