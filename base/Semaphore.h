#pragma once
// A counting semaphore private to its owner: the collectors' wake-up signal.

#include <cstdint>

#include "base/platform/Platform.h"

namespace Zel {

class Semaphore {
public:
    static constexpr int32_t kMaximumCount = 0x7FFFFFFF;

    Semaphore() = default;
    ~Semaphore() { close(); }
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // [owner thread] The name is not used: every semaphore is private.
    bool create(int32_t initialCount, const char* name = nullptr);
    // [any thread] timeoutMs < 0 waits without limit; true when a count was taken.
    bool wait(int32_t timeoutMs = -1);
    // [any thread, audio thread too] Never blocks.
    bool release(int32_t count = 1);
    // [owner thread]
    void close();

    bool isCreated() const { return handle_ != nullptr; }

private:
    Platform::Semaphore* handle_ = nullptr;
};

} // namespace Zel
