// The whole meter behind its accessor (pass-through, silence gate, true peak,
// RMS and loudness) on stereo and 5.1 at 48 kHz, in host-sized blocks, with
// the fastest vector table the processor has. On one core, timed on the wall
// clock: the window workers share the core with the audio thread, so their
// work and the cost of waking them count too.

#include <benchmark/benchmark.h>

#include <sched.h>

#include <cmath>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaruAcc.h"
#include "dsp/VectorOps.h"

namespace {

constexpr double kSampleRate = 48000.0;

// Keeps this thread, and the threads it starts, on the core it runs on.
class OneCore {
public:
    OneCore() {
        sched_getaffinity(0, sizeof previous_, &previous_);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    ~OneCore() { sched_setaffinity(0, sizeof previous_, &previous_); }

private:
    cpu_set_t previous_;
};

void meter(benchmark::State& state, int32_t channels, uint64_t arrangement) {
    OneCore core; // before the accessor starts its workers
    DSP::selectVectorOps();
    DSP::DenormalGuard denormals;
    const int32_t block = static_cast<int32_t>(state.range(0));
    DSP::VazEzaruAcc accessor(kSampleRate, static_cast<uint32_t>(block));
    accessor.setSampleRate(kSampleRate);
    accessor.setMaxSamplesPerCall(static_cast<uint32_t>(block));
    accessor.setArrangements(arrangement, arrangement, 0);
    accessor.setValue(DSP::kValueLoudnessEnabled, 1.0);

    const size_t length = static_cast<size_t>(10 * kSampleRate) / static_cast<size_t>(block) * static_cast<size_t>(block);
    std::vector<std::vector<float>> input(static_cast<size_t>(channels), std::vector<float>(length));
    std::vector<std::vector<float>> output(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(block)));
    for (int32_t c = 0; c < channels; ++c)
        for (size_t i = 0; i < length; ++i)
            input[static_cast<size_t>(c)][i] =
                static_cast<float>(0.3 * std::sin(2 * M_PI * (220.0 * (c + 1)) * static_cast<double>(i) / kSampleRate));
    std::vector<float*> in(static_cast<size_t>(channels)), out(static_cast<size_t>(channels));
    for (int32_t c = 0; c < channels; ++c) out[static_cast<size_t>(c)] = output[static_cast<size_t>(c)].data();

    size_t position = 0;
    for (auto _ : state) {
        for (int32_t c = 0; c < channels; ++c) in[static_cast<size_t>(c)] = input[static_cast<size_t>(c)].data() + position;
        accessor.process(in.data(), out.data(), block);
        benchmark::DoNotOptimize(accessor.getValue(DSP::kValueTruePeak));
        position += static_cast<size_t>(block);
        if (position >= length) position = 0;
    }
    const double frames = static_cast<double>(state.iterations()) * block;
    state.counters["samples/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["realtime_x"] = benchmark::Counter(frames / kSampleRate, benchmark::Counter::kIsRate);
}

void stereo(benchmark::State& state) { meter(state, 2, 0x3); }
void surround(benchmark::State& state) { meter(state, 6, 0x3F); }

} // namespace

BENCHMARK(stereo)->Name("Meter/stereo")->Arg(64)->Arg(512)->Arg(4096)->UseRealTime();
BENCHMARK(surround)->Name("Meter/5.1")->Arg(64)->Arg(512)->Arg(4096)->UseRealTime();
