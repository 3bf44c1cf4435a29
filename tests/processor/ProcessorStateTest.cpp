// The processor's saved state: a round trip is the identity and survives a
// new set-up, hostile or cut states change nothing or are clamped, and
// while processing runs a restored state, like a level reset, reaches the
// meter through the audio thread but is the processor's state at once.

#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "ProcessorRig.h"
#include "dsp/AlgoAccessorVu.h"
#include "dsp/MeterValueIds.h"

namespace ProcessorTesting {
namespace {

using namespace Param;

// The state of a processor whose host switched it to LU, reset its true peak and bypassed it.
Bytes editedState() {
    Rig rig;
    rig.change(kScaleModeLoudness, 1.0);
    rig.change(kResetTruePeak, 1.0);
    rig.change(kBypass, 1.0);
    rig.process(0.0f);
    return rig.save();
}

// Twelve records of 140 bytes under a length word counting 144 per record
// (the in-memory record), in table order. A new block size and rate rebuild
// the meter; the values stay.
TEST(ProcessorState, ARoundTripIntoAFreshProcessorIsTheIdentity) {
    const Bytes saved = editedState();
    ASSERT_EQ(saved.size(), 4u + 12 * 140);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 4), (Bytes{0xC0, 0x06, 0, 0}));
    const auto values = valuesOf(saved);
    for (ParamID id : {kScaleModeLoudness, kResetTruePeak, kBypass}) EXPECT_EQ(values.at(id), 1.0) << id;
    Rig fresh;
    ASSERT_EQ(fresh.restore(saved), kResultOk);
    EXPECT_EQ(fresh.save(), saved);
    fresh.process(0.0f); // the audio thread applies it
    EXPECT_TRUE(fresh.meter->isBypassed());
    EXPECT_EQ(fresh.meter->loudnessOffset(), VazEzaruZel::kLuOffset);
    fresh.meter->setActive(0);
    ProcessSetupInfo setup{kOffline, kSample32, 1024, 44100.0};
    ASSERT_EQ(fresh.meter->prepareProcessing(setup), kResultOk);
    fresh.meter->setActive(1);
    EXPECT_EQ(fresh.save(), saved);
    EXPECT_EQ(fresh.meter->loudnessOffset(), VazEzaruZel::kLuOffset);
}

// Values beyond a range are clamped to it, a value that is no number takes
// the bottom of its range (regression), unknown ids are skipped; a length
// word that counted 140-byte records still names all of them; more records
// than the table has, or a negative length, restore nothing.
TEST(ProcessorState, HostileStatesAreClampedOrIgnored) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Bytes saved = editedState();
    const auto edited = valuesOf(saved);
    auto with = [&](std::map<uint32_t, double> changes) {
        auto v = edited;
        for (auto [id, value] : changes) v[id] = value;
        return v;
    };
    std::vector<std::pair<uint32_t, double>> hot = {{kLoudnessRange, 500.0}, {kTruePeak, -300.0}, {kBypass, 7.5},
                                                    {kScaleModeLoudness, -1.0}, {99, 1.0}};
    std::vector<std::pair<uint32_t, double>> empty = {{kBypass, nan}, {kScaleModeLoudness, nan}, {kLoudnessI, nan}};
    std::vector<std::pair<uint32_t, double>> tableOrder; // as the edited state, unbypassed
    for (int32_t i = 0; i < kMeterParameterCount; ++i) {
        const uint32_t id = meterParameters()[i].id;
        tableOrder.emplace_back(id, id == kBypass ? 0.0 : edited.at(id));
    }
    const struct {
        const char* what;
        Bytes state;
        std::map<uint32_t, double> expected; // empty: as before the restore
    } cases[] = {
        {"clamped", stateOf(hot), with({{kLoudnessRange, 100.0}, {kTruePeak, -80.0}, {kBypass, 1.0}, {kScaleModeLoudness, 0.0}})},
        {"no number", stateOf(empty), with({{kBypass, 0.0}, {kScaleModeLoudness, 0.0}, {kLoudnessI, -80.0}})},
        {"140-byte length word", stateOf(tableOrder, 12 * 140), with({{kBypass, 0.0}})},
        {"thirteen records", stateOf(std::vector<std::pair<uint32_t, double>>(13, {kBypass, 0.0})), {}},
        {"length -1", stateOf({{kBypass, 0.0}}, -1), {}},
        {"length -288", stateOf({{kBypass, 0.0}}, -288), {}},
        {"length INT_MIN", stateOf({{kBypass, 0.0}}, INT_MIN), {}},
    };
    for (const auto& c : cases) {
        Rig rig;
        ASSERT_EQ(rig.restore(saved), kResultOk);
        rig.process(0.0f);
        EXPECT_EQ(rig.restore(c.state), kResultOk) << c.what;
        rig.process(0.0f);
        EXPECT_EQ(valuesOf(rig.save()), c.expected.empty() ? edited : c.expected) << c.what;
        EXPECT_EQ(rig.meter->isBypassed(), (c.expected.empty() ? edited : c.expected).at(kBypass) >= 0.5) << c.what;
        EXPECT_EQ(rig.meter->loudnessOffset() != 0.0f, (c.expected.empty() ? edited : c.expected).at(kScaleModeLoudness) >= 0.5);
    }
}

