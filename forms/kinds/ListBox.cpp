// SPDX-License-Identifier: MIT
#include "forms/kinds/ListBox.h"

namespace paveno::forms {

namespace {

const KindDescriptor kDescriptor = {0x0001000F, "列表框", "ListBox", kKindAllowsEvents, 22, {}, &ListBox::Create};

} // namespace

TextList::TextList(Control& owner, const CreateArgs& args, const QFont& font) {
    list_ = new QListWidget(args.parent);
    Place(list_, args, font);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(list_, &QListWidget::currentRowChanged, owner.context(), [this, &owner]() {
        if (!programmatic_) owner.Raise(0);
    });
    QObject::connect(list_, &QListWidget::itemDoubleClicked, owner.context(), [&owner]() { owner.Raise(1); });
}

void TextList::Fill(std::vector<Text> items) {
    items_ = std::move(items);
    data_.assign(items_.size(), 0);
    programmatic_ = true;
    list_->clear();
    // One insertion for the whole list: a folder of 50,000 files is not 50,000 model updates.
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(items_.size()));
    for (const Text& t : items_)
        texts.append(ToQt(t));
    list_->addItems(texts);
    list_->setCurrentRow(-1);
    programmatic_ = false;
}

int TextList::Add(Text text, std::int32_t data) {
    if (list_) {
        programmatic_ = true;
        list_->addItem(ToQt(text));
        programmatic_ = false;
    }
    items_.push_back(std::move(text));
    data_.push_back(data);
    return static_cast<int>(items_.size()) - 1;
}

std::int32_t TextList::data(int index) const {
    return index >= 0 && index < static_cast<int>(data_.size()) ? data_[static_cast<std::size_t>(index)] : 0;
}

int TextList::selection() const {
    return list_ ? list_->currentRow() : -1;
}

void TextList::Select(int index) {
    programmatic_ = true;
    list_->setCurrentRow(index >= 0 && index < static_cast<int>(items_.size()) ? index : -1);
    programmatic_ = false;
}

Text TextList::selected() const {
    int i = selection();
    return i >= 0 && i < static_cast<int>(items_.size()) ? items_[static_cast<std::size_t>(i)] : Text();
}

const KindDescriptor& ListBox::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> ListBox::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the list box needs its property block";
        return nullptr;
    }
    return std::make_unique<ListBox>(args);
}

ListBox::ListBox(const CreateArgs& args) : Control(kDescriptor, args), list_(*this, args, DefaultGuiFont()) {
    list_.Fill(args.block->List("items"));
    SetWidget(list_.widget());
}

} // namespace paveno::forms
