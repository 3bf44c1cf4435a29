// What a broken plug-in upstream or a glitching device can send: NaN,
// infinities, denormals, full-scale squares and DC, or one bad sample in one
// channel. The audio passes unchanged, every reading sent to the host stays
// finite and normalized, and after a reset the meter reads a tone correctly.
// (What denormals cost is timed under make check, not here.)

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "StressKit.h"

namespace SessionKit {
namespace {

class HostileInput : public ModuleSuite {};

TEST_F(HostileInput, EveryKindOfBadInputPassesAndIsForgottenAfterAReset) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    constexpr float tiny = std::numeric_limits<float>::denorm_min();
    auto toneWith = [](float bad) {
        return [bad](int64_t i, int32_t c) {
            return i == 20000 && c == 1 ? bad : 0.07f * std::sin(static_cast<float>(i) * 0.13f);
        };
    };
    const std::pair<const char*, Signal::Wave> kinds[] = {
        {"NaN", [](int64_t, int32_t) { return nan; }},
        {"+infinity", [](int64_t, int32_t) { return inf; }},
        {"-infinity", [](int64_t, int32_t) { return -inf; }},
        // Alternating signs, every magnitude below the smallest normal float.
        {"denormals", [](int64_t i, int32_t) { return (i & 1 ? -tiny : tiny) * static_cast<float>(1 + i % 4000000); }},
        {"a full-scale square", [](int64_t i, int32_t) { return (i / 24) % 2 ? -1.0f : 1.0f; }},
        {"full-scale DC", [](int64_t, int32_t) { return 1.0f; }},
        {"one NaN in one channel", toneWith(nan)},
        {"one infinity in one channel", toneWith(-inf)},
    };
    for (int64_t round = cycles(1); round > 0; --round) {
        for (const auto& [what, wave] : kinds) {
            SCOPED_TRACE(what);
            ProcessingSession session;
            ProcessingSession::Options options;
            options.processMode = kRealtime;
            ASSERT_TRUE(open(session, factory(), options));
            std::vector<float> left(1024), right(1024);
            float* out[2] = {left.data(), right.data()};
            // Good audio first, so that the bad input lands in a meter with history.
            Signal history = Signal::noise(2, -20.0), bad(2, wave);
            for (int b = 0; b < 72; ++b) {
                float* const* in = b < 24 ? history.next(1024) : bad.next(1024);
                session.requestData();
                ASSERT_EQ(session.processBlock(in, out, 1024), kResultOk);
                for (int c = 0; c < 2; ++c)
                    ASSERT_EQ(std::memcmp(in[c], out[c], sizeof(float) * 1024), 0) << "block " << b << " changed";
                const std::string problem = readingProblem(session.lastOutputChanges());
                ASSERT_TRUE(problem.empty()) << "block " << b << ": " << problem;
            }
            session.changeParameter(Param::kResetLoudness, 1.0);
            session.processNothing();
            Signal tone = Signal::sine(2, -23.0);
            const MeterReadings r = offlineReadings(session, 2, kRate, tone, 4.0);
            ASSERT_TRUE(r.received);
            for (double reading : {r.integrated, r.momentary, r.shortTerm, r.momentaryMax, r.shortTermMax, r.truePeak})
                EXPECT_NEAR(reading, -23.0, 0.1);
            EXPECT_NEAR(r.loudnessRange, 0.0, 0.1);
        }
    }
}

} // namespace
} // namespace SessionKit
