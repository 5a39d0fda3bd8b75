#include "platform/Clock.h"

#include <chrono>

namespace platform {

namespace {

struct ClockState {
    bool fixed = false;
    std::time_t time = 0;
};

ClockState& State() {
    static ClockState state;
    return state;
}

}  // namespace

std::time_t Now() {
    return State().fixed ? State().time : std::time(nullptr);
}

ScopedFixedClock::ScopedFixedClock(std::time_t fixed)
    : wasFixed_(State().fixed), previous_(State().time) {
    State() = {true, fixed};
}

ScopedFixedClock::~ScopedFixedClock() {
    State() = {wasFixed_, previous_};
}

}  // namespace platform

double platform::NowWithFraction() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
