// SPDX-License-Identifier: MIT
#include "tests/forms/TestKinds.h"

#include "forms/Engine.h"
#include "forms/format/ByteCursor.h"

#include <QFrame>
#include <QPushButton>

namespace paveno::test {

namespace {

using forms::Control;
using forms::CreateArgs;
using forms::KindDescriptor;
using forms::PropertyEntry;
using forms::PropertyType;

class TestButton : public Control {
public:
    TestButton(const KindDescriptor& kind, const CreateArgs& args, Text caption)
        : Control(kind, args), caption_(std::move(caption)) {
        button_ = new QPushButton(forms::ToQt(caption_), args.parent);
        button_->setGeometry(args.record.left, args.record.top, args.record.width, args.record.height);
        QObject::connect(button_, &QPushButton::clicked, context(), [this]() { Raise(0); });
        SetWidget(button_);
    }
    Text caption_;
    QPushButton* button_;
};

std::unique_ptr<Control> CreateButton(const CreateArgs& args, std::string& error);

const PropertyEntry kButtonProperties[] = {
    {8, "标题", "caption", PropertyType::Text,
     [](const Control& c) { return Value::FromText(static_cast<const TestButton&>(c).caption_); },
     [](Control& c, const Value& v) {
         auto& b = static_cast<TestButton&>(c);
         b.caption_ = v.text();
         b.button_->setText(forms::ToQt(b.caption_));
     }},
    {9, "子窗口号", "childId", PropertyType::Integer, [](const Control& c) { return Value::Integer(c.childId()); }},
};

const KindDescriptor kButton = {kTestButtonKind,   "测试按钮",   "TestButton", forms::kKindAllowsEvents, 10,
                                kButtonProperties, &CreateButton};

std::unique_ptr<Control> CreateButton(const CreateArgs& args, std::string& error) {
    Text caption;
    if (!args.record.properties.empty()) {
        format::ByteCursor c(args.record.properties);
        std::uint32_t version = 0;
        c.U32(version, "version");
        if (c.ok() && version > 1) {
            error = "block version above 1";
            return nullptr;
        }
        c.CountedText(caption, "caption");
        if (!c.ok()) {
            error = c.error();
            return nullptr;
        }
    }
    return std::make_unique<TestButton>(kButton, args, caption);
}

class TestBox : public Control {
public:
    TestBox(const KindDescriptor& kind, const CreateArgs& args) : Control(kind, args) {
        auto* frame = new QFrame(args.parent);
        frame->setGeometry(args.record.left, args.record.top, args.record.width, args.record.height);
        SetWidget(frame);
    }
};

const KindDescriptor kBox = {kTestBoxKind,
                             "测试容器",
                             "TestBox",
                             forms::kKindContainer,
                             8,
                             {},
                             [](const CreateArgs& args, std::string&) -> std::unique_ptr<Control> {
                                 return std::make_unique<TestBox>(kBox, args);
                             }};

const KindDescriptor* const kKinds[] = {&kButton, &kBox};

} // namespace

std::span<const forms::KindDescriptor* const> TestKinds() {
    return kKinds;
}

QAbstractButton* ButtonOf(std::uint32_t windowId, std::uint32_t controlId) {
    Control* c = forms::FindLiveControl(windowId, controlId);
    return c ? qobject_cast<QAbstractButton*>(c->widget()) : nullptr;
}

} // namespace paveno::test
