// SPDX-License-Identifier: MIT
#pragma once

#include "forms/kinds/KindSupport.h"

class QTimer;

namespace paveno::forms {

// A timer, never shown: property 8 is the interval in milliseconds (0 stopped), event 0 each time it elapses.
class Timer : public Control {
public:
    // Property numbers of this kind.
    static constexpr int kInterval = 8;

    static const KindDescriptor& Descriptor();
    static std::unique_ptr<Control> Create(const CreateArgs& args, std::string& error);
    explicit Timer(const CreateArgs& args);

    std::int32_t interval() const { return interval_; }
    // A negative interval is stored as 0; the interval it already has restarts nothing; 0 stops.
    void SetInterval(std::int32_t ms);
    bool running() const;

private:
    QTimer* timer_; // child of the control's context, gone with the control
    std::int32_t interval_ = 0;
};

} // namespace paveno::forms
