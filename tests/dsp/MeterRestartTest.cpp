// The meter's full reset (value id 4) starts every measurement over, the
// true-peak interpolators included: the samples still in their delay lines
// from before the reset (a full-scale passage, an infinity) must not ring
// into the first peaks after it. The true-peak reset alone (id 7) keeps the
// running signal in the filter (TruePeakTest).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/MeterValueIds.h"
#include "dsp/TruePeak.h"
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

class MeterRestart : public ::testing::Test {
protected:
    void SetUp() override {
        selectVectorOps();
        for (int32_t i = 0; i < kBlock; ++i)
            quiet[static_cast<size_t>(i)] = static_cast<float>(0.01 * std::sin(2.0 * M_PI * 1000.0 * i / kRate));
        auto fresh = makeMonoMeter();
        freshPeak = peakAfter(*fresh, quiet);
        fresh->terminate();
    }
    std::vector<float> quiet = std::vector<float>(kBlock);
    double freshPeak = 0.0;
};

TEST_F(MeterRestart, TruePeakAfterTheResetIsThatOfAFreshMeter) {
    const float before[] = {1.0f, -1.0f, std::numeric_limits<float>::infinity()};
    for (float level : before) {
        auto meter = makeMonoMeter();
        std::vector<float> bad(kBlock);
        for (int32_t i = 0; i < kBlock; ++i) bad[static_cast<size_t>(i)] = (i / 8) % 2 ? -level : level;
        peakAfter(*meter, bad);
        meter->setValue(kCommandReset, 1.0);
        EXPECT_EQ(peakAfter(*meter, quiet), freshPeak) << "after a square of level " << level;
        meter->terminate();
    }
}

TEST_F(MeterRestart, TruePeakRestartClearsWhatResetKeeps) {
    TruePeak peak(kRate, kBlock, 4.0f);
    peak.initialize();
    std::vector<float> pulse(5, 0.0f);
    pulse[0] = 0.5f;
    float* in[] = {pulse.data()};
    peak.measure(in, 5); // the pulse is still in the delay line
    peak.restart();
    std::vector<float> zeros(20, 0.0f);
    float* silent[] = {zeros.data()};
    peak.measure(silent, 20);
    EXPECT_EQ(peak.getPeak(), TruePeak::kFloor) << "the pulse from before the restart came out after it";
    peak.terminate();
}

} // namespace
} // namespace DSP
