// The meter against the reference programmes of the loudness standards:
// stereo 1 kHz stretches whose momentary, short-term and integrated loudness,
// maxima and loudness range follow from the definitions (blocks gated at -70
// LUFS, then 10 LU below their power mean for the integrated loudness and 20
// LU for the range), within the standards' 0.1 LU and 1 LU; the frequency
// weighting at every rate; the true peak of signals whose peak between
// samples is known. Then the properties every reading keeps: any block split,
// silence anywhere and a reset give the same figures.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/TruePeak.h"

namespace DSP::testing {
namespace {

double powerMeanDb(std::vector<double> levels) {
    double sum = 0.0;
    for (double db : levels) sum += std::pow(10.0, db / 10.0);
    return 10.0 * std::log10(sum / static_cast<double>(levels.size()));
}

struct Programme {
    const char* name;
    std::vector<Tone> tones;
    double integrated, range, last, loudest;
    bool endsBelowGate; // the last stretch lies more than 10 LU under the gated mean
};

const std::vector<Programme>& programmes() {
    static const std::vector<Programme> all = {
        {"Steady23", {{20, -23}}, -23.0, 0.0, -23.0, -23.0, false},
        {"Steady33", {{20, -33}}, -33.0, 0.0, -33.0, -33.0, false},
        // The quiet ends lie under the relative gate; 16 of 78 short-term blocks
        // are quiet, so the 10th percentile is one of them.
        {"QuietEndsGated", {{10, -36}, {60, -23}, {10, -36}}, -23.0, 13.0, -36.0, -23.0, true},
        // -72 lies under the absolute gate of both figures.
        {"SilentEndsGated", {{10, -72}, {10, -36}, {60, -23}, {10, -36}, {10, -72}}, -23.0, 13.0, -72.0, -23.0, true},
        {"Range10", {{20, -20}, {20, -30}}, powerMeanDb({-20, -30}), 10.0, -30.0, -20.0, false},
        {"Range5", {{20, -20}, {20, -15}}, powerMeanDb({-20, -15}), 5.0, -15.0, -15.0, false},
        // -40 is gated out of the integrated loudness but within the range's 20 LU.
        {"Range20", {{20, -40}, {20, -20}}, -20.0, 20.0, -20.0, -20.0, false},
        // -50 is gated out of both.
        {"Range15", {{20, -50}, {20, -35}, {20, -20}, {20, -35}, {20, -50}}, powerMeanDb({-35, -35, -20}), 15.0,
         -50.0, -20.0, true},
    };
    return all;
}

struct Case {
    size_t programme;
    double rate;
    int32_t block;
};

std::vector<Case> cases() {
    std::vector<Case> all;
    for (size_t p = 0; p < programmes().size(); ++p)
        for (double rate : {48000.0, 44100.0}) all.push_back({p, rate, 512});
    // Host blocks that do not divide the 100 ms hop, and one longer than it.
    all.push_back({0, 44100.0, 441});
    all.push_back({2, 48000.0, 1000});
    all.push_back({4, 48000.0, 8192});
    all.push_back({6, 44100.0, 6000});
    return all;
}

class ReferenceProgramme : public ::testing::TestWithParam<Case> {};

// A stereo sine of peak P dBFS has a summed mean square of P dB and reads P LUFS at 1 kHz.
TEST_P(ReferenceProgramme, ReadsWhatTheDefinitionsGiveWithinTheStandardsTolerances) {
    const Case& c = GetParam();
    const Programme& p = programmes()[c.programme];
    MeterRig rig(c.rate, 2);
    rig.play(p.tones, c.block);
    EXPECT_NEAR(rig.value(kValueIntegrated), p.integrated, 0.1);
    EXPECT_NEAR(rig.value(kValueLoudnessRange), p.range, p.range == 0.0 ? 0.1 : 1.0);
    EXPECT_NEAR(rig.value(kValueMomentary), p.last, 0.1);
    EXPECT_NEAR(rig.value(kValueShortTerm), p.last, 0.1);
    EXPECT_NEAR(rig.value(kValueMomentaryMax), p.loudest, 0.1);
    EXPECT_NEAR(rig.value(kValueShortTermMax), p.loudest, 0.1);
    EXPECT_EQ(rig.value(kValueBelowRelativeGate), p.endsBelowGate ? 1.0 : 0.0);
    // The range is the distance of its two percentile blocks.
    EXPECT_NEAR(10.0 * std::log10(rig.value(kValueRangeHigh) / rig.value(kValueRangeLow)),
                rig.value(kValueLoudnessRange), 1e-3);
    EXPECT_NEAR(20.0 * std::log10(rig.value(kValueTruePeak)), p.loudest, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Standards, ReferenceProgramme, ::testing::ValuesIn(cases()), [](const auto& info) {
    const Case& c = info.param;
    return std::string(programmes()[c.programme].name) + "_" + std::to_string(static_cast<int>(c.rate)) + "_" +
           std::to_string(c.block);
});

// The first momentary value after 400 ms, the integrated after 600 ms, the
// short-term after 3 s; before, the floor.
TEST(LoudnessTiming, EachReadingAppearsWithItsFirstFullWindow) {
    MeterRig rig(48000.0, 2);
    const struct {
        int32_t id;
        int64_t firstSample;
    } readings[] = {{kValueMomentary, 19200}, {kValueIntegrated, 28800}, {kValueShortTerm, 144000}};
    int64_t played = 0;
    for (const auto& r : readings) {
        for (; played < r.firstSample - 1; played += 1) rig.process(rig.sine.next(1, amplitudeOf(-23.0)), 1);
        EXPECT_EQ(rig.value(r.id), -80.0) << "id " << r.id;
        rig.process(rig.sine.next(1, amplitudeOf(-23.0)), 1);
        ++played;
        EXPECT_NEAR(rig.value(r.id), -23.0, 0.1) << "id " << r.id;
    }
}

// A full-scale sine on one channel reads -3.01 LUFS plus the weighting's gain:
// +0.69 dB at 997 Hz, -6 dB at the high-pass corner, +4 dB on the shelf; the
// weighting is designed for each rate, so the response in Hz stays. Channels
// add their power; 5.1 leaves the LFE out and counts the surrounds 1.41 times.
// At 997 Hz the weighting's gain cancels the -0.691 offset: a sine of peak a on
// a channel of weight G adds G a^2 / 2.
TEST(LoudnessWeighting, TheResponseInHertzAtEveryRateAndTheChannelsWeightedPower) {
    struct Case {
        double rate, frequency;
        uint64_t arrangement;
        std::vector<double> peaks;
        double meanSquare, tolerance;
    };
    const double s = 1.41 * 0.25 * 0.25 / 2; // a surround at 0.25
    std::vector<Case> cases = {
        {48000, 997, 0x3, {1.0, 0.0}, 0.5, 0.05},
        {48000, 997, 0x3, {1.0, 1.0}, 1.0, 0.05},
        {48000, 997, 0x3F, {0.5, 0.5, 0.5, 1.0, 0.25, 0.25}, 3 * 0.125 + 2 * s, 0.05},                   // L R C LFE Ls Rs
        {48000, 997, 0x3B | (uint64_t{1} << 18), {0.5, 0.5, 1.0, 0.25, 0.25, 1.0}, 2 * 0.125 + 2 * s, 0.05}, // L R LFE Ls Rs LFE2
    };
    const struct {
        double frequency, reading, tolerance;
    } points[] = {{997.0, -3.01, 0.03}, {38.0, -9.71, 0.1}, {10000.0, 0.29, 0.15}};
    for (double rate : {44100.0, 48000.0, 96000.0})
        for (const auto& p : points) cases.push_back({rate, p.frequency, 0x4, {1.0}, std::pow(10.0, p.reading / 10.0), p.tolerance});
    for (const Case& c : cases) {
        MeterRig rig(c.rate, static_cast<int32_t>(c.peaks.size()), 8192, c.arrangement, c.frequency);
        for (int64_t left = rig.samplesFor(3.5); left > 0; left -= 4096) rig.process(rig.sine.next(4096, c.peaks), 4096);
        for (int32_t id : {kValueMomentary, kValueShortTerm, kValueIntegrated})
            EXPECT_NEAR(rig.value(id), 10.0 * std::log10(c.meanSquare), c.tolerance)
                << c.frequency << " Hz at " << c.rate << ", arrangement " << c.arrangement << ", id " << id;
    }
}

// ---- True peak ---------------------------------------------------------------------

// A quarter-rate sine sampled at 45 degrees peaks 3 dB above its samples; a
// lone sample is its own peak; silence reads the floor.
TEST(TruePeakReference, PeaksBetweenSamplesAreFound) {
    TruePeak meter(48000.0, 512, 4.0f);
    ASSERT_EQ(meter.initialize(), 0);
    meter.reset();
    EXPECT_EQ(meter.getPeak(), TruePeak::kFloor);
    std::vector<float> sine(48000);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<float>(0.5 * std::sin(std::numbers::pi / 2.0 * static_cast<double>(i) + 0.25 * std::numbers::pi));
    auto feed = [&](float* samples, size_t n) {
        for (size_t at = 0; at < n; at += 512) {
            float* in[] = {samples + at};
            meter.measure(in, static_cast<int32_t>(std::min<size_t>(512, n - at)));
        }
    };
    for (float sign : {1.0f, -1.0f}) {
        std::vector<float> pulse(200, 0.0f);
        pulse[0] = sign;
        feed(pulse.data(), pulse.size());
        EXPECT_NEAR(meter.getPeak(), 1.0f, 1e-6f);
        meter.reset(); // the pulse has left the lines: nothing is passed over
    }
    feed(sine.data(), 4800); // the abrupt start overshoots once
    meter.reset();           // the running signal stays in the lines: no new onset
    feed(sine.data() + 4800, sine.size() - 4800);
    EXPECT_NEAR(meter.getPeak(), 0.5f, 0.0005f);
    meter.terminate();
}

// ---- Properties ------------------------------------------------------------------------

// Steps of 70 ms up to -4 dBFS and down again (a single loudest window), then quieter stretches.
const std::vector<Tone> kVaried = [] {
    std::vector<Tone> tones = {{1.5, -30}};
    for (int step = -20; step <= 20; ++step) tones.push_back({0.07, -4.0 - 1.5 * std::abs(step)});
    tones.insert(tones.end(), {{0.7, -45}, {1.3, -20}});
    return tones;
}();

void expectSameReadings(const std::vector<double>& expected, const std::vector<double>& actual,
                        double rmsTolerance = 0.0) {
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i >= MeterRig::kFirstRms)
            EXPECT_NEAR(actual[i], expected[i], rmsTolerance * expected[i]) << "RMS reading " << i;
        else
            EXPECT_EQ(actual[i], expected[i]) << "reading " << i;
    }
}

// Windows, filters and the true peak see the same samples whatever the host's
// blocks; the RMS steps four samples at a time and agrees to rounding.
TEST(LoudnessProperties, AnyBlockSplitGivesTheSameReadings) {
    MeterRig reference(48000.0, 2);
    reference.play(kVaried, 512);
    for (int32_t block : {1, 37, 441, 4800, 8192, 48000}) {
        SCOPED_TRACE(block);
        MeterRig rig(48000.0, 2, 48000);
        rig.play(kVaried, block);
        expectSameReadings(reference.readings(), rig.readings(), 1e-3);
    }
}

// Digital silence, silence at the threshold, and sound only between the
// samples the silence test looks at are skipped whole: no window, filter or
// average moves.
TEST(LoudnessProperties, SilenceBetweenTwoHalvesChangesNothing) {
    MeterRig reference(48000.0, 2), gapped(48000.0, 2);
    reference.play(kVaried, 1024);
    const auto half = kVaried.begin() + 22;
    gapped.play({kVaried.begin(), half}, 1024);
    Channels gap(2, std::vector<float>(1000, 0.0f));
    for (float level : {0.0f, 1e-6f, -1.0f}) {
        for (auto& c : gap)
            for (size_t i = 0; i < c.size(); ++i) c[i] = level >= 0.0f ? level : (i % 32 ? 0.9f : 0.0f);
        for (int k = 0; k < 30; ++k) gapped.process(pointers(gap).data(), 1000);
    }
    gapped.play({half, kVaried.end()}, 1024);
    expectSameReadings(reference.readings(), gapped.readings(), 1e-3);
}

// After a reset nothing of the first programme lingers in filters, windows,
// stores or averages. The true peak passes over what still rings from before.
TEST(LoudnessProperties, AfterAResetAProgrammeReadsAsOnAFreshMeter) {
    MeterRig fresh(48000.0, 2), reused(48000.0, 2);
    Sine before(48000.0, 2, 8192);
    reused.play({{3.5, -6}, {1.0, -50}}, 512, &before);
    reused.meter->setValue(kCommandReset, 1.0);
    fresh.play(kVaried, 512);
    reused.play(kVaried, 512);
    std::vector<double> expected = fresh.readings(), actual = reused.readings();
    for (size_t tp : {6, 7}) {
        EXPECT_NEAR(actual[tp], expected[tp], 1e-3 * expected[tp]);
        actual[tp] = expected[tp];
    }
    expectSameReadings(expected, actual);
}

} // namespace
} // namespace DSP::testing
