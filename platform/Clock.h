#pragma once
// The wall clock, behind a seam: the catalog's load dates (LDDATE) come from it, and tests
// set it so that the rows they expect are known to the second.

#include <ctime>

namespace platform {

// Seconds since 1970-01-01 00:00:00 UTC, as time() gives them, unless a test set the clock.
std::time_t Now();
// The same with the fraction of the second, from the system clock (the test clock does not
// set it): when something happened, for the record of recordings and the watch's state.
double NowWithFraction();

// Test helper: the clock stands at `fixed` for the lifetime of this object.
class ScopedFixedClock {
  public:
    explicit ScopedFixedClock(std::time_t fixed);
    ~ScopedFixedClock();
    ScopedFixedClock(const ScopedFixedClock&) = delete;
    ScopedFixedClock& operator=(const ScopedFixedClock&) = delete;

  private:
    bool wasFixed_;
    std::time_t previous_;
};

}  // namespace platform
