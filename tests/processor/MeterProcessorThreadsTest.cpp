// The meter processor between the host's threads while processing runs: the
// saved state is the processor's state of one moment (a restored state the
// audio thread has not applied yet included), level resets from the
// controller reach the peaks through the audio thread, and the readings the
// host receives are normalized values.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ActiveMeter.h"
#include "controller/ParameterIds.h"
#include "host/MemoryStream.h"

namespace {

using namespace Zel;
using NivoloHost::MemoryStream;
using ProcessorTesting::ActiveMeter;
using ProcessorTesting::kBlock;

// The plain value a saved state holds for id.
double savedValue(const std::vector<uint8_t>& bytes, int32_t wanted) {
    for (size_t offset = 4; offset + 140 <= bytes.size(); offset += 140) {
        int32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, bytes.data() + offset + 128, 4);
        std::memcpy(&value, bytes.data() + offset + 132, 8);
        if (id == wanted) return value;
    }
    return std::nan("");
}

std::vector<uint8_t> save(VazEzaruZel& meter) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    EXPECT_EQ(meter.getState(stream.get()), kResultOk);
    return stream->bytes();
}

TEST(MeterStateWhileProcessing, SavingRightAfterARestoreSavesTheRestoredValues) {
    ActiveMeter rig;
    rig.process(0.1f);
    std::vector<uint8_t> state = save(*rig.meter);
    ASSERT_EQ(savedValue(state, Param::kScaleModeLoudness), 0.0);
    // The same state with the unit switch on, restored while processing runs:
    // the audio thread applies it before its next block, but from now on it is
    // the processor's state, and a save made before that block must say so.
    for (size_t offset = 4; offset + 140 <= state.size(); offset += 140) {
        int32_t id = 0;
        std::memcpy(&id, state.data() + offset + 128, 4);
        const double on = 1.0;
        if (id == Param::kScaleModeLoudness) std::memcpy(state.data() + offset + 132, &on, 8);
    }
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(state));
    ASSERT_EQ(rig.meter->setState(stream.get()), kResultOk);
    EXPECT_EQ(savedValue(save(*rig.meter), Param::kScaleModeLoudness), 1.0);
    rig.process(0.1f);
    EXPECT_EQ(savedValue(save(*rig.meter), Param::kScaleModeLoudness), 1.0);
    EXPECT_EQ(rig.meter->loudnessOffset(), VazEzaruZel::kLuOffset);
}

TEST(MeterLevelResets, WhileProcessingRunsTheyWaitForTheAudioThread) {
    ActiveMeter rig;
    rig.process(0.5f);
    ASSERT_EQ(rig.levels()->inputPeak(), 0.5f);
    rig.send("resetMaxLevelIn");
    // The user-interface thread leaves the peak alone: the audio thread may be writing it.
    EXPECT_EQ(rig.levels()->inputPeak(), 0.5f);
    rig.process(0.1f);
    EXPECT_EQ(rig.levels()->inputPeak(), 0.1f) << "cleared before the next block measured its own peak";
}

TEST(MeterLevelResets, WithoutProcessingTheyActAtOnceAndDeactivationCarriesOutAPendingOne) {
    ActiveMeter rig;
    rig.process(0.5f);
    rig.send("resetMaxLevelIn");
    rig.meter->setActive(0);
    EXPECT_EQ(rig.levels()->inputPeak(), 0.0f);
    rig.meter->setActive(1);
    rig.process(0.25f);
    rig.meter->setActive(0);
    rig.send("resetMaxLevelIn");
    EXPECT_EQ(rig.levels()->inputPeak(), 0.0f);
    rig.meter->setActive(1);
}

TEST(MeterReadingsRange, TheTruePeakFloorGoesOutAsTheBottomOfItsRange) {
    ActiveMeter rig;
    rig.requestData();
    rig.process(0.0f); // nothing measured yet: the true peak is 1e-6, -120 dBTP, below the -80 of its range
    const double truePeak = rig.reading(Param::kTruePeak);
    EXPECT_EQ(truePeak, 0.0);
}

TEST(MeterReadingsRange, EveryReadingOfAHotSurroundSignalInLuIsNormalized) {
    // Floating-point audio may run above full scale: a square at +18 dBFS on 14
    // channels reads about +32 LUFS, +55 LU, beyond the +48 top of the range.
    ActiveMeter rig(14);
    rig.inputs->addChange(Param::kScaleModeLoudness, 0, 1.0);
    bool topReached = false;
    for (int b = 0; b < 320; ++b) {
        rig.requestData();
        rig.process((b % 2) ? 8.0f : -8.0f);
        for (int32_t q = 0; q < rig.outputs->getParameterCount(); ++q) {
            double value = 0.0;
            IParamQueue* queue = rig.outputs->queueAt(q);
            ASSERT_EQ(queue->readPoint(0, nullptr, &value), kResultOk);
            ASSERT_TRUE(value >= 0.0 && value <= 1.0) << "id " << queue->getParameterId() << ": " << value;
        }
        topReached = topReached || rig.reading(Param::kLoudnessMMax) == 1.0;
    }
    EXPECT_TRUE(topReached) << "the momentary maximum never went out at the top of its range";
}

} // namespace
