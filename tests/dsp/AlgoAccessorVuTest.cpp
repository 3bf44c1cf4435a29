// What the measuring accessor adds around every processing call: the
// output-silence flag the processor uses to skip work, and the input and
// output peaks behind the level meters.

#include <gtest/gtest.h>

#include "AlgoTestSupport.h"
#include "dsp/AlgoAccessorVu.h"

namespace DSP::testing {
namespace {

class VuTest : public ::testing::Test {
protected:
    void SetUp() override {
        accessor = makeAccessor<AlgoAccessorVu>(log, algo);
        ASSERT_EQ(accessor->setChannels(2, 2, 0), 0);
    }

    // Runs one block through the accessor, its output in a separate buffer.
    void run(Block& in, int32_t count) {
        Block out(2, count);
        accessor->process(in.get(), out.get(), count);
    }

    void runLoud() {
        Block in(2, 64);
        in.fill(0.5f);
        run(in, 64);
        ASSERT_FALSE(accessor->isOutputSilent());
    }

    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    std::unique_ptr<AlgoAccessorVu> accessor;
};

// ---- output silence ------------------------------------------------------------

TEST_F(VuTest, OutputCountsAsSilentUntilSomethingLoudCameOut) {
    EXPECT_TRUE(accessor->isOutputSilent());
    runLoud();
    Block silence(2, 256);
    run(silence, 256);
    EXPECT_TRUE(accessor->isOutputSilent());
}

TEST_F(VuTest, OnlyEvery32ndSampleIsInspected) {
    runLoud();
    Block offGrid(2, 256);
    offGrid.fill(1.0f);
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t i = 0; i < 256; i += 32) offGrid.at(c, i) = 0.0f;
    run(offGrid, 256);
    EXPECT_TRUE(accessor->isOutputSilent());

    Block at32(2, 64);
    at32.at(1, 32) = 1.0f;
    run(at32, 64);
    EXPECT_FALSE(accessor->isOutputSilent());

    run(offGrid, 256);
    Block at0(2, 64);
    at0.at(0, 0) = 1.0f;
    run(at0, 64);
    EXPECT_FALSE(accessor->isOutputSilent());
}

TEST_F(VuTest, TheLastInspectedPositionIsBelowTheCount) {
    Block in(2, 33);
    in.at(0, 32) = 1.0f;
    run(in, 33); // positions 0 and 32
    EXPECT_FALSE(accessor->isOutputSilent());

    in.at(0, 32) = 0.0f;
    in.at(0, 31) = 1.0f;
    run(in, 32); // position 0 only
    EXPECT_TRUE(accessor->isOutputSilent());
}

TEST_F(VuTest, AnEmptyBlockCountsAsSilent) {
    runLoud();
    Block in(2, 64);
    in.fill(0.5f);
    run(in, 0);
    EXPECT_TRUE(accessor->isOutputSilent());

    runLoud();
    accessor->checkOutputSilence(in.get(), 64, 0); // no channels: nothing visited either
    EXPECT_TRUE(accessor->isOutputSilent());
}

TEST_F(VuTest, TheThresholdIsOnTheMeanMagnitude) {
    // Constant blocks: the mean is the sample's magnitude, around 1e-6.
    for (float level : {0.9e-6f, -0.9e-6f, 1e-6f}) {
        runLoud();
        Block in(2, 256);
        in.fill(level);
        run(in, 256);
        EXPECT_TRUE(accessor->isOutputSilent()) << level;
    }
    for (float level : {1.1e-6f, -1.1e-6f}) {
        Block silence(2, 256);
        run(silence, 256);
        ASSERT_TRUE(accessor->isOutputSilent());
        Block in(2, 256);
        in.fill(level);
        run(in, 256);
        EXPECT_FALSE(accessor->isOutputSilent()) << level;
    }
}

TEST_F(VuTest, TheMeanIsOverTheVisitedSamplesOfAllChannels) {
    // One sample at position 0 of 2 x 256: 16 samples visited, so the
    // threshold is crossed at 16e-6.
    Block below(2, 256);
    below.at(0, 0) = 0.9f * 16e-6f;
    runLoud();
    run(below, 256);
    EXPECT_TRUE(accessor->isOutputSilent());

    Block above(2, 256);
    above.at(0, 0) = 1.1f * 16e-6f;
    run(above, 256);
    EXPECT_FALSE(accessor->isOutputSilent());
}

TEST_F(VuTest, OppositeSignsDoNotCancel) {
    Block in(2, 64);
    in.at(0, 0) = 0.5f;
    in.at(0, 32) = -0.5f;
    in.at(1, 0) = -0.5f;
    in.at(1, 32) = 0.5f;
    run(in, 64);
    EXPECT_FALSE(accessor->isOutputSilent());
}

TEST_F(VuTest, SilenceIsJudgedOnWhatTheAlgorithmWrote) {
    runLoud();
    algo->writer = [](float**, float** out, int32_t count) {
        for (int32_t c = 0; c < 2; ++c) std::fill(out[c], out[c] + count, 0.0f);
    };
    Block in(2, 64); // loud in, silent out
    in.fill(0.5f);
    run(in, 64);
    EXPECT_TRUE(accessor->isOutputSilent());
    algo->writer = [](float**, float** out, int32_t count) {
        for (int32_t c = 0; c < 2; ++c) std::fill(out[c], out[c] + count, 0.25f);
    };
    Block silence(2, 64);
    run(silence, 64);
    EXPECT_FALSE(accessor->isOutputSilent());
}

TEST_F(VuTest, ProcessingWithAuxAlsoUpdatesTheSilenceFlag) {
    Block in(2, 64), out(2, 64), aux(1, 64);
    in.fill(0.5f);
    accessor->processWithAux(in.get(), out.get(), aux.get(), 64);
    EXPECT_EQ(log.processWithAuxCalls, 1);
    EXPECT_EQ(log.processCalls, 0);
    EXPECT_FALSE(accessor->isOutputSilent());
    in.fill(0.0f);
    accessor->processWithAux(in.get(), out.get(), aux.get(), 64);
    EXPECT_TRUE(accessor->isOutputSilent());
}

// ---- peaks ---------------------------------------------------------------------

TEST_F(VuTest, PeaksAreTheLargestMagnitudePerChannelAndOverall) {
    Block in(2, 8);
    in.at(0, 1) = 0.5f;
    in.at(0, 5) = -0.8f; // a negative excursion counts by its size
    in.at(1, 2) = 0.3f;
    in.at(1, 7) = -0.1f;
    run(in, 8);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(0), 0.8f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.3f);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.8f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(0), 0.8f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(1), 0.3f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.8f);
}

