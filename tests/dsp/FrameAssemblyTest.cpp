// Block collection, overlap-save framing and the analysis windows of the
// loudness collectors. Every expectation is computed from a known ramp stream
// (channel 0: sample value = stream index + 1), fed in calls of irregular size,
// so a fault in the bookkeeping of partial blocks shows up as a wrong sample.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"
#include "dsp/Ols.h"
#include "dsp/Overlap.h"
#include "dsp/SampleCollector.h"

namespace DSP {
namespace {

using Channel = std::vector<float>;
using Signal = std::vector<Channel>; // [channel][sample]

// Distinct per channel so a swapped or shared channel buffer is visible.
float sampleOf(int32_t channel, int64_t index) {
    const float ramp = static_cast<float>(index + 1);
    return (channel % 2 ? -ramp : ramp) + 1000.0f * static_cast<float>(channel);
}

Signal makeSignal(int32_t channels, int32_t length, int64_t firstIndex = 0) {
    Signal s(static_cast<size_t>(channels), Channel(static_cast<size_t>(length)));
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t i = 0; i < length; ++i) s[c][i] = sampleOf(c, firstIndex + i);
    return s;
}

// Samples [end - length, end) of one channel; positions before the stream start are zero.
Channel window(const Signal& s, int32_t channel, int64_t end, int64_t length) {
    Channel w(static_cast<size_t>(length), 0.0f);
    for (int64_t i = 0; i < length; ++i) {
        const int64_t at = end - length + i;
        if (at >= 0) w[i] = s[channel][at];
    }
    return w;
}

Signal copyOf(float** buffers, int32_t channels, int32_t length) {
    Signal s;
    for (int32_t c = 0; c < channels; ++c) s.emplace_back(buffers[c], buffers[c] + length);
    return s;
}

::testing::AssertionResult sameSamples(const Channel& actual, const Channel& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "length " << actual.size() << ", expected " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure()
                   << "first difference at " << i << ": " << actual[i] << ", expected " << expected[i];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameSamples(const Signal& actual, const Signal& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " channels, expected " << expected.size();
    for (size_t c = 0; c < actual.size(); ++c) {
        auto r = sameSamples(actual[c], expected[c]);
        if (!r) return r << " (channel " << c << ")";
    }
    return ::testing::AssertionSuccess();
}

// Zero-length calls, single samples, sizes around small hops and several
// blocks at once.
const std::vector<int32_t> kIrregular = {0, 1, 3, 0, 2, 17, 4, 5, 1, 0, 9, 30, 7, 4, 11, 6};

constexpr float kUntouched = 12345.0f;

// Feeds in from position 0 in calls of the given sizes (cycled, the last one
// cut to what is left) and calls afterCall with the samples consumed so far.
// withOutput selects the input/output path and the output stream is returned.
Signal feed(SampleCollector& sc, const Signal& in, const std::vector<int32_t>& sizes, bool withOutput,
            const std::function<void(int32_t)>& afterCall = {}) {
    const int32_t channels = static_cast<int32_t>(in.size());
    const int32_t total = static_cast<int32_t>(in[0].size());
    Signal out(in.size(), Channel(in[0].size(), kUntouched));
    std::vector<float*> inPtr(in.size()), outPtr(in.size());
    int32_t pos = 0;
    for (size_t k = 0; pos < total || k < sizes.size(); ++k) {
        const int32_t count = std::min(sizes[k % sizes.size()], total - pos);
        for (int32_t c = 0; c < channels; ++c) {
            inPtr[c] = const_cast<float*>(in[c].data()) + pos;
            outPtr[c] = out[c].data() + pos;
        }
        if (withOutput)
            sc.process(inPtr.data(), outPtr.data(), count);
        else
            sc.processInput(inPtr.data(), count);
        pos += count;
        if (afterCall) afterCall(pos);
    }
    return out;
}

template <typename T>
struct Terminate {
    void operator()(T* p) const {
        p->terminate();
        delete p;
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Terminate<T>>;

// Initialised and reset, terminated before destruction like the real owners do.
template <typename T, typename... Args>
Owned<T> makeReady(Args... args) {
    Owned<T> p(new T(48000.0f, args...));
    EXPECT_EQ(p->initialize(), 0);
    p->reset();
    return p;
}

// Records every block and answers with twice the input.
class DoublingCollector : public SampleCollector {
public:
    DoublingCollector(float rate, int32_t channels, int32_t block, int32_t mode = kCollectBlocks)
        : SampleCollector(rate, channels, 4096, block, mode) {}
    void processBlock(float** in, float** out, int32_t n) override {
        ioBlocks.push_back(copyOf(in, channels(), n));
        for (int32_t c = 0; c < channels(); ++c)
            for (int32_t i = 0; i < n; ++i) out[c][i] = 2.0f * in[c][i];
    }
    void processBlockInput(float** in, int32_t n) override { inputBlocks.push_back(copyOf(in, channels(), n)); }

    std::vector<Signal> ioBlocks;
    std::vector<Signal> inputBlocks;
};

Signal blockOf(const Signal& s, int32_t index, int32_t blockSize) {
    Signal b;
    for (size_t c = 0; c < s.size(); ++c)
        b.push_back(window(s, static_cast<int32_t>(c), (index + 1) * blockSize, blockSize));
    return b;
}

// Frames and lengths as handed over; scales the frame in place afterwards, so
// the Ols output must come from the processed frame and every later frame
// must be rebuilt rather than reused. A read-only recorder leaves its frames
// alone and says so, which lets an Overlap slide its window instead.
template <typename Base>
class RecordingFramer : public Base {
public:
    RecordingFramer(float rate, int32_t channels, int32_t frameLength, int32_t historyLength, bool readOnly = false)
        : Base(rate, channels, 4096, frameLength, historyLength), readOnly_(readOnly) {}
    void processFrame(float** frame, int32_t length) override {
        const int32_t n = this->historyLength() + this->hopLength();
        frames.push_back(copyOf(frame, this->channels(), n));
        lengths.push_back(length);
        if (readOnly_) return;
        for (int32_t c = 0; c < this->channels(); ++c)
            for (int32_t i = 0; i < n; ++i) frame[c][i] *= 3.0f;
    }

    Signal historySnapshot() const {
        Signal h;
        for (int32_t c = 0; c < this->channels(); ++c)
            h.emplace_back(this->historyOf(c), this->historyOf(c) + this->historyLength());
        return h;
    }

    std::vector<Signal> frames;
    std::vector<int32_t> lengths;

protected:
    bool readOnly() const { return readOnly_; }

private:
    bool readOnly_;
};
using RecordingOls = RecordingFramer<Ols>;
class RecordingOverlap : public RecordingFramer<Overlap> {
public:
    using RecordingFramer<Overlap>::RecordingFramer;

protected:
    bool readsFramesOnly() const override { return readOnly(); }
};

Signal windowOf(const Signal& s, int64_t end, int64_t length) {
    Signal w;
    for (size_t c = 0; c < s.size(); ++c) w.push_back(window(s, static_cast<int32_t>(c), end, length));
    return w;
}

Signal scaled(Signal s, float factor) {
    for (auto& ch : s)
        for (auto& v : ch) v *= factor;
    return s;
}

// ---- SampleCollector ------------------------------------------------------

constexpr int32_t kBlock = 4;

TEST(SampleCollectorBlocks, ZeroCountLeavesStateAndOutputAlone) {
    auto sc = makeReady<DoublingCollector>(2, kBlock);
    const Signal in = makeSignal(2, 3);
    feed(*sc, in, {3}, true);
    ASSERT_EQ(sc->filled(), 3);

    float dummyIn[2][1] = {{1.0f}, {2.0f}};
    float dummyOut[2][1] = {{kUntouched}, {kUntouched}};
    float* inPtr[2] = {dummyIn[0], dummyIn[1]};
    float* outPtr[2] = {dummyOut[0], dummyOut[1]};
    sc->process(inPtr, outPtr, 0);
    sc->processInput(inPtr, 0);
    EXPECT_EQ(sc->filled(), 3);
    EXPECT_EQ(dummyOut[0][0], kUntouched);
    EXPECT_EQ(dummyOut[1][0], kUntouched);
    EXPECT_TRUE(sc->ioBlocks.empty());
    EXPECT_TRUE(sc->inputBlocks.empty());
}

// The 400 ms window holds no whole sample below 2.5 Hz: its blocks have no
// samples. Run apart, so that a collector that loops for ever is stopped.
TEST(SampleCollectorBlocksDeathTest, BlocksOfNoSamplesFrameNothingAndReturn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(10);
            auto sc = makeReady<DoublingCollector>(2, 0);
            const Signal in = makeSignal(2, 50);
            const Signal out = feed(*sc, in, kIrregular, true);
            feed(*sc, in, kIrregular, false);
            const bool framedNothing = sc->ioBlocks.empty() && sc->inputBlocks.empty() && sc->getLatency() == 0;
            std::exit(framedNothing && sameSamples(out, in) ? 0 : 1); // passed through with no delay
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(SampleCollectorBlocks, CallThatCompletesABlockProcessesItAndEmptiesTheFill) {
    auto sc = makeReady<DoublingCollector>(1, kBlock);
    const Signal in = makeSignal(1, kBlock);
    feed(*sc, in, {1, kBlock - 1}, true);
    ASSERT_EQ(sc->ioBlocks.size(), 1u);
    EXPECT_TRUE(sameSamples(sc->ioBlocks[0], in));
    EXPECT_EQ(sc->filled(), 0);
}

TEST(SampleCollectorBlocks, OneLongCallProcessesEveryCompleteBlockAndKeepsTheRest) {
    constexpr int32_t kLongBlock = 8; // room for a remainder of 5
    auto sc = makeReady<DoublingCollector>(2, kLongBlock);
    const Signal in = makeSignal(2, 3 * kLongBlock + 5);
    feed(*sc, in, {3 * kLongBlock + 5}, true);
    ASSERT_EQ(sc->ioBlocks.size(), 3u);
    for (int32_t k = 0; k < 3; ++k)
        EXPECT_TRUE(sameSamples(sc->ioBlocks[k], blockOf(in, k, kLongBlock))) << "block " << k;
    EXPECT_EQ(sc->filled(), 5);
}

// The output is the processed input one block later, whatever the host's call sizes.
TEST(SampleCollectorBlocks, OutputIsProcessedInputDelayedByOneBlockForAnySplit) {
    const std::vector<std::vector<int32_t>> splits = {{1}, {kBlock}, {kBlock + 1}, kIrregular, {200}};
    const Signal in = makeSignal(2, 97);
    for (const auto& split : splits) {
        SCOPED_TRACE("first call " + std::to_string(split.front()) + ", " + std::to_string(split.size()) + " sizes");
        auto sc = makeReady<DoublingCollector>(2, kBlock);
        const Signal out = feed(*sc, in, split, true, [&](int32_t consumed) {
            ASSERT_EQ(static_cast<int32_t>(sc->ioBlocks.size()), consumed / kBlock);
            ASSERT_EQ(sc->filled(), consumed % kBlock);
        });
        for (size_t k = 0; k < sc->ioBlocks.size(); ++k)
            EXPECT_TRUE(sameSamples(sc->ioBlocks[k], blockOf(in, static_cast<int32_t>(k), kBlock))) << "block " << k;
        // Shifted by one block, zeros first.
        EXPECT_TRUE(sameSamples(out, scaled(windowOf(in, 97 - kBlock, 97), 2.0f)));
        EXPECT_TRUE(sc->inputBlocks.empty());
    }
}

TEST(SampleCollectorBlocks, InputOnlyPathDeliversTheSameBlocks) {
    auto sc = makeReady<DoublingCollector>(2, kBlock);
    const Signal in = makeSignal(2, 61);
    feed(*sc, in, kIrregular, false, [&](int32_t consumed) {
        ASSERT_EQ(static_cast<int32_t>(sc->inputBlocks.size()), consumed / kBlock);
        ASSERT_EQ(sc->filled(), consumed % kBlock);
    });
    for (size_t k = 0; k < sc->inputBlocks.size(); ++k)
        EXPECT_TRUE(sameSamples(sc->inputBlocks[k], blockOf(in, static_cast<int32_t>(k), kBlock))) << "block " << k;
    EXPECT_TRUE(sc->ioBlocks.empty());
}

// reset and deactivation drop the partial block and the pending output.
TEST(SampleCollectorBlocks, ResetAndDeactivationRestartTheDelayLine) {
    for (const bool viaSetActive : {false, true}) {
        SCOPED_TRACE(viaSetActive ? "setActive(false)" : "reset");
        auto sc = makeReady<DoublingCollector>(1, kBlock);
        sc->setActive(true);
        feed(*sc, makeSignal(1, 2 * kBlock + 3), {2 * kBlock + 3}, true);
        ASSERT_EQ(sc->filled(), 3);
        if (viaSetActive) {
            sc->setActive(false);
            EXPECT_FALSE(sc->isActive());
        } else {
            sc->reset();
        }
        EXPECT_EQ(sc->filled(), 0);

        sc->ioBlocks.clear();
        const Signal fresh = makeSignal(1, 2 * kBlock, 500);
        const Signal out = feed(*sc, fresh, {3, 5}, true);
        ASSERT_EQ(sc->ioBlocks.size(), 2u);
        EXPECT_TRUE(sameSamples(sc->ioBlocks[0], blockOf(fresh, 0, kBlock)));
        Channel expected(2 * kBlock, 0.0f);
        for (int32_t i = kBlock; i < 2 * kBlock; ++i) expected[i] = 2.0f * fresh[0][i - kBlock];
        EXPECT_TRUE(sameSamples(out[0], expected));
    }
}

TEST(SampleCollectorBlocks, ActivationKeepsThePartialBlock) {
    auto sc = makeReady<DoublingCollector>(1, kBlock);
    const Signal in = makeSignal(1, kBlock);
    feed(*sc, Signal{Channel(in[0].begin(), in[0].begin() + 2)}, {2}, false);
    sc->setActive(true);
    EXPECT_TRUE(sc->isActive());
    EXPECT_EQ(sc->filled(), 2);
    feed(*sc, Signal{Channel(in[0].begin() + 2, in[0].end())}, {2}, false);
    ASSERT_EQ(sc->inputBlocks.size(), 1u);
    EXPECT_TRUE(sameSamples(sc->inputBlocks[0], in));
}

TEST(SampleCollectorConfig, SetChannels) {
    auto sc = makeReady<DoublingCollector>(2, kBlock);
    const Signal in = makeSignal(2, kBlock);
    feed(*sc, windowOf(in, 3, 3), {3}, true);

    // Same count: the partial block survives.
    EXPECT_EQ(sc->setChannels(2, 2, 0), 0);
    EXPECT_EQ(sc->filled(), 3);
    // Inputs != outputs: refused, nothing changes.
    EXPECT_EQ(sc->setChannels(1, 2, 0), 1);
    EXPECT_EQ(sc->channels(), 2);
    EXPECT_EQ(sc->filled(), 3);
    feed(*sc, Signal{{in[0][3]}, {in[1][3]}}, {1}, true);
    ASSERT_EQ(sc->ioBlocks.size(), 1u);
    EXPECT_TRUE(sameSamples(sc->ioBlocks[0], in));

    // A new count rebuilds the buffers for it.
    EXPECT_EQ(sc->setChannels(3, 3, 7), 0);
    EXPECT_EQ(sc->channels(), 3);
    sc->reset();
    sc->ioBlocks.clear();
    const Signal three = makeSignal(3, 3 * kBlock + 1);
    const Signal out = feed(*sc, three, kIrregular, true);
    ASSERT_EQ(sc->ioBlocks.size(), 3u);
    for (int32_t k = 0; k < 3; ++k) EXPECT_TRUE(sameSamples(sc->ioBlocks[k], blockOf(three, k, kBlock)));
    EXPECT_TRUE(sameSamples(out, scaled(windowOf(three, 3 * kBlock + 1 - kBlock, 3 * kBlock + 1), 2.0f)));
}

TEST(SampleCollectorConfig, LatencyAndDirectMode) {
    auto blocks = makeReady<DoublingCollector>(1, kBlock);
    EXPECT_EQ(blocks->getLatency(), kBlock);

    // Direct mode hands nothing to the block operations and reports no delay.
    auto direct = makeReady<DoublingCollector>(1, kBlock, SampleCollector::kDirect);
    EXPECT_EQ(direct->getLatency(), 0);
    const Signal in = makeSignal(1, 3 * kBlock);
    feed(*direct, in, kIrregular, true);
    feed(*direct, in, kIrregular, false);
    EXPECT_TRUE(direct->ioBlocks.empty());
    EXPECT_TRUE(direct->inputBlocks.empty());
    EXPECT_EQ(direct->filled(), 0);

    direct->setMode(SampleCollector::kCollectBlocks);
    EXPECT_EQ(direct->getLatency(), kBlock);
    feed(*direct, in, {kBlock}, true);
    EXPECT_EQ(direct->ioBlocks.size(), 3u);
    blocks->setMode(SampleCollector::kDirect);
    EXPECT_EQ(blocks->getLatency(), 0);
}

// ---- Ols --------------------------------------------------------------------

struct Geometry {
    int32_t hop;
    int32_t history;
    int32_t frame() const { return hop + history; }
};

std::string geometryName(const Geometry& g) {
    return "H" + std::to_string(g.hop) + "_M" + std::to_string(g.history);
}

void PrintTo(const Geometry& g, std::ostream* os) { *os << geometryName(g); }

TEST(OlsFrames, FrameIsHistoryThenBlockAndOutputIsItsProcessedTail) {
    for (const Geometry g : {Geometry{4, 4}, Geometry{6, 2}}) {
        SCOPED_TRACE(geometryName(g));
        auto ols = makeReady<RecordingOls>(2, g.frame(), g.history);
        EXPECT_EQ(ols->getLatency(), g.hop);
        const int32_t total = 10 * g.hop + 3;
        const Signal in = makeSignal(2, total);
        const Signal out = feed(*ols, in, kIrregular, true);

        ASSERT_EQ(static_cast<int32_t>(ols->frames.size()), total / g.hop);
        for (size_t k = 0; k < ols->frames.size(); ++k) {
            EXPECT_EQ(ols->lengths[k], g.frame());
            EXPECT_TRUE(sameSamples(ols->frames[k], windowOf(in, (static_cast<int64_t>(k) + 1) * g.hop, g.frame())))
                << "frame " << k;
        }
        EXPECT_TRUE(sameSamples(out, scaled(windowOf(in, total - g.hop, total), 3.0f)));
    }
}

TEST(OlsFrames, BypassCopiesInputDelayedWithoutFrames) {
    auto ols = makeReady<RecordingOls>(2, 8, 2);
    ols->setFrameBypass(1);
    const Signal in = makeSignal(2, 41);
    const Signal out = feed(*ols, in, kIrregular, true);
    EXPECT_TRUE(ols->frames.empty());
    EXPECT_TRUE(sameSamples(out, windowOf(in, 41 - 6, 41)));
}

// ---- Overlap ----------------------------------------------------------------

TEST(OverlapWarmUp, FrameLengthsGrowByHopUntilTheHistoryIsFull) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        struct Case {
            Geometry g;
            std::vector<int32_t> lengths;
        };
        for (const Case& tc : {Case{{4, 12}, {4, 8, 12, 16, 16, 16}}, Case{{4, 8}, {4, 8, 12, 12, 12}}}) {
            SCOPED_TRACE(geometryName(tc.g));
            auto ov = makeReady<RecordingOverlap>(1, tc.g.frame(), tc.g.history, sliding);
            const int32_t hops = static_cast<int32_t>(tc.lengths.size());
            feed(*ov, makeSignal(1, hops * tc.g.hop), {tc.g.hop}, false);
            EXPECT_EQ(ov->lengths, tc.lengths);

            // reset starts the warm-up over.
            ov->reset();
            ov->lengths.clear();
            feed(*ov, makeSignal(1, hops * tc.g.hop), {tc.g.hop}, false);
            EXPECT_EQ(ov->lengths, tc.lengths);
        }
    }
}

// Each geometry with frames rebuilt per hop (a processor that writes into its
// frames) and with the sliding window (one that only reads them).
class OverlapFrames : public ::testing::TestWithParam<std::tuple<Geometry, bool>> {};

// After every call: each frame is the last M + H samples of the stream (zeros
// before its start), its length counts the stream samples in it, and the
// history is the last M samples of the hops done so far.
TEST_P(OverlapFrames, FramesAndHistoryFollowTheStream) {
    const auto [g, sliding] = GetParam();
    constexpr int32_t kChannels = 3;
    auto ov = makeReady<RecordingOverlap>(kChannels, g.frame(), g.history, sliding);
    EXPECT_EQ(ov->getLatency(), g.frame());
    const int32_t total = 12 * g.hop + 3;
    const Signal in = makeSignal(kChannels, total);

    feed(*ov, in, kIrregular, false, [&](int32_t consumed) {
        const int32_t hops = consumed / g.hop;
        ASSERT_EQ(static_cast<int32_t>(ov->frames.size()), hops);
        EXPECT_TRUE(sameSamples(ov->historySnapshot(), windowOf(in, static_cast<int64_t>(hops) * g.hop, g.history)))
            << "after " << consumed << " samples";
        EXPECT_EQ(ov->isWarmingUp(), static_cast<int64_t>(hops) * g.hop < g.history) << "after " << hops << " hops";
    });
    for (size_t k = 0; k < ov->frames.size(); ++k) {
        const int64_t end = (static_cast<int64_t>(k) + 1) * g.hop;
        EXPECT_EQ(ov->lengths[k], std::min<int64_t>(g.frame(), end)) << "frame " << k;
        EXPECT_TRUE(sameSamples(ov->frames[k], windowOf(in, end, g.frame()))) << "frame " << k;
    }
}

// The input/output entry frames the input the same way and outputs silence.
TEST_P(OverlapFrames, InputOutputPathFramesTheSameAndOutputsZeros) {
    const auto [g, sliding] = GetParam();
    auto viaInput = makeReady<RecordingOverlap>(2, g.frame(), g.history, sliding);
    auto viaProcess = makeReady<RecordingOverlap>(2, g.frame(), g.history, sliding);
    const Signal in = makeSignal(2, 9 * g.hop + 1);
    feed(*viaInput, in, kIrregular, false);
    const Signal out = feed(*viaProcess, in, kIrregular, true);

    ASSERT_EQ(viaProcess->frames.size(), viaInput->frames.size());
    EXPECT_EQ(viaProcess->lengths, viaInput->lengths);
    for (size_t k = 0; k < viaInput->frames.size(); ++k)
        EXPECT_TRUE(sameSamples(viaProcess->frames[k], viaInput->frames[k])) << "frame " << k;
    EXPECT_TRUE(sameSamples(out, Signal(2, Channel(in[0].size(), 0.0f))));
}

INSTANTIATE_TEST_SUITE_P(Geometries, OverlapFrames,
                         ::testing::Combine(::testing::Values(Geometry{4, 12}, Geometry{4, 8}, Geometry{4, 10},
                                                              Geometry{4, 4}, Geometry{6, 2}, Geometry{12, 4}),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return geometryName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_Sliding" : "_Rebuilt");
                         });

TEST(OverlapState, ResetDropsHistoryAndPartialBlock) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        const Geometry g{4, 12};
        auto ov = makeReady<RecordingOverlap>(2, g.frame(), g.history, sliding);
        feed(*ov, makeSignal(2, 7 * g.hop + 2), kIrregular, false);
        ASSERT_FALSE(ov->isWarmingUp());

        ov->reset();
        EXPECT_TRUE(ov->isWarmingUp());
        EXPECT_EQ(ov->validHistoryLength(), 0);
        EXPECT_EQ(ov->filled(), 0);
        EXPECT_TRUE(sameSamples(ov->historySnapshot(), Signal(2, Channel(g.history, 0.0f))));

        ov->frames.clear();
        ov->lengths.clear();
        const Signal fresh = makeSignal(2, 6 * g.hop, 900);
        feed(*ov, fresh, kIrregular, false);
        EXPECT_EQ(ov->lengths, (std::vector<int32_t>{4, 8, 12, 16, 16, 16}));
        for (size_t k = 0; k < ov->frames.size(); ++k)
            EXPECT_TRUE(sameSamples(ov->frames[k], windowOf(fresh, (static_cast<int64_t>(k) + 1) * g.hop, g.frame())))
                << "frame " << k;
    }
}

// Deactivation clears the samples but keeps the steady state: the next
// windows are full-length with zeros where the old history was.
TEST(OverlapState, DeactivationClearsSamplesButNotTheSteadyState) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        const Geometry g{4, 8};
        auto ov = makeReady<RecordingOverlap>(1, g.frame(), g.history, sliding);
        feed(*ov, makeSignal(1, 5 * g.hop + 2), kIrregular, false);
        ASSERT_FALSE(ov->isWarmingUp());

