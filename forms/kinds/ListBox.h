// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

#include <QListWidget>

#include <vector>

namespace paveno::forms {

// A list of GBK texts in a list widget: event 0 when the user changes the selection, event 1 on a double click.
// The list box and the file box are both made of one.
class TextList {
public:
    TextList(Control& owner, const CreateArgs& args, const QFont& font);

    QListWidget* widget() const { return list_; }
    void Fill(std::vector<Text> items);
    const std::vector<Text>& items() const { return items_; }
    // Appends an item with its data value (the list keeps the order it is given); returns the item's index.
    int Add(Text text, std::int32_t data);
    void Clear() { Fill({}); }
    std::int32_t data(int index) const;
    int selection() const;
    void Select(int index);
    // The selected text, "" when none.
    Text selected() const;

private:
    QPointer<QListWidget> list_;
    std::vector<Text> items_;
    std::vector<std::int32_t> data_; // one per item
    bool programmatic_ = false;
};

class ListBox : public Control {
public:
    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit ListBox(const CreateArgs& args);

    TextList& list() { return list_; }
    const TextList& list() const { return list_; }

private:
    TextList list_;
};

} // namespace paveno::forms
