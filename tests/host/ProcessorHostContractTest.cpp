// What the processor does when a host breaks its own announcements.

#include <gtest/gtest.h>

#include <vector>

#include "host/PluginModule.h"
#include "host/ProcessingSession.h"

namespace {

using namespace NivoloHost;

constexpr Zel::TUID kProcessor = Zel::tuidFromRegistry("{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");

// Regression: a block longer than the announced maximum overran the meter's buffers.
TEST(ProcessorHostContract, BlockLongerThanAnnouncedIsRefusedAndLeavesTheOutputAlone) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(NIVOLO_MODULE_PATH, error)) << error;
    ProcessingSession session;
    ProcessingSession::Options options;
    options.blockSize = 256;
    ASSERT_TRUE(session.open(module.factory(), kProcessor, options, error)) << error;

    const int32_t length = 4 * options.blockSize;
    std::vector<float> in[2], out[2];
    float* inputs[2];
    float* outputs[2];
    for (int c = 0; c < 2; ++c) {
        in[c].assign(static_cast<size_t>(length), 0.5f);
        out[c].assign(static_cast<size_t>(length), -7.0f);
        inputs[c] = in[c].data();
        outputs[c] = out[c].data();
    }
    Zel::AudioBufferSet inBus{2, 0, inputs}, outBus{2, 0, outputs};
    Zel::ProcessBlock block{};
    block.processMode = Zel::kOffline;
    block.numSamples = length;
    block.numInputs = block.numOutputs = 1;
    block.inputs = &inBus;
    block.outputs = &outBus;
    EXPECT_EQ(session.processor()->process(block), Zel::kInvalidArgument);
    for (int c = 0; c < 2; ++c)
        for (float sample : out[c]) ASSERT_EQ(sample, -7.0f);

    // A block within the announcement still passes through.
    block.numSamples = options.blockSize;
    EXPECT_EQ(session.processor()->process(block), Zel::kResultOk);
    EXPECT_EQ(out[0][0], 0.5f);
}

} // namespace
