// SPDX-License-Identifier: MIT
#include "forms/kinds/Timer.h"

#include <QTimer>

#include <algorithm>

namespace paveno::forms {

namespace {

const PropertyEntry kProperties[] = {
    {Timer::kInterval, "时钟周期", "interval", PropertyType::Integer,
     [](const Control& c) { return Value::Integer(As<Timer>(c).interval()); },
     [](Control& c, const Value& v) { As<Timer>(c).SetInterval(IntOf(v)); }},
};

const KindDescriptor kDescriptor = {0x00010020, "时钟",      "Timer",       kKindAllowsEvents | kKindNotAWindow,
                                    9,          kProperties, &Timer::Create};

} // namespace

const KindDescriptor& Timer::Descriptor() {
    return kDescriptor;
}

std::unique_ptr<Control> Timer::Create(const CreateArgs& args, std::string& error) {
    if (!args.block) {
        error = "the timer needs its property block";
        return nullptr;
    }
    return std::make_unique<Timer>(args);
}

Timer::Timer(const CreateArgs& args) : Control(kDescriptor, args) {
    timer_ = new QTimer(context());
    timer_->setTimerType(Qt::CoarseTimer);
    QObject::connect(timer_, &QTimer::timeout, context(), [this]() { Raise(0); });
    SetInterval(args.block->Signed("interval"));
}

void Timer::SetInterval(std::int32_t ms) {
    ms = std::max(ms, 0);
    if (ms == interval_) return;
    interval_ = ms;
    timer_->stop();
    if (ms > 0) timer_->start(ms);
}

bool Timer::running() const {
    return timer_->isActive();
}

} // namespace paveno::forms
