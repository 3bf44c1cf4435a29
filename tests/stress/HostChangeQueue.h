#pragma once
// The host's hand-over of edits made on another thread: a single-producer,
// single-consumer ring. The user-interface side pushes; the audio thread
// drains it between two process calls into the next block's input changes.
// Neither side ever waits; a full ring refuses the push.

#include <array>
#include <atomic>
#include <cstdint>

#include "interfaces/IParamChanges.h"

namespace NivoloStress {

class HostChangeQueue {
public:
    struct Change {
        Zel::ParamID id;
        double value;
    };

    // [producer]
    bool push(Zel::ParamID id, double value) {
        const uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == kCapacity) return false;
        slots_[tail % kCapacity] = Change{id, value};
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // [consumer] Calls take(change) for every queued change, oldest first.
    template <typename Take>
    int drain(Take take) {
        uint32_t head = head_.load(std::memory_order_relaxed);
        const uint32_t tail = tail_.load(std::memory_order_acquire);
        int count = 0;
        for (; head != tail; ++head, ++count) take(slots_[head % kCapacity]);
        head_.store(head, std::memory_order_release);
        return count;
    }

private:
    static constexpr uint32_t kCapacity = 256;
    std::array<Change, kCapacity> slots_{};
    std::atomic<uint32_t> head_{0};
    std::atomic<uint32_t> tail_{0};
};

} // namespace NivoloStress
