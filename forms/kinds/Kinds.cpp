// SPDX-License-Identifier: MIT
#include "forms/kinds/Kinds.h"

#include "forms/kinds/WindowKind.h"

namespace paveno::forms {

// One line per kind; a kind joins the table here and nowhere else.
#define PAVENO_KINDS(X) X(WindowControl)

std::span<const KindDescriptor* const> BuiltInKinds() {
#define PAVENO_KIND_ENTRY(cls) &cls::Descriptor(),
    static const KindDescriptor* const kinds[] = {PAVENO_KINDS(PAVENO_KIND_ENTRY)};
#undef PAVENO_KIND_ENTRY
    return kinds;
}

} // namespace paveno::forms