        ov->setActive(false);
        EXPECT_FALSE(ov->isWarmingUp());
        EXPECT_EQ(ov->filled(), 0);
        EXPECT_TRUE(sameSamples(ov->historySnapshot()[0], Channel(g.history, 0.0f)));

        ov->frames.clear();
        ov->lengths.clear();
        const Signal fresh = makeSignal(1, 2 * g.hop, 300);
        feed(*ov, fresh, {3, 5}, false);
        EXPECT_EQ(ov->lengths, (std::vector<int32_t>{g.frame(), g.frame()}));
        ASSERT_EQ(ov->frames.size(), 2u);
        EXPECT_TRUE(sameSamples(ov->frames[0], windowOf(fresh, g.hop, g.frame())));
        EXPECT_TRUE(sameSamples(ov->frames[1], windowOf(fresh, 2 * g.hop, g.frame())));
    }
}

// Bypassed hops are skipped entirely: no frames, no history, no warm-up progress.
TEST(OverlapState, BypassFreezesFramingAndHistory) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        const Geometry g{4, 8};
        auto ov = makeReady<RecordingOverlap>(1, g.frame(), g.history, sliding);
        const Signal in = makeSignal(1, 20);
        auto slice = [&](int32_t from, int32_t to) { return Signal{Channel(in[0].begin() + from, in[0].begin() + to)}; };

        feed(*ov, slice(0, 6), {6}, false);
        ASSERT_EQ(ov->frames.size(), 1u);
        const Signal historyBefore = ov->historySnapshot();

        ov->setFrameBypass(1);
        feed(*ov, slice(6, 16), {10}, false);
        EXPECT_EQ(ov->frames.size(), 1u);
        EXPECT_TRUE(sameSamples(ov->historySnapshot(), historyBefore));
        EXPECT_TRUE(ov->isWarmingUp());
        EXPECT_EQ(ov->validHistoryLength(), g.hop);

        ov->setFrameBypass(0);
        feed(*ov, slice(16, 20), {4}, false);
        ASSERT_EQ(ov->frames.size(), 2u);
        EXPECT_EQ(ov->lengths[1], 2 * g.hop);
        Channel expected = historyBefore[0];
        expected.insert(expected.end(), in[0].begin() + 16, in[0].end());
        EXPECT_TRUE(sameSamples(ov->frames[1][0], expected));
    }
}

