// The processing side of the framework: which sample size it takes, the
// stored set-up, and speaker arrangements offered by the host.

#include <gtest/gtest.h>

#include "TestProcessor.h"

namespace ProcessorTesting {
namespace {

void expectSetup(const ProcessSetupInfo& actual, const ProcessSetupInfo& expected) {
    EXPECT_EQ(actual.processMode, expected.processMode);
    EXPECT_EQ(actual.sampleSizeCode, expected.sampleSizeCode);
    EXPECT_EQ(actual.maxBlockSamples, expected.maxBlockSamples);
    EXPECT_EQ(actual.sampleRate, expected.sampleRate);
}

// ---- sample size and set-up --------------------------------------------------

TEST(AudioEffectSetup, OnlySinglePrecisionIsSupported) {
    auto proc = makeProcessor();
    EXPECT_EQ(proc->supportsSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(proc->supportsSampleSize(kSample64), kResultFalse);
    EXPECT_EQ(proc->supportsSampleSize(2), kResultFalse);
    EXPECT_EQ(proc->supportsSampleSize(-1), kResultFalse);
}

TEST(AudioEffectSetup, StartsWithTheDefaultSetup) {
    auto proc = makeProcessor();
    expectSetup(proc->processSetup(), {kRealtime, kSample32, 1024, 44100.0});
}

TEST(AudioEffectSetup, SinglePrecisionSetupIsStoredWhole) {
    auto proc = makeProcessor();
    ProcessSetupInfo setup{kOffline, kSample32, 480, 96000.0};
    EXPECT_EQ(proc->prepareProcessing(setup), kResultOk);
    expectSetup(proc->processSetup(), {kOffline, kSample32, 480, 96000.0});

    ProcessSetupInfo next{kPrefetch, kSample32, 64, 22050.0};
    EXPECT_EQ(proc->prepareProcessing(next), kResultOk);
    expectSetup(proc->processSetup(), next);
}

TEST(AudioEffectSetup, DoublePrecisionSetupIsRefusedAndChangesNothing) {
    auto proc = makeProcessor();
    ProcessSetupInfo wide{kOffline, kSample64, 512, 48000.0};
    EXPECT_EQ(proc->prepareProcessing(wide), kResultFalse);
    expectSetup(proc->processSetup(), {kRealtime, kSample32, 1024, 44100.0});

    // A refused set-up does not undo the one before it either.
    ProcessSetupInfo accepted{kRealtime, kSample32, 256, 48000.0};
    ASSERT_EQ(proc->prepareProcessing(accepted), kResultOk);
    EXPECT_EQ(proc->prepareProcessing(wide), kResultFalse);
    expectSetup(proc->processSetup(), accepted);
}

// A subclass that widens the sample sizes widens what prepareProcessing takes.
class WideProcessor : public TestProcessor {
public:
    tresult supportsSampleSize(int32_t code) override {
        return code == kSample32 || code == kSample64 ? kResultTrue : kResultFalse;
    }
};

TEST(AudioEffectSetup, PrepareAsksTheSubclassAboutTheSampleSize) {
    auto proc = IPtr<WideProcessor>::adopt(new WideProcessor);
    ProcessSetupInfo wide{kRealtime, kSample64, 512, 48000.0};
    EXPECT_EQ(proc->prepareProcessing(wide), kResultOk);
    expectSetup(proc->processSetup(), wide);
}

// ---- arrangements ------------------------------------------------------------

constexpr SpeakerArrangement kMono = 0x4;
constexpr SpeakerArrangement kSurround51 = 0x3F;

SpeakerArrangement arrangementOf(TestProcessor* proc, int32_t direction, int32_t index) {
    SpeakerArrangement arrangement = 0xDEAD;
    EXPECT_EQ(proc->busArrangement(direction, index, arrangement), kResultOk);
    return arrangement;
}

TEST(AudioEffectArrangements, BusesAnswerTheirArrangement) {
    auto proc = makeProcessor();
    proc->addInput(u"In", kArrangementStereo);
    proc->addInput(u"Side", kMono, kAux, 0);
    proc->addOutput(u"Out", kSurround51);
    EXPECT_EQ(arrangementOf(proc.get(), kInput, 0), kArrangementStereo);
    EXPECT_EQ(arrangementOf(proc.get(), kInput, 1), kMono);
    EXPECT_EQ(arrangementOf(proc.get(), kOutput, 0), kSurround51);
}

TEST(AudioEffectArrangements, MissingBusHasNoArrangement) {
    auto proc = makeProcessor();
    proc->addInput(u"In");
    proc->addOutput(u"Out");
    SpeakerArrangement arrangement = 0;
    EXPECT_EQ(proc->busArrangement(kInput, 1, arrangement), kResultFalse);
    EXPECT_EQ(proc->busArrangement(kOutput, 1, arrangement), kResultFalse);
    EXPECT_EQ(proc->busArrangement(kOutput, -1, arrangement), kResultFalse);
    EXPECT_EQ(proc->busArrangement(2, 0, arrangement), kResultFalse);
    auto empty = makeProcessor();
    EXPECT_EQ(empty->busArrangement(kInput, 0, arrangement), kResultFalse);
}

TEST(AudioEffectArrangements, OfferAppliesToExistingBusesOnly) {
    auto proc = makeProcessor();
    proc->addInput(u"In", kArrangementStereo);
    proc->addOutput(u"Out", kArrangementStereo);
    SpeakerArrangement ins[] = {kSurround51, kMono, kMono};
    SpeakerArrangement outs[] = {kMono, kSurround51};

    EXPECT_EQ(proc->offerArrangements(ins, 3, outs, 2), kResultOk);
    EXPECT_EQ(arrangementOf(proc.get(), kInput, 0), kSurround51);
    EXPECT_EQ(arrangementOf(proc.get(), kOutput, 0), kMono);
    SpeakerArrangement arrangement = 0;
    EXPECT_EQ(proc->busArrangement(kInput, 1, arrangement), kResultFalse) << "an offer added a bus";
    EXPECT_EQ(proc->busCount(kAudio, kInput), 1);
    EXPECT_EQ(proc->busCount(kAudio, kOutput), 1);

    // The description follows the new arrangement.
    BusDescription d{};
    ASSERT_EQ(proc->describeBus(kAudio, kInput, 0, d), kResultOk);
    EXPECT_EQ(d.channelCount, 6);
}

TEST(AudioEffectArrangements, BusesBeyondTheOfferKeepTheirArrangement) {
    auto proc = makeProcessor();
    proc->addInput(u"In", kArrangementStereo);
    proc->addInput(u"Side", kArrangementStereo, kAux, 0);
    proc->addOutput(u"Out", kArrangementStereo);
    SpeakerArrangement ins[] = {kMono};

    EXPECT_EQ(proc->offerArrangements(ins, 1, nullptr, 0), kResultOk);
    EXPECT_EQ(arrangementOf(proc.get(), kInput, 0), kMono);
    EXPECT_EQ(arrangementOf(proc.get(), kInput, 1), kArrangementStereo);
    EXPECT_EQ(arrangementOf(proc.get(), kOutput, 0), kArrangementStereo);

    // Counts without arrays are ignored, not read.
    EXPECT_EQ(proc->offerArrangements(nullptr, 2, nullptr, 1), kResultOk);
    EXPECT_EQ(arrangementOf(proc.get(), kInput, 0), kMono);
    EXPECT_EQ(arrangementOf(proc.get(), kOutput, 0), kArrangementStereo);
}

} // namespace
} // namespace ProcessorTesting
