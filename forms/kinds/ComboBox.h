// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

#include <QComboBox>

#include <vector>

namespace paveno::forms {

class ComboBox;

class ComboWidget : public QComboBox {
public:
    ComboWidget(ComboBox* owner, QWidget* parent) : QComboBox(parent), owner_(owner) {}
    void Detach() { owner_ = nullptr; }
    void showPopup() override;
    void hidePopup() override;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    ComboBox* owner_;
};

// A combo box: type 0 simple, 1 drop-down with an editable field, 2 drop-down list. Content 9 is the field's text
// (for a drop-down list the selected item's text); selection 19 is written without any event. When the user picks
// an item, event 0 is posted and raised once the box shows the new item. Events 1 to 4: field edited, list dropped
// down, list closed, double click.
class ComboBox : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kType = 8, kContent = 9, kSorted = 14, kTextColour = 16, kBackground = 17, kSelection = 19;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit ComboBox(const CreateArgs& args);
    ~ComboBox() override;

    // The dropped list is never shorter than this.
    static constexpr int kMinimumListHeight = 160;

    std::uint32_t type() const { return type_; }
    bool sorted() const { return sorted_; }
    Text content() const;
    void SetContent(Text text);
    int selection() const;
    void SetSelection(std::int32_t index);
    int count() const { return static_cast<int>(items_.size()); }
    const Text& item(int index) const { return items_[static_cast<std::size_t>(index)]; }
    std::uint32_t textColour() const { return textColour_; }
    std::uint32_t background() const { return background_; }
    void SetColour(std::uint32_t text, std::uint32_t background);

    // While set, a selection by the user neither posts nor raises event 0.
    void SetSuppressed(bool on) { suppressed_ = on; }
    bool suppressed() const { return suppressed_; }

    QComboBox* combo() const { return combo_; }
    void Dropped(bool open);
    void DoubleClicked() { Raise(4); }

private:
    void Selected();

    QPointer<ComboWidget> combo_;
    std::uint32_t type_;
    bool sorted_;
    std::vector<Text> items_;
    HeldText field_;
    std::uint32_t textColour_, background_;
    bool programmatic_ = false;
    bool suppressed_ = false;
};

} // namespace paveno::forms