TEST(OverlapState, LatencyIsTheWholeFrameInEveryMode) {
    auto ov = makeReady<RecordingOverlap>(1, 16, 12);
    EXPECT_EQ(ov->getLatency(), 16);
    ov->setMode(SampleCollector::kDirect);
    EXPECT_EQ(ov->getLatency(), 16);
    feed(*ov, makeSignal(1, 8), {8}, false);
    EXPECT_EQ(ov->frames.size(), 2u);
}

// A channel-count change rebuilds history and frame buffers as well.
TEST(OverlapState, NewChannelCountFramesEveryChannel) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        const Geometry g{4, 8};
        auto ov = makeReady<RecordingOverlap>(2, g.frame(), g.history, sliding);
        feed(*ov, makeSignal(2, 13), kIrregular, false);
        ASSERT_EQ(ov->setChannels(3, 3, 0), 0);
        ov->reset();
        ov->frames.clear();
        ov->lengths.clear();

        const Signal in = makeSignal(3, 5 * g.hop);
        feed(*ov, in, kIrregular, false, [&](int32_t consumed) {
            EXPECT_TRUE(sameSamples(ov->historySnapshot(), windowOf(in, consumed / g.hop * g.hop, g.history)));
        });
        ASSERT_EQ(ov->frames.size(), 5u);
        for (size_t k = 0; k < 5; ++k)
            EXPECT_TRUE(sameSamples(ov->frames[k], windowOf(in, (static_cast<int64_t>(k) + 1) * g.hop, g.frame())));
    }
}