// Everything is read before anything changes: a state cut anywhere changes no value.
TEST(ProcessorState, ACutShortStateChangesNothingAtAnyLength) {
    const Bytes saved = editedState();
    Rig rig;
    const Bytes before = rig.save();
    for (size_t length = 0; length < saved.size(); ++length) {
        rig.restore(Bytes(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(length)));
        ASSERT_EQ(rig.save(), before) << "cut after " << length << " bytes";
    }
}

// Regression: a state saved right after a restore, before the audio thread
// applied it, held the old values.
TEST(ProcessorStateWhileProcessing, ARestoredStateIsSavedBeforeTheAudioThreadAppliesIt) {
    Rig rig;
    rig.process(0.1f);
    ASSERT_EQ(valuesOf(rig.save()).at(kScaleModeLoudness), 0.0);
    ASSERT_EQ(rig.restore(editedState()), kResultOk);
    EXPECT_EQ(valuesOf(rig.save()).at(kScaleModeLoudness), 1.0);
    EXPECT_EQ(rig.meter->loudnessOffset(), 0.0f) << "applied under a running block";
    rig.process(0.1f);
    EXPECT_EQ(valuesOf(rig.save()).at(kScaleModeLoudness), 1.0);
    EXPECT_EQ(rig.meter->loudnessOffset(), VazEzaruZel::kLuOffset);
}

// The level peaks are the audio thread's while processing runs: a reset
// waits for the next block; without processing it acts at once, and
// deactivation carries out one still waiting.
TEST(ProcessorStateWhileProcessing, LevelResetsReachThePeaksThroughTheAudioThread) {
    Rig rig;
    auto* levels = dynamic_cast<DSP::AlgoAccessorVu*>(rig.meter->accessor());
    rig.process(0.5f);
    rig.send("resetMaxLevelIn");
    EXPECT_EQ(levels->inputPeak(), 0.5f);
    rig.process(0.1f);
    EXPECT_EQ(levels->inputPeak(), 0.1f) << "cleared before the block measured its own peak";
    rig.send("resetMaxLevelIn");
    rig.meter->setActive(0);
    EXPECT_EQ(levels->inputPeak(), 0.0f);
    rig.meter->setActive(1);
    rig.process(0.25f);
    rig.meter->setActive(0);
    rig.send("resetMaxLevelIn");
    EXPECT_EQ(levels->inputPeak(), 0.0f);
    rig.meter->setActive(1);
    rig.process(0.25f);
    ASSERT_GT(rig.meter->accessor()->getValue(DSP::kValueRmsOverall), 0.0);
    rig.send("resetMaxLevelOut");
    rig.process(0.0f);
    EXPECT_EQ(rig.meter->accessor()->getValue(DSP::kValueRmsOverall), 0.0);
    EXPECT_EQ(levels->inputPeak(), 0.25f) << "the output reset left the input peak";
}

} // namespace
} // namespace ProcessorTesting
