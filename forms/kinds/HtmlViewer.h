// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

namespace paveno::forms {

// Opens addresses the way a browser would: writing the address (property 11) hands it to the desktop's opener.
// It has no window of its own, so it is never shown.
class HtmlViewer : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kUrl = 11;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit HtmlViewer(const CreateArgs& args);

    const Text& address() const { return address_; }
    void Navigate(Text address);

private:
    Text address_;
};

} // namespace paveno::forms
