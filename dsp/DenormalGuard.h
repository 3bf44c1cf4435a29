#pragma once
// The floating-point mode of the module's signal processing, for the guard's
// lifetime on this thread: denormals flushed to zero and read as zero (decaying
// filter tails would otherwise crawl through microcode assists), rounding to
// nearest, every exception masked (a host that unmasks them must not see our
// NaN tests trap). The caller's own mode, status flags included, comes back on
// return.

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace DSP {

class DenormalGuard {
public:
#if defined(__SSE__) || defined(__x86_64__)
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    static constexpr unsigned kAllExceptionsMasked = 0x1F80; // and round to nearest
    static constexpr unsigned kStatusFlags = 0x003F;
    static constexpr unsigned kMode = kFlushToZero | kDenormalsAreZero | kAllExceptionsMasked;

    DenormalGuard() : saved_(_mm_getcsr()) { _mm_setcsr(kMode | (saved_ & kStatusFlags)); }
    ~DenormalGuard() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#else
    DenormalGuard() = default;
#endif
public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

} // namespace DSP
