// SPDX-License-Identifier: MIT
#include "forms/kinds/Kinds.h"

#include "forms/kinds/Button.h"
#include "forms/kinds/CheckButton.h"
#include "forms/kinds/ComboBox.h"
#include "forms/kinds/EditBox.h"
#include "forms/kinds/FileBox.h"
#include "forms/kinds/HtmlViewer.h"
#include "forms/kinds/Label.h"
#include "forms/kinds/ListBox.h"
#include "forms/kinds/PictureBox.h"
#include "forms/kinds/RichEdit.h"
#include "forms/kinds/SuperButton.h"
#include "forms/kinds/Timer.h"
#include "forms/kinds/TransparentLabel.h"
#include "forms/kinds/WindowKind.h"

namespace paveno::forms {

// One line per kind; a kind joins the table here and nowhere else.
#define PAVENO_KINDS(X)                                                                                                \
    X(WindowControl)                                                                                                   \
    X(EditBox)                                                                                                         \
    X(PictureBox)                                                                                                      \
    X(Label)                                                                                                           \
    X(Button)                                                                                                          \
    X(CheckBox)                                                                                                        \
    X(RadioButton)                                                                                                     \
    X(ComboBox)                                                                                                        \
    X(ListBox)                                                                                                         \
    X(FileBox)                                                                                                         \
    X(Timer)                                                                                                           \
    X(SuperButton)                                                                                                     \
    X(RichEdit)                                                                                                        \
    X(HtmlViewer)                                                                                                      \
    X(TransparentLabel)

std::span<const KindDescriptor* const> BuiltInKinds() {
#define PAVENO_KIND_ENTRY(cls) &cls::Descriptor(),
    static const KindDescriptor* const kinds[] = {PAVENO_KINDS(PAVENO_KIND_ENTRY)};
#undef PAVENO_KIND_ENTRY
    return kinds;
}

} // namespace paveno::forms
