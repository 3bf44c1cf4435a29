// The 4x true-peak meter alone on stereo 48 kHz audio in 512-sample blocks,
// for each vector table the processor has. Counters as in the loudness bench.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/TruePeak.h"
#include "dsp/VectorOps.h"

namespace {

constexpr double kSampleRate = 48000.0;
constexpr int32_t kBlock = 512;

void measure(benchmark::State& state, DSP::VectorOpsKind kind) {
    if (!DSP::selectVectorOps(kind)) {
        state.SkipWithError("vector table not available on this processor");
        return;
    }
    DSP::DenormalGuard denormals;
    DSP::TruePeak peak(kSampleRate, kBlock, 4.0f);
    peak.setChannels(2, 2, 0);
    peak.initialize();
    std::vector<float> left(kBlock), right(kBlock);
    for (int32_t i = 0; i < kBlock; ++i) {
        left[static_cast<size_t>(i)] = static_cast<float>(0.5 * std::sin(2 * M_PI * 997.0 * i / kSampleRate));
        right[static_cast<size_t>(i)] = static_cast<float>(0.4 * std::sin(2 * M_PI * 3001.0 * i / kSampleRate));
    }
    float* in[2] = {left.data(), right.data()};
    for (auto _ : state) {
        peak.measure(in, kBlock);
        benchmark::DoNotOptimize(peak.getPeak());
    }
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["samples/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["realtime_x"] = benchmark::Counter(frames / kSampleRate, benchmark::Counter::kIsRate);
    peak.terminate();
    DSP::selectVectorOps();
}

} // namespace

BENCHMARK_CAPTURE(measure, scalar, DSP::VectorOpsKind::kScalar)->Name("TruePeak/scalar/512");
BENCHMARK_CAPTURE(measure, sse2, DSP::VectorOpsKind::kSse2)->Name("TruePeak/sse2/512");
BENCHMARK_CAPTURE(measure, avx2, DSP::VectorOpsKind::kAvx2)->Name("TruePeak/avx2/512");
BENCHMARK_CAPTURE(measure, avx512, DSP::VectorOpsKind::kAvx512)->Name("TruePeak/avx512/512");
