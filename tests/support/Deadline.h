#pragma once
// Every wait in the tests has a deadline: a fault that makes the awaited thing never happen
// fails the test at once with what it waited for, instead of hanging it until ctest gives up.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

// Polls `done` every 10 ms until it holds (true) or `limit` has passed (false, and the test
// fails with "gave up after N s waiting for WHAT").
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit,
                      const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "gave up after " << limit.count() << " s waiting for " << what;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace testsupport
