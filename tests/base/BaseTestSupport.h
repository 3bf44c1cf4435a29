#pragma once
// Shared by the base suites: bounded waiting, so a call that wrongly blocks fails
// its test instead of hanging the run.

#include <chrono>
#include <thread>

namespace Zel::BaseTest {

using Clock = std::chrono::steady_clock;

// Polls condition until it holds or limit has passed; far beyond anything a loaded machine needs.
template <class Condition>
bool eventually(Condition condition, Clock::duration limit = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace Zel::BaseTest
