// The figures `measure` reports against the loudness core run in-process on the
// same samples without workers, for every layout and file format. The module
// hands its windows to workers that drop a window they are not ready for; the
// host has to feed it so that none is lost, or the integrated loudness and the
// range drift from these.

#include <sched.h>

#include <random>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

constexpr uint64_t kStereo = 0x3;
constexpr uint64_t kMono = 1u << 2;       // centre
constexpr uint64_t kFivePointOne = 0x3F;  // L R C LFE Ls Rs

// Steps far enough apart that a lost window shows in the gated mean and the range.
const std::vector<double> kLevels = {-30.0, -20.0, -25.0, -35.0, -18.0, -28.0};

// Keeps the calling thread, and the module workers it starts, on one CPU: the
// workers then only run when the feeding thread lets them.
class OneCpu {
public:
    OneCpu() {
        CPU_ZERO(&saved_);
        if (sched_getaffinity(0, sizeof saved_, &saved_) != 0) return;
        const int cpu = sched_getcpu();
        if (cpu < 0) return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        pinned_ = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneCpu() {
        if (pinned_) sched_setaffinity(0, sizeof saved_, &saved_);
    }
    bool pinned() const { return pinned_; }

private:
    cpu_set_t saved_;
    bool pinned_ = false;
};

struct Agreement {
    const char* name;
    int sampleRate;
    int channels;
    uint64_t arrangement;
};

std::ostream& operator<<(std::ostream& os, const Agreement& a) { return os << a.name; }

// The level-step programme; 5.1 gets a different level per speaker, and an LFE
// so loud that counting it would move every figure.
Programme programmeFor(const Agreement& a) {
    Programme p = steps(a.sampleRate, a.channels, 10.0, kLevels);
    if (a.channels == 6) {
        const std::vector<double> offsets = {0.0, -2.0, -4.0, +12.0, -6.0, -9.0};
        for (Segment& s : p.segments) {
            const double level = s.peakDb[0];
            s.peakDb.clear();
            for (double o : offsets) s.peakDb.push_back(std::min(level + o, -1.0));
        }
    }
    return p;
}

// The maxima are compared only where they are reached before the end: the meter
// takes a worker's latest reading into its maximum at the next block it is given.
void expectAgreement(const std::string& path, uint64_t arrangement, const Outcome& run, const char* what,
                     bool maxima = true) {
    const JsonObject json = jsonOf(run);
    std::optional<CoreFigures> core = analyseInProcess(path, arrangement);
    ASSERT_TRUE(core);
    EXPECT_GT(core->loudnessRange, 5.0) << "the programme must really exercise the gate and the range";
    ASSERT_EQ(json["integrated"].kind, JsonValue::Number) << run.out;
    EXPECT_NEAR(json["integrated"].number, core->integrated, kPrintedTolerance) << what;
    EXPECT_NEAR(json["loudnessRange"].number, core->loudnessRange, kPrintedTolerance) << what;
    if (!maxima) return;
    EXPECT_NEAR(json["momentaryMax"].number, core->momentaryMax, kPrintedTolerance) << what;
    EXPECT_NEAR(json["shortTermMax"].number, core->shortTermMax, kPrintedTolerance) << what;
}

class MeasureAgreement : public ::testing::TestWithParam<Agreement> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        path_ = dir_.file("programme.wav");
        ASSERT_TRUE(writeProgramme(path_, programmeFor(GetParam())));
    }
    ScratchDir dir_;
    std::string path_;
};

TEST_P(MeasureAgreement, FinalFiguresMatchTheCoreInProcess) {
    expectAgreement(path_, GetParam().arrangement, measureJson(path_), "free");
}

TEST_P(MeasureAgreement, NoWindowIsLostWhenWorkersShareTheFeedingCpu) {
    Outcome run;
    {
        OneCpu pin;
        if (!pin.pinned()) GTEST_SKIP() << "cannot restrict this thread to one CPU";
        run = measureJson(path_);
    }
    expectAgreement(path_, GetParam().arrangement, run, "one CPU");
}

INSTANTIATE_TEST_SUITE_P(Layouts, MeasureAgreement,
                         ::testing::Values(Agreement{"Stereo44100", 44100, 2, kStereo},
                                           Agreement{"Stereo48000", 48000, 2, kStereo},
                                           Agreement{"FivePointOne48000", 48000, 6, kFivePointOne},
                                           Agreement{"Mono44100", 44100, 1, kMono}),
                         [](const ::testing::TestParamInfo<Agreement>& info) { return std::string(info.param.name); });

// At 8 kHz mono the host reaches the next window after very little work, so
// windows come much faster than the workers wake: the hardest case for pacing.
// A level ramp makes every window count: losing any run of them moves both figures.
TEST(MeasureWindowPace, TenMinutesAtEightKilohertzLoseNoWindow) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("ramp.wav");
    Programme ramp{8000, 1, 997.0, {}};
    for (int i = 0; i < 600; ++i) ramp.segments.push_back({1.0, {-40.0 + 30.0 * i / 599.0}});
    ASSERT_TRUE(writeProgramme(path, ramp, WavSamples::Pcm16));
    expectAgreement(path, kMono, measureJson(path), "ramp", false);
}

// The host block size only changes how the audio is cut, never which windows
// exist nor which the maxima see: from one sample to more than the whole file,
// offline readings are identical. (Noise steps: a test tone's exact zeros could
// make a block of one sample count as digital silence.)
TEST(MeasureBlockSize, ReadingsAreIdenticalForEveryBlockSize) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("noise-steps.wav");
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> samples;
    for (double level : kLevels)
        for (int i = 0; i < 2 * 48000 * 2; ++i) samples.push_back(static_cast<float>(std::pow(10.0, level / 20.0)) * noise(random));
    ASSERT_TRUE(writeSoundFile(path, WavSamples::Float, 48000, 2, samples));
    const Outcome reference = measureJson(path, 1024);
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_NE(jsonOf(reference)["shortTermMax"].kind, JsonValue::Null);
    for (int block : {1, 7, 64, 4096, 48000, 1048576}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(measureJson(path, block).out, reference.out);
    }
}

// The host offers 5.1 as L R C LFE Ls Rs: the fourth channel is the LFE, which
// does not count, and the fifth and sixth are the surrounds, which count more.
TEST(MeasureSurround, ChannelOrderOfFivePointOne) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    auto onlyChannel = [&](int channel, double peakDb) {
        Programme p{48000, 6, 1000.0, {{5.0, std::vector<double>(6, -300.0)}}};
        p.segments[0].peakDb[static_cast<size_t>(channel)] = peakDb;
        const std::string path = dir.file("channel.wav");
        EXPECT_TRUE(writeProgramme(path, p));
        return jsonOf(measureJson(path));
    };
    const JsonObject lfe = onlyChannel(3, -10.0);
    EXPECT_EQ(lfe["integrated"].kind, JsonValue::Null);
    EXPECT_NEAR(lfe["truePeak"].number, -10.0, 0.2) << "the LFE is still metered for its peak";

    // One channel at -20 dBFS peak reads 3 dB below the same on both of a stereo
    // pair; a surround channel adds 10 log10(1.41) = 1.49 dB to that.
    for (const auto& [channel, lufs] : {std::pair{0, -23.0}, {2, -23.0}, {4, -23.0 + 1.49}, {5, -23.0 + 1.49}})
        EXPECT_NEAR(onlyChannel(channel, -20.0)["integrated"].number, lufs, 0.1) << "channel " << channel;
}

} // namespace
