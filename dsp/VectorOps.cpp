#include "dsp/VectorOps.h"

#include <atomic>

namespace DSP {

namespace {

VectorOpsKind bestAvailable() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")) return VectorOpsKind::kAvx512;
    if (__builtin_cpu_supports("avx2")) return VectorOpsKind::kAvx2;
    return VectorOpsKind::kSse2;
#else
    return VectorOpsKind::kScalar;
#endif
}

// Chosen at load as well, so code that runs before any processor exists
// (tests, tools) finds a table in place.
std::atomic<const VectorOps*> gActive{&vectorOpsOf(bestAvailable())};

} // namespace

const VectorOps& vectorOpsOf(VectorOpsKind kind) {
    switch (kind) {
    case VectorOpsKind::kAvx512: return kAvx512VectorOps;
    case VectorOpsKind::kAvx2: return kAvx2VectorOps;
    case VectorOpsKind::kSse2: return kSse2VectorOps;
    case VectorOpsKind::kScalar: break;
    }
    return kScalarVectorOps;
}

bool vectorOpsAvailable(VectorOpsKind kind) {
    switch (kind) {
    case VectorOpsKind::kScalar: return true;
#if defined(__x86_64__) || defined(__i386__)
    case VectorOpsKind::kSse2: return __builtin_cpu_supports("sse2");
    case VectorOpsKind::kAvx2: return __builtin_cpu_supports("avx2");
    case VectorOpsKind::kAvx512: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    default: return false;
#endif
    }
    return false;
}

const VectorOps& vectorOps() { return *gActive.load(std::memory_order_relaxed); }

void selectVectorOps() { gActive.store(&vectorOpsOf(bestAvailable()), std::memory_order_relaxed); }

bool selectVectorOps(VectorOpsKind kind) {
    if (!vectorOpsAvailable(kind)) return false;
    gActive.store(&vectorOpsOf(kind), std::memory_order_relaxed);
    return true;
}

} // namespace DSP
