// Loudness::analyze on stereo 48 kHz audio in host-sized blocks, for each
// vector table the processor has. Counters: samples per second (per channel
// frame) and the realtime factor.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/Loudness.h"
#include "dsp/VectorOps.h"

namespace {

constexpr double kSampleRate = 48000.0;

void analyze(benchmark::State& state, DSP::VectorOpsKind kind) {
    if (!DSP::selectVectorOps(kind)) {
        state.SkipWithError("vector table not available on this processor");
        return;
    }
    DSP::DenormalGuard denormals;
    const int32_t block = static_cast<int32_t>(state.range(0));
    DSP::Loudness loudness(kSampleRate, static_cast<uint32_t>(block), false);
    loudness.initialize();
    loudness.setChannelsAndArrangement(2, 2, 0, 3);
    loudness.reset();

    // Ten seconds of programme-like material, fed round and round.
    const size_t length = static_cast<size_t>(10 * kSampleRate) / static_cast<size_t>(block) * static_cast<size_t>(block);
    std::vector<float> left(length), right(length);
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        left[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 440 * t) + 0.05 * std::sin(2 * M_PI * 5231 * t));
        right[i] = static_cast<float>(0.25 * std::sin(2 * M_PI * 660 * t + 0.3));
    }
    size_t position = 0;
    for (auto _ : state) {
        float* in[2] = {left.data() + position, right.data() + position};
        loudness.analyze(in, block);
        benchmark::DoNotOptimize(loudness.getMomentary());
        position += static_cast<size_t>(block);
        if (position >= length) position = 0;
    }
    const double frames = static_cast<double>(state.iterations()) * block;
    state.counters["samples/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["realtime_x"] = benchmark::Counter(frames / kSampleRate, benchmark::Counter::kIsRate);
    loudness.terminate();
    DSP::selectVectorOps();
}

void scalar(benchmark::State& state) { analyze(state, DSP::VectorOpsKind::kScalar); }
void sse2(benchmark::State& state) { analyze(state, DSP::VectorOpsKind::kSse2); }
void avx2(benchmark::State& state) { analyze(state, DSP::VectorOpsKind::kAvx2); }
void avx512(benchmark::State& state) { analyze(state, DSP::VectorOpsKind::kAvx512); }

} // namespace

BENCHMARK(scalar)->Name("LoudnessAnalyze/scalar")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(sse2)->Name("LoudnessAnalyze/sse2")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(avx2)->Name("LoudnessAnalyze/avx2")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(avx512)->Name("LoudnessAnalyze/avx512")->Arg(64)->Arg(512)->Arg(4096);

BENCHMARK_MAIN();
