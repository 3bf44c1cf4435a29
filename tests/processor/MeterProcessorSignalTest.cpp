// What upstream audio can hold besides music: denormal-range values and NaN or
// infinite samples. The meter measures them as silence, passes them through
// untouched, and leaves the host's floating-point mode as it found it.

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ActiveMeter.h"
#include "dsp/MeterValueIds.h"

namespace {

using namespace Zel;
using ProcessorTesting::ActiveMeter;
using ProcessorTesting::kBlock;

constexpr double kRate = 48000.0;

// Two channels of one block; fill(i, c) gives sample i of channel c.
template <typename Fill>
void fillBlock(std::vector<std::vector<float>>& buffers, int64_t start, Fill fill) {
    for (size_t c = 0; c < buffers.size(); ++c)
        for (int32_t i = 0; i < kBlock; ++i) buffers[c][static_cast<size_t>(i)] = fill(start + i, static_cast<int>(c));
}

bool isSubnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

// Channel 0 carries a -60 dBFS click every 32 samples (the block is never
// skipped as silent); channel 1 a 1e-20 tone, whose squares lie in the
// denormal range. Flushed to zero, they leave the RMS of channel 1 at exactly
// 0; computed, they would lift its held maximum into the denormal range. Hosts run
// with their own modes, traps unmasked or rounding toward zero: each gets its
// mode back after every block.
TEST(MeterFloatingPoint, DenormalArithmeticIsFlushedAndTheHostsModeComesBack) {
    const unsigned hostModes[] = {0x1F80u /* the default */, 0x7F80u /* round toward zero */,
                                  0x1F00u /* invalid operations trap */};
    for (unsigned hostMode : hostModes) {
        SCOPED_TRACE(::testing::Message() << "host mode 0x" << std::hex << hostMode);
        ActiveMeter rig(2, kOffline);
        for (int b = 0; b < 200; ++b) {
            fillBlock(rig.buffers, int64_t{b} * kBlock, [](int64_t i, int c) {
                if (c == 0) return i % 32 == 0 ? 1e-3f : 0.0f;
                return static_cast<float>(1e-20 * std::sin(0.05 * static_cast<double>(i)));
            });
            if (b == 100) rig.buffers[0][7] = INFINITY; // inf - inf inside the module must not trap
            const unsigned saved = _mm_getcsr();
            _mm_setcsr(hostMode);
            rig.process(rig.pointers.data(), rig.pointers.data());
            const unsigned after = _mm_getcsr();
            _mm_setcsr(saved);
            ASSERT_EQ(after & ~0x3Fu, hostMode) << "block " << b;
        }
        DSP::VazEzaru& meter = *rig.algorithm();
        EXPECT_EQ(meter.rms()->getHeld(1), 0.0f) << "a mean square of denormal squares was kept";
        for (int c = 0; c < 2; ++c)
            for (int stage = 0; stage < 2; ++stage) {
                const DSP::BiquadState& s = meter.loudness()->filterState(c, stage);
                EXPECT_FALSE(isSubnormal(s.y1) || isSubnormal(s.y2)) << "channel " << c << " stage " << stage;
            }
    }
}

struct Readings {
    double integrated, momentary, shortTerm, range, rms, inputPeak, truePeak;
};

Readings readingsOf(ActiveMeter& rig) {
    auto* a = rig.meter->accessor();
    return {a->getValue(DSP::kValueIntegrated), a->getValue(DSP::kValueMomentary), a->getValue(DSP::kValueShortTerm),
            a->getValue(DSP::kValueLoudnessRange), a->getValue(DSP::kValueRmsOverall),
            a->getValue(DSP::kValueInputPeak), a->getValue(DSP::kValueTruePeak)};
}

// A -20 dBFS tone with a NaN, a +infinity and a -infinity every 100 ms reads
// as the clean tone; the audio, bad samples included, leaves bit for bit; no
// filter state turns non-finite; after a true-peak reset the peak is the
// tone's again (an infinity does not stick).
TEST(MeterFloatingPoint, NonFiniteSamplesAreMeasuredAsSilenceAndPassThrough) {
    const float amplitude = std::pow(10.0f, -20.0f / 20.0f);
    auto tone = [&](int64_t i, int c) {
        return amplitude * static_cast<float>(std::sin(2.0 * M_PI * 997.0 * static_cast<double>(i) / kRate + c));
    };
    ActiveMeter clean(2, kOffline), salted(2, kOffline);
    std::vector<std::vector<float>> out(2, std::vector<float>(kBlock));
    float* outPointers[] = {out[0].data(), out[1].data()};
    const int blocks = static_cast<int>(10.0 * kRate / kBlock);
    for (int b = 0; b < blocks; ++b) {
        const int64_t start = int64_t{b} * kBlock;
        fillBlock(clean.buffers, start, tone);
        clean.process(clean.pointers.data(), clean.pointers.data());
        fillBlock(salted.buffers, start, [&](int64_t i, int c) {
            if (i % 4800 == 0) return c == 0 ? std::nanf("") : INFINITY;
            if (i % 4800 == 2400 && c == 1) return -INFINITY;
            return tone(i, c);
        });
        salted.process(salted.pointers.data(), outPointers);
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(std::memcmp(out[c].data(), salted.buffers[c].data(), sizeof(float) * kBlock), 0) << "block " << b;
        for (int c = 0; c < 2; ++c)
            for (int stage = 0; stage < 2; ++stage) {
                const DSP::BiquadState& s = salted.algorithm()->loudness()->filterState(c, stage);
                ASSERT_TRUE(std::isfinite(s.x1 + s.x2 + s.y1 + s.y2)) << "block " << b;
            }
    }
    const Readings a = readingsOf(clean), b = readingsOf(salted);
    EXPECT_NEAR(a.integrated, -20.0, 0.1);
    EXPECT_NEAR(b.integrated, a.integrated, 0.05);
    EXPECT_NEAR(b.momentary, a.momentary, 0.05);
    EXPECT_NEAR(b.shortTerm, a.shortTerm, 0.05);
    EXPECT_NEAR(b.range, a.range, 0.05);
    EXPECT_NEAR(b.rms, a.rms, 1e-3 * a.rms);
    EXPECT_LE(b.inputPeak, a.inputPeak);
    EXPECT_NEAR(b.inputPeak, a.inputPeak, 1e-3 * a.inputPeak);
    // A sample set to 0 inside a tone rings between samples: above the tone, never near full scale.
    EXPECT_TRUE(std::isfinite(b.truePeak));
    EXPECT_LT(20.0 * std::log10(b.truePeak), -20.0 + 2.0);

    salted.meter->accessor()->setValue(DSP::kCommandResetTruePeak, 1.0);
    for (int k = 0; k < 20; ++k) {
        fillBlock(salted.buffers, int64_t{blocks + k} * kBlock, tone);
        salted.process(salted.pointers.data(), salted.pointers.data());
    }
    EXPECT_NEAR(20.0 * std::log10(readingsOf(salted).truePeak), -20.0, 0.1);
}

} // namespace
