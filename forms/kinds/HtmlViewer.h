// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

#include <functional>

namespace paveno::forms {

// Opens addresses the way a browser would: writing the address (property 11) hands it on to be opened.
// It has no window of its own, so it is never shown.
class HtmlViewer : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kUrl = 11;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit HtmlViewer(const CreateArgs& args);

    // What opens the addresses written to a viewer. The program has the system operations open them, which tell
    // the user when nothing could; until one is set, the address goes to the shell seam alone, if one is set.
    static void SetOpener(std::function<void(const Text&)> opener);

    const Text& address() const { return address_; }
    void Navigate(Text address);

private:
    Text address_;
};

} // namespace paveno::forms
