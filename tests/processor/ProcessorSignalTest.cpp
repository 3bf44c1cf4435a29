// What upstream audio can hold besides music, and what the host may get
// wrong: denormal-range values, NaN and infinities, flagged silence, a block
// longer than announced. The meter measures bad samples as silence, passes
// everything through untouched, and gives the host its floating-point mode back.

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cstring>

#include "ProcessorRig.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaru.h"

namespace ProcessorTesting {
namespace {

DSP::VazEzaru& meterOf(Rig& rig) { return *static_cast<DSP::VazEzaru*>(rig.meter->accessor()->algorithm()); }

template <typename Fill>
void fill(Rig& rig, int64_t start, Fill f) {
    for (size_t c = 0; c < rig.buffers.size(); ++c)
        for (int32_t i = 0; i < kBlock; ++i) rig.buffers[c][static_cast<size_t>(i)] = f(start + i, static_cast<int>(c));
}

// Channel 0 carries a -60 dBFS click every 32 samples (the block is never
// skipped as silent), channel 1 a 1e-20 tone whose squares lie in the
// denormal range: flushed, they leave its held RMS at 0. Hosts run with their
// own modes (rounding toward zero, invalid operations trapping): each gets its
// mode back after every block, and an infinity inside the module traps nothing.
TEST(ProcessorFloatingPoint, DenormalsAreFlushedAndTheHostsModeComesBack) {
    for (unsigned hostMode : {0x1F80u, 0x7F80u, 0x1F00u}) {
        SCOPED_TRACE(::testing::Message() << "host mode 0x" << std::hex << hostMode);
        Rig rig;
        for (int b = 0; b < 200; ++b) {
            fill(rig, int64_t{b} * kBlock, [](int64_t i, int c) {
                return c == 0 ? (i % 32 == 0 ? 1e-3f : 0.0f) : static_cast<float>(1e-20 * std::sin(0.05 * i));
            });
            if (b == 100) rig.buffers[0][7] = INFINITY;
            const unsigned saved = _mm_getcsr();
            _mm_setcsr(hostMode);
            rig.process(rig.pointers.data(), rig.pointers.data());
            const unsigned after = _mm_getcsr();
            _mm_setcsr(saved);
            ASSERT_EQ(after & ~0x3Fu, hostMode) << "block " << b;
        }
        EXPECT_EQ(meterOf(rig).rms()->getHeld(1), 0.0f) << "a mean square of denormal squares was kept";
    }
}

// A -20 dBFS tone with a NaN, a +infinity and a -infinity every 100 ms reads as
// the clean tone (a filter they reached would read NaN from then on); the
// audio, bad samples included, leaves bit for bit.
TEST(ProcessorFloatingPoint, NonFiniteSamplesAreMeasuredAsSilenceAndPassThrough) {
    auto tone = [](int64_t i, int c) { return 0.1f * static_cast<float>(std::sin(0.1305 * static_cast<double>(i) + c)); };
    Rig clean, salted;
    std::vector<std::vector<float>> out(2, std::vector<float>(kBlock));
    float* o[] = {out[0].data(), out[1].data()};
    for (int b = 0; b < 940; ++b) {
        fill(clean, int64_t{b} * kBlock, tone);
        clean.process(clean.pointers.data(), clean.pointers.data());
        fill(salted, int64_t{b} * kBlock, [&](int64_t i, int c) {
            if (i % 4800 == 0) return c == 0 ? std::nanf("") : INFINITY;
            return i % 4800 == 2400 && c == 1 ? -INFINITY : tone(i, c);
        });
        salted.process(salted.pointers.data(), o);
        for (int c = 0; c < 2; ++c) ASSERT_EQ(std::memcmp(out[c].data(), salted.buffers[c].data(), 4 * kBlock), 0);
    }
    DSP::AlgoAccessor& a = *clean.meter->accessor();
    DSP::AlgoAccessor& b = *salted.meter->accessor();
    EXPECT_NEAR(a.getValue(DSP::kValueIntegrated), -20.0, 0.1);
    for (int32_t id : {DSP::kValueIntegrated, DSP::kValueMomentary, DSP::kValueShortTerm, DSP::kValueLoudnessRange})
        EXPECT_NEAR(b.getValue(id), a.getValue(id), 0.05) << "id " << id;
    for (int32_t id : {DSP::kValueRmsOverall, DSP::kValueRmsFirst, DSP::kValueInputPeak})
        EXPECT_NEAR(b.getValue(id), a.getValue(id), 1e-3 * a.getValue(id)) << "id " << id;
    // A zero in place of a sample inside a tone rings between samples: above the tone, never near full scale.
    EXPECT_LT(20.0 * std::log10(b.getValue(DSP::kValueTruePeak)), -20.0 + 2.0);
}

// Silence flagged by the host after silent output: the whole output block is
// zeroed and flagged silent, whatever the buffers held.
TEST(ProcessorSignal, FlaggedSilenceIsPassedOnWhole) {
    Rig rig;
    rig.process(0.0f);
    std::vector<std::vector<float>> out(2, std::vector<float>(kBlock, 0.7f));
    float* o[] = {out[0].data(), out[1].data()};
    rig.process(0.0f); // the buffers the host flags
    rig.process(rig.pointers.data(), o, kBlock, 0x3);
    EXPECT_EQ(rig.outputFlags, 0x3u);
    for (auto& channel : out) EXPECT_EQ(channel, std::vector<float>(kBlock, 0.0f));
}

// The buffers are sized for the announced maximum: a longer block is refused untouched.
TEST(ProcessorSignal, ABlockLongerThanAnnouncedIsRefusedUntouched) {
    Rig rig;
    std::vector<float> in(2 * kBlock, 0.5f), out(2 * kBlock, 7.0f);
    float* i[] = {in.data(), in.data()};
    float* o[] = {out.data(), out.data()};
    EXPECT_EQ(rig.process(i, o, 2 * kBlock), kInvalidArgument);
    EXPECT_EQ(out, std::vector<float>(2 * kBlock, 7.0f));
    EXPECT_EQ(rig.meter->accessor()->getValue(DSP::kValueInputPeak), 0.0);
}

} // namespace
} // namespace ProcessorTesting