// ---- The collectors' window geometry ---------------------------------------

TEST(FrameGeometry, WindowAndHistoryLengthsOfTheCollectors) {
    EXPECT_EQ(CollectorIntegrated::windowLengthFor(48000.0), 19200);
    EXPECT_EQ(CollectorIntegrated::historyLengthFor(48000.0), 14400);
    EXPECT_EQ(CollectorIntegrated::windowLengthFor(44100.0), 17640);
    EXPECT_EQ(CollectorIntegrated::historyLengthFor(44100.0), 13230);
    EXPECT_EQ(CollectorIntegrated::windowLengthFor(96000.0), 38400);
    EXPECT_EQ(CollectorIntegrated::historyLengthFor(96000.0), 28800);
    EXPECT_EQ(CollectorLoudnessRange::windowLengthFor(48000.0), 144000);
    EXPECT_EQ(CollectorLoudnessRange::historyLengthFor(48000.0), 96000);
    EXPECT_EQ(CollectorLoudnessRange::windowLengthFor(44100.0), 132300);
    EXPECT_EQ(CollectorLoudnessRange::historyLengthFor(44100.0), 88200);
}

// Real window sizes fed in host-sized calls: 3 warm-up frames for the 400 ms
// window, 2 for the 3 s window, then windows of exactly the last N samples.
TEST(FrameGeometry, CollectorWindowsWarmUpAndThenCoverTheLastWindow) {
    struct Case {
        const char* name;
        int32_t n;
        int32_t m;
        int32_t warmUpFrames;
    };
    const Case cases[] = {
        {"integrated 48k", CollectorIntegrated::windowLengthFor(48000.0),
         CollectorIntegrated::historyLengthFor(48000.0), 3},
        {"integrated 44.1k", CollectorIntegrated::windowLengthFor(44100.0),
         CollectorIntegrated::historyLengthFor(44100.0), 3},
        {"range 48k", CollectorLoudnessRange::windowLengthFor(48000.0),
         CollectorLoudnessRange::historyLengthFor(48000.0), 2},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        const int32_t hop = tc.n - tc.m;
        auto ov = makeReady<RecordingOverlap>(1, tc.n, tc.m);
        EXPECT_EQ(ov->getLatency(), tc.n);
        const int32_t frames = tc.warmUpFrames + 2;
        const Signal in = makeSignal(1, frames * hop + 100);
        feed(*ov, in, {512, 0, 1024, 333, 4096}, false);
        ASSERT_EQ(static_cast<int32_t>(ov->frames.size()), frames);
        for (int32_t k = 0; k < frames; ++k) {
            const int64_t end = static_cast<int64_t>(k + 1) * hop;
            EXPECT_EQ(ov->lengths[k], k < tc.warmUpFrames ? end : tc.n) << "frame " << k;
            EXPECT_TRUE(sameSamples(ov->frames[k], windowOf(in, end, tc.n))) << "frame " << k;
        }
    }
}

} // namespace
} // namespace DSP
