// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

namespace paveno::forms {

// A caption (property 8) drawn straight onto whatever lies beneath: no background of its own, so the parent's
// picture or colour shows between the letters.
class TransparentLabel : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kCaption = 8;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit TransparentLabel(const CreateArgs& args);
    ~TransparentLabel() override;

    const Text& caption() const { return caption_; }
    void SetCaption(Text caption);

private:
    QPointer<PaintedWidget> label_;
    Text caption_;
    QColor colour_;
    int align_;
};

} // namespace paveno::forms
