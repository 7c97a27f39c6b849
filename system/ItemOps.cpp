// SPDX-License-Identifier: MIT
// Combo box and list box items.
#include "system/SystemOps.h"

#include "forms/Engine.h"
#include "forms/kinds/ComboBox.h"
#include "forms/kinds/ListBox.h"
#include "system/NotLoaded.h"

namespace paveno {

namespace {

// The live control of the named kind. A control of another kind answers like an empty list; one that is not
// loaded is the run-time error.
template <typename Kind> Kind* Live(std::uint32_t windowId, std::uint32_t controlId) {
    forms::Control* c = forms::FindLiveControl(windowId, controlId);
    if (!c) ReportNotLoaded();
    return dynamic_cast<Kind*>(c);
}

template <typename Items> Text ItemAt(const Items& items, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < items.size() ? items[static_cast<std::size_t>(index)]
                                                                        : Text();
}

} // namespace

std::int32_t GetItemCount(std::uint32_t windowId, std::uint32_t comboBoxId) {
    forms::ComboBox* box = Live<forms::ComboBox>(windowId, comboBoxId);
    return box ? box->count() : 0;
}

Text GetItemText(std::uint32_t windowId, std::uint32_t comboBoxId, std::int32_t index) {
    forms::ComboBox* box = Live<forms::ComboBox>(windowId, comboBoxId);
    if (!box || index < 0 || index >= box->count()) return Text();
    return box->item(index);
}

std::int32_t GetListItemCount(std::uint32_t windowId, std::uint32_t listBoxId) {
    forms::ListBox* box = Live<forms::ListBox>(windowId, listBoxId);
    return box ? static_cast<std::int32_t>(box->list().items().size()) : 0;
}

Text GetListItemText(std::uint32_t windowId, std::uint32_t listBoxId, std::int32_t index) {
    forms::ListBox* box = Live<forms::ListBox>(windowId, listBoxId);
    return box ? ItemAt(box->list().items(), index) : Text();
}

std::int32_t AddListItem(std::uint32_t windowId, std::uint32_t listBoxId, const Text& text, std::int32_t data) {
    forms::ListBox* box = Live<forms::ListBox>(windowId, listBoxId);
    return box ? box->list().Add(text, data) : -1;
}

void ClearListItems(std::uint32_t windowId, std::uint32_t listBoxId) {
    if (forms::ListBox* box = Live<forms::ListBox>(windowId, listBoxId)) box->list().Clear();
}

} // namespace paveno
