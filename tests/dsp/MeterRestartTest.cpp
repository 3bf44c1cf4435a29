// A reset starts the true peak over without breaking the running signal: the
// oversampled values that still depend on samples from before it (a
// full-scale passage, an infinity) are passed over, and a steady tone reset
// at any point of its cycle reads no false over.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/MeterValueIds.h"
#include "dsp/TruePeak.h"
#include "dsp/UpsamplerSinc.h"
#include "dsp/VazEzaru.h"
#include "dsp/VectorOps.h"

namespace DSP {
namespace {

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 256;

std::unique_ptr<VazEzaru> makeMonoMeter() {
    auto meter = std::make_unique<VazEzaru>(kRate, static_cast<uint32_t>(kBlock), false);
    meter->initialize();
    meter->setChannelsAndArrangement(1, 1, 0, 0x4);
    meter->setValue(kValueLoudnessEnabled, 1.0);
    return meter;
}

double peakAfter(VazEzaru& meter, std::vector<float>& block) {
    std::vector<float> out(block.size());
    float* in[] = {block.data()};
    float* outs[] = {out.data()};
    meter.process(in, outs, static_cast<int32_t>(block.size()));
    return meter.getValue(kValueTruePeak);
}

// The peak of the interpolated signal counting only values that depend on
// nothing before the block: those of a fresh upsampler from its 21st input on.
double peakOfTheBlockAlone(std::vector<float>& block) {
    UpsamplerSinc up(kRate, kBlock, 4.0f);
    up.initialize();
    const float* out = up.upsample(block.data(), static_cast<int32_t>(block.size()));
    double peak = 0.0;
    for (size_t k = 4 * static_cast<size_t>(up.historyLength()); k < 4 * block.size(); ++k)
        peak = std::max(peak, static_cast<double>(std::fabs(out[k])));
    up.terminate();
    return peak;
}

TEST(MeterRestart, TruePeakAfterTheFullResetCountsOnlyTheSignalAfterIt) {
    std::vector<float> quiet(kBlock);
    for (int32_t i = 0; i < kBlock; ++i)
        quiet[static_cast<size_t>(i)] = static_cast<float>(0.01 * std::sin(2.0 * M_PI * 1000.0 * i / kRate));
    const double expected = peakOfTheBlockAlone(quiet);
    const float before[] = {1.0f, -1.0f, std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
    for (float level : before) {
        auto meter = makeMonoMeter();
        std::vector<float> bad(kBlock);
        for (int32_t i = 0; i < kBlock; ++i) bad[static_cast<size_t>(i)] = (i / 8) % 2 ? -level : level;
        peakAfter(*meter, bad);
        meter->setValue(kCommandReset, 1.0);
        EXPECT_EQ(peakAfter(*meter, quiet), expected) << "after a square of level " << level;
        meter->terminate();
    }
}

TEST(MeterRestart, ASteadyToneResetAnywhereInItsCycleReadsNoFalseOver) {
    // 997 Hz at -23 dBFS: clearing the interpolators would make a step of up
    // to the tone's amplitude, whose ringing reads up to about 1 dB high.
    const double amplitude = std::pow(10.0, -23.0 / 20.0);
    std::vector<float> tone(2 * kBlock);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * 997.0 * static_cast<double>(i) / kRate));
    TruePeak never(kRate, 2 * kBlock, 4.0f);
    never.initialize();
    float* whole[] = {tone.data()};
    never.measure(whole, 2 * kBlock);
    for (int32_t at = 30; at < 30 + 48; ++at) {
        TruePeak peak(kRate, 2 * kBlock, 4.0f);
        peak.initialize();
        float* first[] = {tone.data()};
        float* rest[] = {tone.data() + at};
        peak.measure(first, at);
        peak.reset();
        peak.measure(rest, 2 * kBlock - at);
        // What is counted after the reset is a part of what a meter never reset saw.
        EXPECT_LE(peak.getPeak(), never.getPeak()) << "reset after " << at << " samples";
        EXPECT_NEAR(20.0 * std::log10(peak.getPeak()), -23.0, 0.01) << "reset after " << at << " samples";
        peak.terminate();
    }
    never.terminate();
}

TEST(MeterRestart, OnlyAResetWithSignalInTheLinesPassesOverAndThatSpansBlocks) {
    TruePeak meter(kRate, kBlock, 4.0f);
    meter.initialize();
    std::vector<float> one(1, 0.0f);
    float* single[] = {one.data()};
    auto play = [&](float first, int32_t samples) {
        for (int32_t k = 0; k < samples; ++k) {
            one[0] = k == 0 ? first : 0.0f;
            meter.measure(single, 1);
        }
    };
    // A new meter counts its very first sample.
    play(1.0f, 30);
    EXPECT_FLOAT_EQ(meter.getPeak(), 1.0f);
    // 30 samples on, the lines hold only zeros: a reset skips nothing.
    meter.reset();
    play(0.5f, 30);
    EXPECT_FLOAT_EQ(meter.getPeak(), 0.5f);
    // Reset with the pulse still in the lines (5 samples on): the next 20
    // inputs, one per block, are interpolated but not counted; the 21st is.
    play(0.25f, 5);
    meter.reset();
    play(0.9f, 20);
    EXPECT_EQ(meter.getPeak(), TruePeak::kFloor);
    play(0.125f, 30);
    EXPECT_FLOAT_EQ(meter.getPeak(), 0.125f);
    meter.terminate();
}

} // namespace
} // namespace DSP
