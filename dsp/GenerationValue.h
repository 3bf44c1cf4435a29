#pragma once
// A figure a collector's worker publishes for the audio thread, stamped with
// the measurement (generation) it belongs to: value and generation travel in
// one atomic word, so a reader never pairs a value with the wrong stamp. A
// worker that was still evaluating a window when a reset started a new
// generation publishes under the old stamp, and readers of the new
// generation see the reset value instead of a value from before the reset.

#include <atomic>
#include <bit>
#include <cstdint>

namespace DSP {

class GenerationValue {
public:
    explicit GenerationValue(float initial) { store(initial, 0); }
    GenerationValue(const GenerationValue&) = delete;
    GenerationValue& operator=(const GenerationValue&) = delete;

    void store(float value, uint32_t generation) {
        word_.store((uint64_t{generation} << 32) | std::bit_cast<uint32_t>(value), std::memory_order_relaxed);
    }
    // The value when it was published for generation, otherwise fallback.
    float load(uint32_t generation, float fallback) const {
        const uint64_t word = word_.load(std::memory_order_relaxed);
        return static_cast<uint32_t>(word >> 32) == generation ? std::bit_cast<float>(static_cast<uint32_t>(word))
                                                                : fallback;
    }

private:
    static_assert(std::atomic<uint64_t>::is_always_lock_free, "the audio thread must never take a hidden lock");
    std::atomic<uint64_t> word_{0};
};

} // namespace DSP
