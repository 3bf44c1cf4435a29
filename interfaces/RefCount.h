#pragma once
// The one reference-count helper every reference-counted class uses, on the
// module side and on the host side alike.

#include <atomic>
#include <cstdint>

namespace Zel {

class RefCount {
public:
    // [any thread] Returns the new count.
    uint32_t addRef() { return static_cast<uint32_t>(count_.fetch_add(1, std::memory_order_relaxed) + 1); }

    // [any thread] Returns the new count; 0 means the last reference went and the
    // caller must destroy the object. The count is then parked far below zero so
    // that an AddRef/Release pair made during destruction cannot reach zero again.
    uint32_t release() {
        int32_t before = count_.fetch_sub(1, std::memory_order_acq_rel);
        if (before == 1) {
            count_.store(kDestructing, std::memory_order_relaxed);
            return 0;
        }
        return static_cast<uint32_t>(before - 1);
    }

    int32_t value() const { return count_.load(std::memory_order_relaxed); }

private:
    static constexpr int32_t kDestructing = -1000;
    std::atomic<int32_t> count_{1};
};

// Implements the FUnknown reference counting of a class that holds a RefCount
// member named refCount_ (the count starts at 1 for the creator).
#define ZEL_REFCOUNT_METHODS                                                                   \
    uint32_t AddRef() override { return refCount_.addRef(); }                                  \
    uint32_t Release() override {                                                              \
        uint32_t remaining = refCount_.release();                                              \
        if (remaining == 0) delete this;                                                       \
        return remaining;                                                                      \
    }

} // namespace Zel
