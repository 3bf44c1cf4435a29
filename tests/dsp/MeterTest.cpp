// The meter the processor drives, through its accessor: the audio passes
// bit for bit, every command clears its own readings and no other, the RMS
// and level readings, the loudness switch, channel set-ups taken or refused
// whole, and a true-peak reset that starts over without a false over.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/SilenceTest.h"
#include "dsp/TruePeak.h"
#include "dsp/VazEzaruAcc.h"

namespace DSP::testing {
namespace {

// Stereo: 1 s quiet, 3 s loud, 1.2 s medium, so that the momentary and
// short-term windows at the end, the maxima and the integrated figure stand
// for different stretches.
const std::vector<Tone> kProgramme = {{1.0, -26}, {3.0, -6}, {1.2, -22}};

// Blocks that probe the copy: awkward lengths, signed zeros, denormals, full
// scale, NaN and infinities, silence, and sound only off the silence test's grid.
TEST(MeterPassThrough, TheOutputIsTheInputBitForBitAndNothingMore) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (bool inPlace : {false, true}) {
        MeterRig rig(48000.0, 3, 1024);
        for (int32_t count : {1, 31, 33, 480, 1024, 700, 701}) {
            Channels in(3, std::vector<float>(static_cast<size_t>(count)));
            for (auto& c : in)
                for (size_t i = 0; i < c.size(); ++i) c[i] = count == 701 || (count == 700 && i % 32 == 0) ? 0.0f : noise(rng);
            in[0][0] = -0.0f;
            if (count > 3) in[1][1] = 1e-40f, in[1][2] = std::numeric_limits<float>::quiet_NaN(), in[2][3] = -INFINITY;
            const Channels original = in;
            Channels out(3, std::vector<float>(static_cast<size_t>(count) + 8, 12345.0f));
            auto i = pointers(in);
            auto o = inPlace ? i : pointers(out);
            rig.meter->process(i.data(), o.data(), count);
            for (size_t c = 0; c < 3; ++c) {
                EXPECT_TRUE(sameBits(original[c].data(), o[c], static_cast<size_t>(count))) << count;
                EXPECT_TRUE(sameBits(original[c].data(), in[c].data(), static_cast<size_t>(count))) << "input changed";
                if (!inPlace) { EXPECT_EQ(out[c].back(), 12345.0f) << "written past the count"; }
            }
        }
    }
}

// Ids 4 to 7 at any value clear their own readings at once and leave every
// other as it was; ids without a meaning read 0 and ignore writes.
TEST(MeterCommands, EachResetCommandClearsOnlyItsOwnReadings) {
    const std::vector<double> nothing = MeterRig(48000.0, 2).readings();
    const struct {
        int32_t command;
        double value;
        std::vector<size_t> cleared; // positions in MeterRig::readings()
    } cases[] = {
        {kCommandReset, 0.0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
        {kCommandReset, -2.5, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
        {kCommandResetMaxima, 1.0, {3, 4}},
        {kCommandClearRmsHeld, 0.0, {11}},
        {kCommandResetTruePeak, 0.0, {6, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.command << " at " << c.value);
        MeterRig rig(48000.0, 2);
        rig.play(kProgramme, 512);
        const std::vector<double> measured = rig.readings();
        for (int32_t id : {0, 15, 26, 40, 42, 44, 46, 53, 100, -1}) {
            EXPECT_EQ(rig.value(id), 0.0) << id;
            rig.meter->setValue(id, 1.0);
        }
        ASSERT_EQ(rig.readings(), measured);
        std::vector<double> expected = measured;
        for (size_t i : c.cleared) {
            EXPECT_NE(expected[i], nothing[i]) << "reading " << i << " must have measured something";
            expected[i] = nothing[i];
        }
        rig.meter->setValue(c.command, c.value);
        EXPECT_EQ(rig.readings(), expected);
        rig.play({{0.1, -22}}, 512); // cleared readings measure again from the next block
        if (c.command == kCommandResetMaxima) { EXPECT_EQ(rig.value(kValueMomentaryMax), rig.value(kValueMomentary)); }
        if (c.command == kCommandResetTruePeak) { EXPECT_NEAR(20 * std::log10(rig.value(kValueTruePeak)), -22.0, 0.1); }
        if (c.command == kCommandClearRmsHeld) { EXPECT_LT(rig.value(kValueRmsOverall), 0.9 * measured[MeterRig::kFirstRms]); }
    }
}

// Off by default, on from one half up; true peak and RMS are measured either
// way, and switching off freezes the loudness figures.
TEST(MeterLoudnessSwitch, FromOneHalfUpAndSwitchingOffFreezesTheLoudness) {
    MeterRig rig(48000.0, 2);
    VazEzaru fresh(48000.0, 512, false);
    EXPECT_EQ(fresh.getValue(kValueLoudnessEnabled), 0.0);
    const std::pair<double, double> settings[] = {{0.0, 0.0}, {0.4999, 0.0}, {0.5, 1.0}, {7.0, 1.0}};
    for (auto [value, flag] : settings) {
        rig.meter->setValue(kValueLoudnessEnabled, value);
        EXPECT_EQ(rig.value(kValueLoudnessEnabled), flag) << value;
    }
    rig.play(kProgramme, 512);
    rig.meter->setValue(kValueLoudnessEnabled, 0.0);
    const std::vector<double> before = rig.readings();
    rig.play({{1.0, -40}}, 512);
    const std::vector<double> after = rig.readings();
    EXPECT_EQ(std::vector<double>(after.begin(), after.begin() + 6), std::vector<double>(before.begin(), before.begin() + 6));
    EXPECT_LT(after[MeterRig::kFirstRms + 1], before[MeterRig::kFirstRms + 1]) << "the RMS goes on";
}

// The roots of an exponential mean square with a 0.9 s time constant, run
// here in double; the held maximum; host-flagged silence drops the running
// average and keeps the held one; the RMS scale lifts every RMS reading by 3 dB.
TEST(MeterRms, ReadingsAreRootsOfTheRunningAndTheHeldMeanSquare) {
    MeterRig rig(48000.0, 2, 480);
    const double a = std::exp(-1000.0 / (900.0 * 48000.0));
    double state[2] = {0.0, 0.0}, held = 0.0;
    Channels block(2, std::vector<float>(480));
    for (int b = 0; b < 150; ++b) {
        for (size_t i = 0; i < 480; ++i)
            for (size_t c = 0; c < 2; ++c) {
                const double x = (b < 100 ? 0.6 - 0.4 * c : 0.1 + 0.2 * c) * std::sin(0.3 + 0.1 * (480 * b + i));
                block[c][i] = static_cast<float>(x);
                state[c] = (1.0 - a) * block[c][i] * block[c][i] + a * state[c];
                held = std::max(held, state[c]);
            }
        rig.process(pointers(block).data(), 480);
    }
    for (int32_t c = 0; c < 2; ++c) EXPECT_NEAR(rig.value(kValueRmsFirst + c), std::sqrt(state[c]), 2e-3 * std::sqrt(state[c]));
    EXPECT_NEAR(rig.value(kValueRmsOverall), std::sqrt(held), 2e-3 * std::sqrt(held));
    EXPECT_EQ(rig.value(kValueRmsFirst + 2), 0.0) << "a channel the meter does not have";
    const std::vector<double> before = rig.readings();
    for (double on : {1.0, 0.5}) {
        rig.meter->setValue(kCommandRmsScale, on);
        for (size_t i = MeterRig::kFirstRms; i < before.size(); ++i)
            EXPECT_NEAR(rig.readings()[i] / before[i], 1.4125, 1e-6);
    }
    rig.meter->setValue(kCommandRmsScale, 0.4999);
    EXPECT_EQ(rig.readings(), before);
    rig.meter->processSilence(480);
    EXPECT_EQ(rig.value(kValueRmsFirst), 0.0);
    EXPECT_EQ(rig.value(kValueRmsFirst + 1), 0.0);
    EXPECT_EQ(rig.value(kValueRmsOverall), before[MeterRig::kFirstRms]);
}

// Unequal counts are refused and change nothing; a new count is measured and
// passed on every channel; at 2 Hz the 400 ms window has no sample and the
// meter passes the audio and reads nothing.
TEST(MeterChannels, SetUpsAreTakenOrRefusedWhole) {
    MeterRig rig(48000.0, 2), undisturbed(48000.0, 2);
    rig.play({kProgramme[0]}, 512);
    undisturbed.play({kProgramme[0]}, 512);
    EXPECT_EQ(rig.meter->setChannelsAndArrangement(3, 2, 0, 0x7), 1);
    EXPECT_EQ(rig.meter->setChannelsAndArrangement(6, 2, 0, 0x3F), 1);
    rig.play({kProgramme[1]}, 512);
    undisturbed.play({kProgramme[1]}, 512);
    EXPECT_EQ(rig.readings(), undisturbed.readings());

    ASSERT_EQ(rig.meter->setChannelsAndArrangement(1, 1, 0, 0x4), 0);
    Sine mono(48000.0, 1, 512);
    for (int b = 0; b < 100; ++b) rig.process(mono.next(480, 0.4), 480);
    EXPECT_NEAR(rig.value(kValueMomentary), 10.0 * std::log10(0.08), 0.1);
    EXPECT_NEAR(rig.value(kValueTruePeakChannel0), 0.4, 0.004);

    MeterRig slow(2.0, 2, 64);
    slow.play({{30.0, -6}}, 7);
    EXPECT_EQ(slow.value(kValueMomentary), -80.0);
    EXPECT_EQ(slow.value(kValueIntegrated), -80.0);
}

// ---- True-peak reset ------------------------------------------------------------

// After a full reset only the audio after it counts, even after a full-scale
// square or an infinity; a steady tone reset anywhere in its cycle reads no
// false over (clearing the lines would make a step from silence); a reset with
// signal in the lines passes over, and that spans blocks.
TEST(MeterTruePeakReset, CountsOnlyTheSignalAfterItWithoutAFalseOver) {
    std::vector<float> quiet(256);
    for (size_t i = 0; i < quiet.size(); ++i) quiet[i] = static_cast<float>(0.01 * std::sin(2.0 * M_PI * i / 48.0));
    UpsamplerSinc alone(48000.0, 256, 4.0f);
    alone.initialize();
    const float* up = alone.upsample(quiet.data(), 256);
    float expected = 0.0f; // the values a fresh upsampler gives from its 21st input on
    for (size_t k = 4 * static_cast<size_t>(alone.historyLength()); k < 4 * quiet.size(); ++k)
        expected = std::max(expected, std::fabs(up[k]));
    for (float level : {1.0f, INFINITY, std::numeric_limits<float>::quiet_NaN()}) {
        MeterRig rig(48000.0, 1, 256, 0x4);
        std::vector<float> square(256);
        for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 8) % 2 ? -level : level;
        float* in[] = {square.data()};
        rig.process(in, 256);
        rig.meter->setValue(kCommandReset, 1.0);
        in[0] = quiet.data();
        rig.process(in, 256);
        EXPECT_EQ(rig.value(kValueTruePeak), expected) << "after a square of " << level;
    }
    std::vector<float> tone(512);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<float>(amplitudeOf(-23.0) * std::sin(0.1305 * i));
    for (int32_t at = 30; at < 78; ++at) {
        TruePeak peak(48000.0, 512, 4.0f);
        peak.initialize();
        float* first[] = {tone.data()};
        float* rest[] = {tone.data() + at};
        peak.measure(first, at);
        peak.reset();
        peak.measure(rest, 512 - at);
        EXPECT_NEAR(20.0 * std::log10(peak.getPeak()), -23.0, 0.01) << "reset after " << at;
    }
    TruePeak meter(48000.0, 256, 4.0f);
    meter.initialize();
    auto play = [&](float first, int samples) {
        for (int k = 0; k < samples; ++k) {
            float x = k == 0 ? first : 0.0f;
            float* in[] = {&x};
            meter.measure(in, 1);
        }
    };
    play(0.25f, 5); // reset with the pulse in the lines: 20 inputs, one per block, are passed over
    meter.reset();
    play(0.9f, 20);
    EXPECT_EQ(meter.getPeak(), TruePeak::kFloor);
    play(0.125f, 30);
    EXPECT_FLOAT_EQ(meter.getPeak(), 0.125f);
}

// The meter leaves uninterpolated the runs whose inputs cannot beat the peak
// it holds; its peak is still the largest interpolated value of every block:
// a quarter-rate tone whose samples stay 3 dB under its crest, and a click
// whose crest lands in the next run or block, each just above the held peak.
TEST(MeterTruePeak, RunsLeftUninterpolatedNeverHideAPeak) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    TruePeak meter(48000.0, 512, 4.0f);
    meter.initialize();
    UpsamplerSinc every(48000.0, 512, 4.0f);
    every.initialize();
    float expected = TruePeak::kFloor;
    std::vector<float> x(512);
    for (int b = 0; b < 600; ++b) {
        const auto n = static_cast<int32_t>(1 + unit(rng) * 511);
        const float level = std::max(expected, 0.01f) * (0.9f + 0.3f * unit(rng));
        const int kind = b % 3;
        for (int32_t i = 0; i < n; ++i)
            x[i] = kind == 0 ? level * static_cast<float>(std::sin(M_PI / 2 * (b + i) + M_PI / 4))
                 : kind == 1 ? level * 0.3f * (unit(rng) - 0.5f) : 0.0f;
        if (kind == 2) x[static_cast<size_t>(unit(rng) * n)] = level;
        const float* up = every.upsample(x.data(), n);
        for (int32_t k = 0; k < 4 * n; ++k) expected = std::max(expected, std::fabs(up[k]));
        float* in[] = {x.data()};
        meter.measure(in, n);
        ASSERT_EQ(meter.getPeak(), expected) << "block " << b << " of " << n;
    }
}

// ---- The accessor ---------------------------------------------------------------

// Each channel's level reading is its peak since the previous reading; the
// overall input peak holds until cleared, and sees blocks the measurement
// skips as silent. Clearing the output peak clears the held RMS only.
TEST(MeterAccessor, LevelPeaksAreReadAndClearedAndTheHeldRmsOnRequest) {
    DenormalGuard guard;
    VazEzaruAcc acc(48000.0, 256);
    ASSERT_EQ(acc.setArrangements(0xFFF, 0xFFF, 0), 0);
    // A quiet fill (0: none) and a peak of each channel's own; channel 2's lies off the silence test's grid.
    auto block = [&](auto peakOf, float fill) {
        Channels in(12, std::vector<float>(256)), out = in;
        for (size_t c = 0; c < 12; ++c) {
            for (size_t i = 0; i < 256; ++i) in[c][i] = fill * static_cast<float>(i % 7 + 1);
            in[c][(c * 13 + 5) % 256] = peakOf(static_cast<int32_t>(c));
        }
        acc.process(pointers(in).data(), pointers(out).data(), 256);
    };
    auto first = [](int32_t c) { return (c % 2 ? -0.05f : 0.05f) * static_cast<float>(c + 1); };
    auto second = [](int32_t c) { return 0.5f - 0.03f * static_cast<float>(c); };
    block(first, 0.001f);
    for (int32_t c = 0; c < 12; ++c) {
        EXPECT_EQ(acc.getValue(kValueInputPeakFirst + c), std::fabs(first(c))) << c;
        EXPECT_EQ(acc.getValue(kValueInputPeakFirst + c), 0.0) << "read again, channel " << c;
    }
    block(second, 0.001f);
    block([](int32_t) { return 0.02f; }, 0.001f);
    EXPECT_EQ(acc.getValue(kValueInputPeakFirst + 3), second(3)); // unread channels keep collecting
    EXPECT_EQ(acc.getValue(kValueInputPeak), 0.6f);
    const double rms = acc.getValue(kValueRmsFirst);
    ASSERT_GT(acc.getValue(kValueRmsOverall), 0.0);
    acc.clearOutputPeak();
    EXPECT_EQ(acc.getValue(kValueRmsOverall), 0.0);
    EXPECT_EQ(acc.getValue(kValueRmsFirst), rms);
    acc.clearInputPeak();
    EXPECT_EQ(acc.getValue(kValueInputPeak), 0.0);
    const double rmsBefore = acc.getValue(kValueRmsFirst + 2);
    block([](int32_t c) { return c == 2 ? -0.7f : 0.0f; }, 0.0f);
    EXPECT_EQ(acc.getValue(kValueInputPeakFirst + 2), 0.7f);
    EXPECT_EQ(acc.getValue(kValueInputPeak), 0.7f);
    EXPECT_EQ(acc.getValue(kValueRmsFirst + 2), rmsBefore) << "the measurement skips it";
}

// The mean magnitude of every 32nd sample of every channel against one
// millionth; nothing inspected counts as silent.
TEST(MeterSilenceTest, IsTheMeanOfEvery32ndMagnitudeAgainstOneMillionth) {
    const struct {
        int32_t count;
        float fill;
        bool offGrid; // every 32nd sample 0 after the fill
        std::vector<std::pair<size_t, float>> set; // samples of channel 0
        bool silent;
    } cases[] = {
        {256, 0.0f, false, {}, true},          {256, 1.0f, true, {}, true},
        {64, 0.0f, false, {{32, 1.0f}}, false}, {33, 0.0f, false, {{32, 1.0f}}, false},
        {32, 0.0f, false, {{32, 1.0f}, {31, 1.0f}}, true}, {0, 0.5f, false, {}, true},
        {256, 1e-6f, false, {}, true},         {256, -1.1e-6f, false, {}, false},
        // One of the 16 inspected samples of 2 x 256: the threshold is crossed at 16e-6.
        {256, 0.0f, false, {{0, 0.9f * 16e-6f}}, true}, {256, 0.0f, false, {{0, 1.1f * 16e-6f}}, false},
        {64, 0.0f, false, {{0, NAN}, {32, INFINITY}}, true},
    };
    for (const auto& c : cases) {
        Channels in(2, std::vector<float>(256, c.fill));
        for (auto& ch : in)
            for (size_t i = 0; c.offGrid && i < ch.size(); i += 32) ch[i] = 0.0f;
        for (auto [i, v] : c.set) in[0][i] = v;
        EXPECT_EQ(looksSilent(pointers(in).data(), 2, c.count, 1e-6f), c.silent) << c.count << ", fill " << c.fill;
    }
    Channels loud(2, std::vector<float>(64, 0.5f));
    EXPECT_TRUE(looksSilent(pointers(loud).data(), 0, 64, 1e-6f)) << "no channels";
}

} // namespace
} // namespace DSP::testing
