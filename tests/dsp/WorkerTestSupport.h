#pragma once
// Stopping objects that own worker threads, with a bound: a worker that never
// wakes fails the test instead of hanging it (the helper thread and the object
// are then left behind).

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace DSP {

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
