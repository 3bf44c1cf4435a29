#pragma once
// Flushes denormal floats to zero on this thread for the guard's lifetime:
// decaying filter tails would otherwise crawl through microcode assists.

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace DSP {

class DenormalGuard {
public:
#if defined(__SSE__) || defined(__x86_64__)
    DenormalGuard() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
    ~DenormalGuard() { _mm_setcsr(saved_); }

private:
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned saved_;
#else
    DenormalGuard() = default;
#endif
public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

} // namespace DSP