TEST_F(VuTest, AnAllNegativeBlockPeaksAtItsMagnitude) {
    Block in(2, 16);
    in.fill(-0.4f);
    in.at(1, 3) = -0.6f;
    run(in, 16);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(0), 0.4f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.6f);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.6f);
}

TEST_F(VuTest, PeaksOnlyGrowAcrossBlocks) {
    Block first(2, 8);
    first.at(0, 0) = 0.8f;
    first.at(1, 0) = 0.2f;
    run(first, 8);

    Block second(2, 8);
    second.at(0, 0) = -0.1f;
    second.at(1, 4) = -0.9f;
    run(second, 8);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(0), 0.8f); // kept
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.9f); // grew
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.9f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(0), 0.8f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.9f);

    Block silence(2, 8);
    run(silence, 8);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(0), 0.8f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.9f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.9f);
}

TEST_F(VuTest, InputPeaksAreTakenBeforeAndOutputPeaksAfterTheAlgorithm) {
    // In place, as hosts often do: the algorithm overwrites the input.
    algo->writer = [](float**, float** out, int32_t count) {
        for (int32_t c = 0; c < 2; ++c)
            for (int32_t i = 0; i < count; ++i) out[c][i] *= 4.0f;
    };
    Block buffer(2, 16);
    buffer.at(0, 3) = 0.25f;
    buffer.at(1, 9) = -0.125f;
    accessor->process(buffer.get(), buffer.get(), 16);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(0), 0.25f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.125f);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.25f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(0), 1.0f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(1), 0.5f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 1.0f);
}

TEST_F(VuTest, OutputPeaksComeFromTheOutputBuffers) {
    algo->writer = [](float**, float** out, int32_t count) {
        std::fill(out[0], out[0] + count, 0.0f);
        std::fill(out[1], out[1] + count, -0.7f);
    };
    Block in(2, 16), out(2, 16);
    in.at(0, 0) = 0.2f;
    accessor->process(in.get(), out.get(), 16);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.2f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.0f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(0), 0.0f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(1), 0.7f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.7f);
}

TEST_F(VuTest, ProcessingWithAuxMeasuresPeaksToo) {
    algo->writer = [](float** in, float** out, int32_t count) {
        for (int32_t c = 0; c < 2; ++c)
            for (int32_t i = 0; i < count; ++i) out[c][i] = in[c][i] * 0.5f;
    };
    Block in(2, 16), out(2, 16), aux(1, 16);
    in.at(1, 5) = -0.6f;
    aux.fill(0.95f); // the side chain is not metered
    accessor->processWithAux(in.get(), out.get(), aux.get(), 16);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.6f);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.6f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(1), 0.3f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.3f);
}

TEST_F(VuTest, ClearingResetsOnlyTheOverallPeakOfThatSide) {
    Block loud(2, 8);
    loud.at(0, 0) = 0.8f;
    loud.at(1, 0) = 0.6f;
    run(loud, 8);

    accessor->clearInputPeak();
    EXPECT_EQ(accessor->inputPeak(), 0.0f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(0), 0.8f);
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(1), 0.6f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.8f);

    // From zero again: the next quieter block sets it.
    Block quiet(2, 8);
    quiet.at(1, 2) = -0.1f;
    run(quiet, 8);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.1f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.8f);

    accessor->clearOutputPeak();
    EXPECT_EQ(accessor->outputPeak(), 0.0f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(0), 0.8f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(1), 0.6f);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.1f);
    run(quiet, 8);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.1f);
}

TEST(VuChannelLimit, ChannelsBeyondFourteenAreNotMetered) {
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor<AlgoAccessorVu>(log, algo);
    ASSERT_EQ(accessor->setChannels(16, 16, 0), 0);
    Block in(16, 8), out(16, 8);
    in.at(13, 4) = 0.2f;
    in.at(14, 4) = 0.9f;
    in.at(15, 4) = -0.9f;
    accessor->process(in.get(), out.get(), 8);
    ASSERT_EQ(out.at(15, 4), -0.9f); // the algorithm did see all sixteen
    EXPECT_FLOAT_EQ(accessor->inputChannelPeak(13), 0.2f);
    EXPECT_FLOAT_EQ(accessor->outputChannelPeak(13), 0.2f);
    EXPECT_FLOAT_EQ(accessor->inputPeak(), 0.2f);
    EXPECT_FLOAT_EQ(accessor->outputPeak(), 0.2f);
}

} // namespace
} // namespace DSP::testing
