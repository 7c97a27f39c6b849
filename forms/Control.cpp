// SPDX-License-Identifier: MIT
#include "forms/Control.h"

#include "forms/Engine.h"
#include "services/Gbk.h"

#include <QColor>
#include <QEvent>

namespace paveno::forms {

namespace {

// Watches the widget's focus and turns it into events -7 and -8.
class FocusWatcher : public QObject {
public:
    FocusWatcher(std::uint32_t window, std::uint32_t control) : window_(window), control_(control) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            NoteFocus(window_, control_, true);
        else if (event->type() == QEvent::FocusOut)
            NoteFocus(window_, control_, false);
        return false;
    }

private:
    std::uint32_t window_, control_;
};

} // namespace

const PropertyEntry* KindDescriptor::Property(int number) const {
    for (const auto& p : properties) {
        if (p.number == number) return &p;
    }
    return nullptr;
}

QString ToQt(std::string_view gbk) {
    return QString::fromStdString(GbkToUtf8Lossy(gbk));
}

Text FromQt(const QString& s) {
    return Utf8ToGbkLossy(s.toStdString());
}

QColor ColourOf(std::uint32_t c) {
    if (c & 0xFF000000) return QColor();
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

Control::Control(const KindDescriptor& kind, const CreateArgs& args)
    : kind_(kind), record_(args.record), windowId_(args.windowId), childId_(args.childId),
      context_(std::make_unique<FocusWatcher>(args.windowId, args.record.id)),
      stored_(args.record.left, args.record.top, args.record.width, args.record.height), tag_(args.record.tag),
      visible_(args.record.visible()), disabled_(args.record.disabled()),
      pointer_(static_cast<std::int32_t>(args.record.pointerType())) {}

Control::~Control() {
    if (widget_) widget_->removeEventFilter(context_.get());
}

void Control::SetWidget(QWidget* widget) {
    widget_ = widget;
    if (!widget) return;
    widget->hide();
    widget->setEnabled(!disabled_);
    if (!record_.tabStop()) widget->setFocusPolicy(static_cast<Qt::FocusPolicy>(widget->focusPolicy() & ~Qt::TabFocus));
    widget->installEventFilter(context_.get());
}

QRect Control::Geometry() const {
    return widget_ ? widget_->geometry() : stored_;
}

void Control::SetGeometry(const QRect& r) {
    stored_ = r;
    if (widget_) widget_->setGeometry(r);
}

void Control::ApplyVisible() {
    if (!widget_) return;
    bool show = visible_ && !forcedHidden_ && !(kind_.flags & kKindNotAWindow);
    if (show) {
        widget_->setAttribute(Qt::WA_ShowWithoutActivating);
        widget_->show();
    } else {
        widget_->hide();
    }
}

Value Control::ReadCommon(int number) const {
    QRect g = Geometry();
    switch (number) {
    case kLeft:
        return Value::Integer(g.x());
    case kTop:
        return Value::Integer(g.y());
    case kWidth:
        return Value::Integer(g.width());
    case kHeight:
        return Value::Integer(g.height());
    case kTag:
        return Value::FromText(tag_);
    case kVisible:
        return Value::Logical(visible_);
    case kDisabled:
        return Value::Logical(disabled_);
    case kMousePointer:
        return Value::Integer(pointer_);
    default:
        return {};
    }
}

void Control::WriteCommon(int number, const Value& value) {
    QRect g = Geometry();
    auto n = static_cast<int>(value.integer());
    switch (number) {
    case kLeft:
        g.moveLeft(n);
        SetGeometry(g);
        break;
    case kTop:
        g.moveTop(n);
        SetGeometry(g);
        break;
    case kWidth:
        g.setWidth(n);
        SetGeometry(g);
        break;
    case kHeight:
        g.setHeight(n);
        SetGeometry(g);
        break;
    case kTag:
        tag_ = value.text();
        break;
    case kVisible:
        visible_ = value.logical();
        ApplyVisible();
        break;
    case kDisabled:
        disabled_ = value.logical();
        if (widget_) widget_->setEnabled(!disabled_);
        break;
    case kMousePointer:
        pointer_ = n;
        break;
    default:
        break;
    }
}

bool Control::Raise(int event) {
    return RaiseEvent(windowId_, record_.id, event);
}

} // namespace paveno::forms
