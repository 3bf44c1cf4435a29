// Set-up changes between blocks, as a host makes them when the user changes
// the audio device, the buffer size or the track's layout, each in the host's
// order: processing and activation off, the arrangement, the set-up, on again.

#include <gtest/gtest.h>

#include <cstring>

#include "StressKit.h"

namespace SessionKit {
namespace {

struct HostSetUp {
    double rate;
    int32_t maxBlock, channels, mode;
};

bool setUpAgain(ProcessingSession& session, const HostSetUp& s) {
    session.processor()->setProcessingState(0);
    session.component()->setActive(0);
    SpeakerArrangement in = ProcessingSession::arrangementFor(s.channels), out = in;
    ProcessSetupInfo setup{s.mode, kSample32, s.maxBlock, s.rate};
    if (session.processor()->offerArrangements(&in, 1, &out, 1) != kResultOk ||
        session.processor()->prepareProcessing(setup) != kResultOk)
        return false;
    session.component()->setActive(1);
    session.processor()->setProcessingState(1);
    return true;
}

// The meter copies its input; a bypass change cross-fades two copies of it,
// which may differ from it by rounding only.
bool samePassage(float expected, float actual) {
    if (std::isnan(expected)) return std::isnan(actual);
    return std::fabs(actual - expected) <= 1e-6f * std::max(1.0f, std::fabs(expected));
}

class SetupChanges : public ModuleSuite {};

// Any rate, block size up to 8192 (powers of two and primes no internal hop
// divides), 1 to 14 channels, either mode, now and then the same set-up
// again; every block of random length with the user's edits and requests:
// the audio passes and every reading stays normalized.
TEST_F(SetupChanges, RandomSetUpsBetweenBlocksKeepTheAudioAndTheReadingsSound) {
    static const double rates[] = {8000.0,  11025.0, 16000.0,  22050.0,  32000.0,  44100.0, 48000.0,
                                   88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0};
    static const int32_t sizes[] = {1, 2, 3, 7, 13, 31, 64, 127, 257, 509, 1021, 1024, 2039, 4093, 4096, 8191, 8192};
    static const ParamID edited[] = {Param::kScaleModeLoudness, Param::kBypass, Param::kResetLoudness,
                                     Param::kResetLoudnessMMax, Param::kResetTruePeak};
    Random random;
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    auto changes = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    auto outputs = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    const int64_t count = cycles(50);
    int64_t blocks = 0, answered = 0;
    HostSetUp s{};
    for (int64_t change = 1; change <= count; ++change) {
        if (change == 1 || random.chance(0.9)) {
            s.rate = random.pick(rates);
            s.maxBlock = random.chance(0.7) ? random.pick(sizes) : static_cast<int32_t>(random.between(1, 8192));
            s.channels = static_cast<int32_t>(random.between(1, 14));
            s.mode = random.chance(0.5) ? kRealtime : kOffline;
        }
        SCOPED_TRACE(::testing::Message() << "set-up " << change << ": " << s.channels << " channels at " << s.rate
                                          << " Hz, blocks up to " << s.maxBlock);
        ASSERT_TRUE(setUpAgain(session, s));
        const auto level = static_cast<double>(random.between(-60, 0));
        Signal signal = random.chance(0.5)
                            ? Signal::noise(s.channels, level)
                            : Signal::sine(s.channels, level, s.rate, static_cast<double>(random.between(20, 20000)));
        std::vector<std::vector<float>> expected(static_cast<size_t>(s.channels)),
            separate(static_cast<size_t>(s.channels), std::vector<float>(static_cast<size_t>(s.maxBlock)));
        std::vector<float*> separateOut;
        for (auto& channel : separate) separateOut.push_back(channel.data());
        // Samples summed over channels and blocks per set-up are bounded:
        // 14 channels at 384 kHz and one-sample blocks stay cheap.
        for (int64_t budget = 120000 / s.channels + s.maxBlock, b = 0; budget > 0 && b < 150; ++b) {
            for (ParamID id : edited)
                if (random.chance(id == Param::kScaleModeLoudness ? 0.1 : 0.05))
                    changes->addChange(id, 0, id == Param::kScaleModeLoudness || id == Param::kBypass
                                                  ? static_cast<double>(random.between(0, 1))
                                                  : 1.0);
            if (random.chance(0.5)) session.requestData();
            const auto n = static_cast<int32_t>(random.between(1, s.maxBlock));
            float* const* in = signal.next(n);
            for (int32_t c = 0; c < s.channels; ++c) expected[static_cast<size_t>(c)].assign(in[c], in[c] + n);
            float* const* out = random.chance(0.5) ? in : separateOut.data();
            ASSERT_EQ(processRaw(session.processor(), s.channels, in, out, n, s.mode, changes.get(), outputs.get()),
                      kResultOk) << "block " << blocks << " of " << n;
            ++blocks;
            budget -= n;
            for (int32_t c = 0; c < s.channels; ++c)
                for (int32_t i = 0; i < n; ++i)
                    ASSERT_TRUE(samePassage(expected[static_cast<size_t>(c)][static_cast<size_t>(i)], out[c][i]))
                        << "channel " << c << ", sample " << i << " of a block of " << n;
            const std::string problem = readingProblem(*outputs);
            ASSERT_TRUE(problem.empty()) << problem;
            answered += outputs->getParameterCount() > 0;
        }
    }
    EXPECT_GT(answered, 0) << "no block answered a request";
    std::printf("stress: %lld cycles of set-up changes, %lld blocks (%lld with readings)\n",
                static_cast<long long>(count), static_cast<long long>(blocks), static_cast<long long>(answered));
}

// The same arrangement offered again (after a device change, say) right after
// a block handed a short-term window to its worker: the channel weights are
// copied into the collectors while that worker may be summing with them. The
// meter must measure as if set up once: eleven front channels at 1, the LFE
// at 0, the two surrounds at 1.41.
TEST_F(SetupChanges, TheSameArrangementOfferedWhileAWorkerSumsLeavesTheWeightsRight) {
    Random random;
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    const HostSetUp s{kRate, 4800, 14, kRealtime};
    Signal tone = Signal::sine(14, -23.0, kRate, 1000.0);
    const int64_t rounds = cycles(10);
    for (int64_t round = 0; round < rounds; ++round) {
        ASSERT_TRUE(setUpAgain(session, s));
        for (int b = 0; b < 30; ++b) {
            float* const* x = tone.next(4800);
            processRaw(session.processor(), 14, x, x, 4800, kRealtime);
        }
        for (int64_t spin = random.between(0, 20000); spin > 0; --spin) random(); // a random moment later
    }
    // The K-weighting passes 1 kHz with the gain its -0.691 dB term takes back.
    const double expected = 10.0 * std::log10((11.0 + 2.0 * 1.41) * std::pow(amplitudeOf(-23.0), 2) / 2.0);
    const MeterReadings r = offlineReadings(session, 14, kRate, tone, 4.0);
    EXPECT_NEAR(r.shortTerm, expected, 0.1);
    EXPECT_NEAR(r.momentary, expected, 0.1);
    EXPECT_NEAR(r.integrated, expected, 0.1);
    std::printf("stress: %lld cycles of the same arrangement offered again\n", static_cast<long long>(rounds));
}

} // namespace
} // namespace SessionKit
