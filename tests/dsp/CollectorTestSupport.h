#pragma once
// What the window-collector tests share: mean squares for a loudness, a mono
// collector fed one hop at a time, and a bounded stop for objects with workers.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace DSP {

// The mean square that reads as the given loudness.
inline float meanSquareFor(double lufs) { return static_cast<float>(std::pow(10.0, (lufs + 0.691) / 10.0)); }

// One mono collector fed one hop per call, so every call is one frame.
template <class Collector>
class CollectorRig {
public:
    CollectorRig(bool useWorker, double rate, int32_t hopLength)
        : owned(std::make_unique<Collector>(rate, 1, static_cast<uint32_t>(hopLength), useWorker)),
          collector(*owned),
          input(static_cast<size_t>(hopLength)) {
        collector.initialize();
        collector.reset();
    }
    ~CollectorRig() {
        if (owned) owned->terminate();
    }

    // One hop of constant squared value z; with a worker, waits (bounded) until it has evaluated.
    void hop(float z) {
        std::fill(input.begin(), input.end(), z);
        float* channels[] = {input.data()};
        collector.processInput(channels, static_cast<int32_t>(input.size()));
        if (collector.hasWorker()) {
            ASSERT_TRUE(collector.waitForWorker(5000)) << "worker did not finish";
        }
    }
    void hops(float z, int count) {
        for (int i = 0; i < count; ++i) hop(z);
    }

    std::unique_ptr<Collector> owned; // handed away by the termination tests
    Collector& collector;
    std::vector<float> input;
};

// Stopping an object that owns worker threads, with a bound: a worker that
// never wakes fails the test instead of hanging it (the helper thread and the
// object are then left behind).

template <class Owner>
bool terminatesWithin(std::unique_ptr<Owner> owner, std::chrono::milliseconds bound) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([o = std::move(owner), done]() mutable {
        o->terminate();
        o.reset();
        done->set_value();
    }).detach();
    return finished.wait_for(bound) == std::future_status::ready;
}

} // namespace DSP
