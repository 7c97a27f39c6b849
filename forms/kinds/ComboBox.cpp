// SPDX-License-Identifier: MIT
#include "forms/kinds/ComboBox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMetaObject>

#include <algorithm>
#include <numeric>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {ComboBox::kType, "类型", "type", PropertyType::IntegerChoice,
     [](const Control& c) { return IntValue(As<ComboBox>(c).type()); }},
    {ComboBox::kContent, "内容", "content", PropertyType::Text,
     [](const Control& c) { return Value::FromText(As<ComboBox>(c).content()); },
     [](Control& c, const Value& v) { As<ComboBox>(c).SetContent(v.text()); }},
    {ComboBox::kSorted, "自动排序", "sorted", PropertyType::Bool,
     [](const Control& c) { return Value::Logical(As<ComboBox>(c).sorted()); }},
    {ComboBox::kTextColour, "文本颜色", "TextColor", PropertyType::Colour,
     [](const Control& c) { return IntValue(As<ComboBox>(c).textColour()); },
     [](Control& c, const Value& v) { As<ComboBox>(c).SetColour(UIntOf(v), As<ComboBox>(c).background()); }},
    {ComboBox::kBackground, "背景颜色", "BackColor", PropertyType::Colour,
     [](const Control& c) { return IntValue(As<ComboBox>(c).background()); },
     [](Control& c, const Value& v) { As<ComboBox>(c).SetColour(As<ComboBox>(c).textColour(), UIntOf(v)); }},
    {ComboBox::kSelection, "现行选中项", "ListIndex", PropertyType::Integer,
     [](const Control& c) { return Value::Integer(As<ComboBox>(c).selection()); },
     [](Control& c, const Value& v) { As<ComboBox>(c).SetSelection(IntOf(v)); }},
};

const KindDescriptor kDescriptor = {0x0001000E, "组合框",    "ComboBox",       kKindAllowsEvents,
                                    25,         kProperties, &ComboBox::Create};

} // namespace

void ComboWidget::showPopup() {
    QComboBox::showPopup();
    if (owner_) owner_->Dropped(true);
}

void ComboWidget::hidePopup() {
    QComboBox::hidePopup();
    if (owner_) owner_->Dropped(false);
}

void ComboWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QComboBox::mouseDoubleClickEvent(event);
    if (owner_) owner_->DoubleClicked();
}

const KindDescriptor& ComboBox::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> ComboBox::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the combo box needs its property block";
        return nullptr;
    }
    return std::make_unique<ComboBox>(args);
}

ComboBox::ComboBox(const CreateArgs& args) : Control(kDescriptor, args) {
    const format::PropertyBlock& b = *args.block;
    type_ = b.Number("type");
    sorted_ = b.Flag("sorted");
    textColour_ = b.Number("textColour");
    background_ = b.Number("background");
    combo_ = new ComboWidget(this, args.parent);
    Place(combo_, args, FontOf(b.Blob("font")));
    // A simple combo box (type 0) keeps its editable field; its list opens below like a drop-down's.
    combo_->setEditable(type_ != 2);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setMaxVisibleItems(30);
    combo_->view()->setMinimumHeight(kMinimumListHeight);

    // Items in stored order, each with the data value the block holds for it; a sorted box orders them by their
    // bytes, which for GBK puts the common characters in pinyin order.
    const std::vector<Text>& stored = b.List("items");
    const ByteSet& data = b.Blob("itemData");
    std::vector<std::size_t> order(stored.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (sorted_) std::stable_sort(order.begin(), order.end(), [&](auto x, auto y) { return stored[x] < stored[y]; });
    programmatic_ = true;
    for (std::size_t i : order) {
        items_.push_back(stored[i]);
        QVariant value;
        if (data.size() >= (i + 1) * 4) {
            const std::uint8_t* p = data.data() + i * 4;
            value = static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
        }
        combo_->addItem(ToQt(stored[i]), value);
    }
    programmatic_ = false;
    SetColour(textColour_, background_);
    SetSelection(b.Signed("selection"));
    if (type_ != 2) SetContent(b.TextOf("content"));

    // Changes the program makes are done by the time the signal comes; anything else is the user's choice.
    QObject::connect(combo_, &QComboBox::currentIndexChanged, context(), [this](int index) {
        if (programmatic_) return;
        field_.Set(index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : Text());
        Selected();
    });
    if (QLineEdit* edit = combo_->lineEdit()) {
        QObject::connect(edit, &QLineEdit::textEdited, context(), [this]() {
            field_.MarkEdited();
            Raise(1);
        });
    }
    SetWidget(combo_);
}

ComboBox::~ComboBox() {
    if (combo_) combo_->Detach();
}

// The box posts itself the news, so the handler runs after the box has shown the new item and its field text.
void ComboBox::Selected() {
    if (suppressed_) return;
    QMetaObject::invokeMethod(
        context(),
        [this]() {
            if (!suppressed_) Raise(0);
        },
        Qt::QueuedConnection);
}

Text ComboBox::content() const {
    if (type_ == 2) {
        int i = selection();
        return i >= 0 ? items_[static_cast<std::size_t>(i)] : Text();
    }
    return field_.Current(combo_ ? combo_->currentText() : QString());
}

void ComboBox::SetContent(Text text) {
    if (type_ == 2) {
        // A drop-down list has no field of its own: the text selects the item that has it, if any.
        auto it = std::find(items_.begin(), items_.end(), text);
        if (it != items_.end()) SetSelection(static_cast<std::int32_t>(it - items_.begin()));
        return;
    }
    field_.Set(std::move(text));
    programmatic_ = true;
    combo_->setEditText(ToQt(field_.bytes()));
    programmatic_ = false;
}

int ComboBox::selection() const {
    return combo_ ? combo_->currentIndex() : -1;
}

void ComboBox::SetSelection(std::int32_t index) {
    index = std::clamp(index, -1, count() - 1);
    programmatic_ = true;
    combo_->setCurrentIndex(index);
    field_.Set(index >= 0 ? items_[static_cast<std::size_t>(index)] : Text());
    programmatic_ = false;
}

void ComboBox::SetColour(std::uint32_t text, std::uint32_t background) {
    textColour_ = text;
    background_ = background;
    SetColours(combo_, ColourOf(text), ColourOf(background));
}

void ComboBox::Dropped(bool open) {
    Raise(open ? 2 : 3);
}

} // namespace paveno::forms
