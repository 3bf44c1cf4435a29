#pragma once
// Bounds every step of a stress run. A step that does not finish in time
// cannot be failed from its own thread (it is stuck), so the watchdog names
// the step, the test and the seed on stderr and ends the process with a
// failure status.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "StressScale.h"

namespace NivoloStress {

class HangWatchdog {
public:
    HangWatchdog() : thread_([this] { watch(); }) {}
    ~HangWatchdog() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    HangWatchdog(const HangWatchdog&) = delete;
    HangWatchdog& operator=(const HangWatchdog&) = delete;

    // The next step, which must be over within seconds (longer under a sanitizer).
    void arm(std::string step, double seconds) {
        std::lock_guard<std::mutex> guard(mutex_);
        step_ = std::move(step);
        limitSeconds_ = seconds * kSlowdown;
        deadline_ = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<int64_t>(limitSeconds_ * 1000.0));
        armed_ = true;
        changed_.notify_all();
    }
    void disarm() {
        std::lock_guard<std::mutex> guard(mutex_);
        armed_ = false;
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (!armed_) {
                changed_.wait(lock);
                continue;
            }
            if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ && !stop_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
                std::fprintf(stderr, "\nHANG: %s did not finish within %.1f s (in %s.%s); the process is stopped.\n",
                             step_.c_str(), limitSeconds_, test ? test->test_suite_name() : "?",
                             test ? test->name() : "?");
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string step_;
    double limitSeconds_ = 0.0;
    std::chrono::steady_clock::time_point deadline_{};
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_; // last: starts once the rest is built
};

// Arms the watchdog for one scope.
class WatchedStep {
public:
    WatchedStep(HangWatchdog& dog, std::string step, double seconds) : dog_(dog) { dog_.arm(std::move(step), seconds); }
    ~WatchedStep() { dog_.disarm(); }
    WatchedStep(const WatchedStep&) = delete;
    WatchedStep& operator=(const WatchedStep&) = delete;

private:
    HangWatchdog& dog_;
};

} // namespace NivoloStress
