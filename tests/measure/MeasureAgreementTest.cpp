// The figures `measure` reports against the loudness core run in-process on the
// same samples without workers. The module hands its windows to workers that
// drop a window they are not ready for; the host has to feed it so that none is
// lost, or the integrated loudness and the range drift from these.

#include <sched.h>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

constexpr uint64_t kStereo = 0x3, kMono = 1u << 2 /* centre */, kFivePointOne = 0x3F; // L R C LFE Ls Rs

// Steps far enough apart that a lost window shows in the gated mean and the range.
const std::vector<double> kLevels = {-30.0, -20.0, -25.0, -35.0, -18.0, -28.0};

// Keeps the calling thread, and the module workers it starts, on one CPU: the
// workers then only run when the feeding thread lets them.
class OneCpu {
public:
    OneCpu() {
        CPU_ZERO(&saved_);
        const int cpu = sched_getcpu();
        if (sched_getaffinity(0, sizeof saved_, &saved_) != 0 || cpu < 0) return;
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

// The maxima are compared only where they are reached before the end: the meter
// takes a worker's latest reading into its maximum at the next block it is given.
void expectAgreement(const std::string& path, uint64_t arrangement, const Outcome& run, bool maxima = true) {
    const JsonObject json = jsonOf(run);
    std::optional<CoreFigures> core = analyseInProcess(path, arrangement);
    ASSERT_TRUE(core);
    EXPECT_GT(core->loudnessRange, 5.0) << "the programme must really exercise the gate and the range";
    ASSERT_EQ(json["integrated"].kind, JsonValue::Number) << run.out;
    EXPECT_NEAR(json["integrated"].number, core->integrated, kPrintedTolerance);
    EXPECT_NEAR(json["loudnessRange"].number, core->loudnessRange, kPrintedTolerance);
    if (!maxima) return;
    EXPECT_NEAR(json["momentaryMax"].number, core->momentaryMax, kPrintedTolerance);
    EXPECT_NEAR(json["shortTermMax"].number, core->shortTermMax, kPrintedTolerance);
}

// Every layout, with the workers free and sharing the feeding CPU. 5.1 gets a
// level of its own per speaker, and an LFE so loud that counting it would move every figure.
TEST(MeasureAgreement, FinalFiguresMatchTheCoreInProcess) {
    struct Layout {
        const char* name;
        int sampleRate, channels;
        uint64_t arrangement;
    };
    for (const Layout& l : {Layout{"stereo 44.1", 44100, 2, kStereo}, Layout{"stereo 48", 48000, 2, kStereo},
                            Layout{"5.1", 48000, 6, kFivePointOne}, Layout{"mono", 44100, 1, kMono}}) {
        SCOPED_TRACE(l.name);
        std::vector<std::string> speakers;
        for (double offset : {0.0, -2.0, -4.0, +12.0, -6.0, -9.0}) {
            std::vector<double> dB;
            for (double level : kLevels) dB.push_back(std::min(level + offset, -1.0));
            speakers.push_back(sine(dB, 10.0));
        }
        speakers.resize(static_cast<size_t>(l.channels));
        const std::string path = file("programme.wav");
        ASSERT_TRUE(makeAudio(path, l.sampleRate, 60.0, l.channels == 6 ? speakers : std::vector{speakers[0]}, l.channels == 6 ? 0 : l.channels));
        expectAgreement(path, l.arrangement, measureJson(path));
        Outcome pinned;
        {
            OneCpu pin;
            if (!pin.pinned()) continue;
            pinned = measureJson(path);
        }
        expectAgreement(path, l.arrangement, pinned);
    }
}

// At 8 kHz mono the host reaches the next window after very little work, so
// windows come much faster than the workers wake: the hardest case for pacing.
// A level ramp makes every window count: losing any run of them moves both figures.
TEST(MeasureAgreement, TenMinutesAtEightKilohertzLoseNoWindow) {
    const std::string path = file("ramp.wav");
    ASSERT_TRUE(makeAudio(path, 8000, 600.0, {"pow(10,(-40+30*floor(t)/599)/20)*sin(2*PI*997*t)"}, 1, "-c:a pcm_s16le"));
    expectAgreement(path, kMono, measureJson(path), false);
}

// The host block size only changes how the audio is cut, never which windows
// exist nor which the maxima see: from one sample to more than the whole file,
// offline readings are identical. (Three tones out of phase, others on each
// channel: a single tone's exact zeros could make a block of one sample count as
// digital silence.)
TEST(MeasureAgreement, ReadingsAreIdenticalForEveryBlockSize) {
    const std::string path = file("tone-steps.wav");
    ASSERT_TRUE(makeAudio(path, 48000, 12.0, {levels(kLevels, 2.0) + "*(sin(2*PI*317*t+1)+sin(2*PI*1031*t+2)+sin(2*PI*4001*t+3))/3",
                                               levels(kLevels, 2.0) + "*(sin(2*PI*419*t+4)+sin(2*PI*1327*t+5)+sin(2*PI*3733*t+6))/3"}));
    const Outcome reference = measureJson(path, 1024);
    EXPECT_EQ(jsonOf(reference)["shortTermMax"].kind, JsonValue::Number);
    for (int block : {1, 7, 64, 4096, 48000, 1048576}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(measureJson(path, block).out, reference.out);
    }
}

// 5.1 as L R C LFE Ls Rs: the fourth channel is the LFE, which does not count,
// and the fifth and sixth are the surrounds, which count more.
TEST(MeasureAgreement, ChannelOrderOfFivePointOne) {
    auto onlyChannel = [&](size_t channel, double peakDb) {
        std::vector<std::string> speakers(6, "0");
        speakers[channel] = sine({peakDb}, 1e9, 1000.0);
        EXPECT_TRUE(makeAudio(file("channel.wav"), 48000, 5.0, speakers));
        return jsonOf(measureJson(file("channel.wav")));
    };
    const JsonObject lfe = onlyChannel(3, -10.0);
    EXPECT_EQ(lfe["integrated"].kind, JsonValue::Null);
    EXPECT_NEAR(lfe["truePeak"].number, -10.0, 0.2) << "the LFE is still metered for its peak";
    // One channel at -20 dBFS peak reads 3 dB below the same on both of a stereo
    // pair; a surround channel adds 10 log10(1.41) = 1.49 dB to that.
    for (const auto& [channel, lufs] : {std::pair{0u, -23.0}, {2u, -23.0}, {4u, -23.0 + 1.49}, {5u, -23.0 + 1.49}})
        EXPECT_NEAR(onlyChannel(channel, -20.0)["integrated"].number, lufs, 0.1) << "channel " << channel;
}

} // namespace
