// Block collection, overlapping frames and the analysis windows of the
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

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"
#include "dsp/Overlap.h"
#include "dsp/SampleCollector.h"

namespace DSP {
namespace {

using Channel = std::vector<float>;
using Signal = std::vector<Channel>; // [channel][sample]

// Distinct per channel so a swapped or shared channel buffer is visible.
Signal makeSignal(int32_t channels, int32_t length, int64_t firstIndex = 0) {
    Signal s(static_cast<size_t>(channels), Channel(static_cast<size_t>(length)));
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t i = 0; i < length; ++i) {
            const float ramp = static_cast<float>(firstIndex + i + 1);
            s[c][i] = (c % 2 ? -ramp : ramp) + 1000.0f * static_cast<float>(c);
        }
    return s;
}

// Samples [end - length, end) of every channel; positions before the stream start are zero.
Signal windowOf(const Signal& s, int64_t end, int64_t length) {
    Signal w(s.size(), Channel(static_cast<size_t>(length), 0.0f));
    for (size_t c = 0; c < s.size(); ++c)
        for (int64_t i = std::max<int64_t>(0, length - end); i < length; ++i) w[c][i] = s[c][end - length + i];
    return w;
}

Signal scaled(Signal s, float factor) {
    for (auto& ch : s)
        for (auto& v : ch) v *= factor;
    return s;
}

Signal copyOf(float** buffers, int32_t channels, int32_t length) {
    Signal s;
    for (int32_t c = 0; c < channels; ++c) s.emplace_back(buffers[c], buffers[c] + length);
    return s;
}

// Frame k is the window ending at hop k + 1 of the stream.
void expectFramesOf(const std::vector<Signal>& frames, const Signal& in, int32_t hop, int32_t frameLength) {
    for (size_t k = 0; k < frames.size(); ++k)
        EXPECT_EQ(frames[k], windowOf(in, (static_cast<int64_t>(k) + 1) * hop, frameLength)) << "frame " << k;
}

// Zero-length calls, single samples, sizes around small hops and several
// blocks at once.
const std::vector<int32_t> kIrregular = {0, 1, 3, 0, 2, 17, 4, 5, 1, 0, 9, 30, 7, 4, 11, 6};

constexpr float kUntouched = 12345.0f;

// Feeds in from position 0 in calls of the given sizes (cycled, the last one
// cut to what is left) and calls afterCall with the samples consumed so far.
// withOutput selects the input/output path and the output stream is returned.
// A call of no samples gets output buffers of its own, which it must leave alone.
Signal feed(SampleCollector& sc, const Signal& in, const std::vector<int32_t>& sizes, bool withOutput,
            const std::function<void(int32_t)>& afterCall = {}) {
    const int32_t total = static_cast<int32_t>(in[0].size());
    Signal out(in.size(), Channel(in[0].size(), kUntouched));
    Channel spare(in.size(), kUntouched);
    std::vector<float*> inPtr(in.size()), outPtr(in.size());
    int32_t pos = 0;
    for (size_t k = 0; pos < total || k < sizes.size(); ++k) {
        const int32_t count = std::min(sizes[k % sizes.size()], total - pos);
        for (size_t c = 0; c < in.size(); ++c) {
            inPtr[c] = const_cast<float*>(in[c].data()) + pos;
            outPtr[c] = count > 0 ? out[c].data() + pos : &spare[c];
        }
        if (withOutput)
            sc.process(inPtr.data(), outPtr.data(), count);
        else
            sc.processInput(inPtr.data(), count);
        EXPECT_EQ(spare, Channel(in.size(), kUntouched)) << "a call of no samples wrote output";
        pos += count;
        if (afterCall) afterCall(pos);
    }
    return out;
}

// Initialised and reset, terminated before destruction like the real owners do.
template <typename T>
using Owned = std::unique_ptr<T, void (*)(T*)>;
template <typename T, typename... Args>
Owned<T> makeReady(Args... args) {
    Owned<T> p(new T(48000.0f, args...), [](T* t) {
        t->terminate();
        delete t;
    });
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

// Frames and lengths as handed over; scales the frame in place afterwards,
// so every later frame must be rebuilt rather than reused. A read-only
// recorder leaves its frames alone and says so, which lets the Overlap slide
// its window instead.
class RecordingOverlap : public Overlap {
public:
    RecordingOverlap(float rate, int32_t channels, int32_t frameLength, int32_t historyLength, bool readOnly = false)
        : Overlap(rate, channels, 4096, frameLength, historyLength), readOnly_(readOnly) {}
    void processFrame(float** frame, int32_t length) override {
        const int32_t n = historyLength() + hopLength();
        frames.push_back(copyOf(frame, channels(), n));
        lengths.push_back(length);
        if (readOnly_) return;
        for (int32_t c = 0; c < channels(); ++c)
            for (int32_t i = 0; i < n; ++i) frame[c][i] *= 3.0f;
    }

    Signal historySnapshot() const {
        Signal h;
        for (int32_t c = 0; c < channels(); ++c) h.emplace_back(historyOf(c), historyOf(c) + historyLength());
        return h;
    }
    void forgetFrames() {
        frames.clear();
        lengths.clear();
    }

    std::vector<Signal> frames;
    std::vector<int32_t> lengths;

protected:
    bool readsFramesOnly() const override { return readOnly_; }

private:
    bool readOnly_;
};

// ---- SampleCollector ------------------------------------------------------

constexpr int32_t kBlock = 4;

// The 400 ms window holds no whole sample below 2.5 Hz: its blocks have no
// samples. Run apart, so that a collector that loops for ever is stopped.
TEST(SampleCollectorBlocksDeathTest, BlocksOfNoSamplesFrameNothingAndReturn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
#if !defined(_WIN32) // the Windows child has no alarm: CTest's time limit stops it instead
            alarm(10);
#endif
            auto sc = makeReady<DoublingCollector>(2, 0);
            const Signal in = makeSignal(2, 50);
            const Signal out = feed(*sc, in, kIrregular, true);
            feed(*sc, in, kIrregular, false);
            const bool framedNothing = sc->ioBlocks.empty() && sc->inputBlocks.empty() && sc->getLatency() == 0;
            std::exit(framedNothing && out == in ? 0 : 1); // passed through with no delay
        },
        ::testing::ExitedWithCode(0), "");
}

// Every complete block is processed in the call that completes it and the
// rest is kept, calls of no samples change nothing; the output is the
// processed input one block later, whatever the host's call sizes. The
// input-only path delivers the same blocks.
TEST(SampleCollectorBlocks, OutputIsProcessedInputDelayedByOneBlockForAnySplit) {
    const std::vector<std::vector<int32_t>> splits = {{1}, {kBlock}, {kBlock + 1}, kIrregular, {200}};
    const Signal in = makeSignal(2, 97);
    for (bool withOutput : {true, false}) {
        for (const auto& split : splits) {
            SCOPED_TRACE(::testing::Message() << "first call " << split.front() << ", " << split.size() << " sizes"
                                              << (withOutput ? "" : ", input only"));
            auto sc = makeReady<DoublingCollector>(2, kBlock);
            const std::vector<Signal>& blocks = withOutput ? sc->ioBlocks : sc->inputBlocks;
            const Signal out = feed(*sc, in, split, withOutput, [&](int32_t consumed) {
                ASSERT_EQ(static_cast<int32_t>(blocks.size()), consumed / kBlock);
                ASSERT_EQ(sc->filled(), consumed % kBlock);
            });
            expectFramesOf(blocks, in, kBlock, kBlock);
            EXPECT_TRUE((withOutput ? sc->inputBlocks : sc->ioBlocks).empty());
            if (withOutput) {
                EXPECT_EQ(out, scaled(windowOf(in, 97 - kBlock, 97), 2.0f)); // shifted by one block, zeros first
            }
        }
    }
}

// reset and deactivation drop the partial block and the pending output;
// activation keeps them.
TEST(SampleCollectorBlocks, ResetAndDeactivationRestartTheDelayLineActivationDoesNot) {
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how == 0 ? "reset" : how == 1 ? "setActive(false)" : "setActive(true)");
        auto sc = makeReady<DoublingCollector>(1, kBlock);
        const Signal first = makeSignal(1, 2 * kBlock + 3);
        feed(*sc, first, {2 * kBlock + 3}, true);
        if (how == 0) sc->reset();
        if (how > 0) sc->setActive(how == 2);
        EXPECT_EQ(sc->isActive(), how == 2);
        EXPECT_EQ(sc->filled(), how == 2 ? 3 : 0);

        const Signal next = makeSignal(1, 2 * kBlock, 2 * kBlock + 3);
        const Signal out = feed(*sc, next, {3, 5}, true);
        ASSERT_EQ(sc->ioBlocks.size(), 4u);
        Signal stream = first;
        stream[0].insert(stream[0].end(), next[0].begin(), next[0].end());
        const int64_t end = 2 * kBlock + 3 + 2 * kBlock;
        if (how == 2) {
            EXPECT_EQ(sc->ioBlocks[2], windowOf(stream, 3 * kBlock, kBlock));
            EXPECT_EQ(out, scaled(windowOf(stream, end - kBlock, 2 * kBlock), 2.0f));
        } else {
            EXPECT_EQ(sc->ioBlocks[2], windowOf(next, kBlock, kBlock));
            EXPECT_EQ(out, scaled(windowOf(next, kBlock, 2 * kBlock), 2.0f));
        }
    }
}

// ---- Overlap ----------------------------------------------------------------

struct Geometry {
    int32_t hop;
    int32_t history;
    int32_t frame() const { return hop + history; }
};

std::string geometryName(const Geometry& g) {
    return "H" + std::to_string(g.hop) + "_M" + std::to_string(g.history);
}

void PrintTo(const Geometry& g, std::ostream* os) { *os << geometryName(g); }

// reset drops the history and the partial block and starts the warm-up over.
TEST(OverlapWarmUp, FrameLengthsGrowByHopUntilTheHistoryIsFullAgainAfterReset) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        struct Case {
            Geometry g;
            std::vector<int32_t> lengths;
        };
        for (const Case& tc : {Case{{4, 12}, {4, 8, 12, 16, 16, 16}}, Case{{4, 8}, {4, 8, 12, 12, 12}}}) {
            SCOPED_TRACE(geometryName(tc.g));
            auto ov = makeReady<RecordingOverlap>(2, tc.g.frame(), tc.g.history, sliding);
            const int32_t hops = static_cast<int32_t>(tc.lengths.size());
            feed(*ov, makeSignal(2, hops * tc.g.hop), {tc.g.hop}, false);
            EXPECT_EQ(ov->lengths, tc.lengths);

            feed(*ov, makeSignal(2, 7 * tc.g.hop + 2), kIrregular, false);
            ASSERT_FALSE(ov->isWarmingUp());
            ov->reset();
            EXPECT_TRUE(ov->isWarmingUp());
            EXPECT_EQ(ov->validHistoryLength(), 0);
            EXPECT_EQ(ov->filled(), 0);
            EXPECT_EQ(ov->historySnapshot(), Signal(2, Channel(tc.g.history, 0.0f)));
            ov->forgetFrames();
            const Signal fresh = makeSignal(2, hops * tc.g.hop, 900);
            feed(*ov, fresh, kIrregular, false);
            EXPECT_EQ(ov->lengths, tc.lengths);
            expectFramesOf(ov->frames, fresh, tc.g.hop, tc.g.frame());
        }
    }
}

// Each geometry with frames rebuilt per hop (a processor that writes into its
// frames) and with the sliding window (one that only reads them).
class OverlapFrames : public ::testing::TestWithParam<std::tuple<Geometry, bool>> {};

// After every call: each frame is the last M + H samples of the stream (zeros
// before its start), its length counts the stream samples in it, and the
// history is the last M samples of the hops done so far. The input/output
// entry frames the input the same way and outputs silence.
TEST_P(OverlapFrames, FramesAndHistoryFollowTheStreamOnEitherPath) {
    const auto [g, sliding] = GetParam();
    for (bool withOutput : {false, true}) {
        SCOPED_TRACE(withOutput ? "input/output" : "input only");
        auto ov = makeReady<RecordingOverlap>(3, g.frame(), g.history, sliding);
        EXPECT_EQ(ov->getLatency(), g.frame());
        const int32_t total = 12 * g.hop + 3;
        const Signal in = makeSignal(3, total);
        const Signal out = feed(*ov, in, kIrregular, withOutput, [&](int32_t consumed) {
            const int32_t hops = consumed / g.hop;
            ASSERT_EQ(static_cast<int32_t>(ov->frames.size()), hops);
            EXPECT_EQ(ov->historySnapshot(), windowOf(in, static_cast<int64_t>(hops) * g.hop, g.history))
                << "after " << consumed << " samples";
            EXPECT_EQ(ov->isWarmingUp(), static_cast<int64_t>(hops) * g.hop < g.history) << "after " << hops << " hops";
        });
        for (size_t k = 0; k < ov->frames.size(); ++k)
            EXPECT_EQ(ov->lengths[k], std::min<int64_t>(g.frame(), (static_cast<int64_t>(k) + 1) * g.hop)) << k;
        expectFramesOf(ov->frames, in, g.hop, g.frame());
        if (withOutput) {
            EXPECT_EQ(out, Signal(3, Channel(in[0].size(), 0.0f)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Geometries, OverlapFrames,
                         ::testing::Combine(::testing::Values(Geometry{4, 12}, Geometry{4, 8}, Geometry{4, 10},
                                                              Geometry{4, 4}, Geometry{6, 2}, Geometry{12, 4}),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return geometryName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_Sliding" : "_Rebuilt");
                         });

// Deactivation clears the samples but keeps the steady state: the next
// windows are full-length with zeros where the old history was. A new
// channel count rebuilds history and frame buffers as well.
TEST(OverlapState, DeactivationClearsSamplesButNotTheSteadyStateAndANewCountFramesEveryChannel) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding window" : "rebuilt frames");
        const Geometry g{4, 8};
        auto ov = makeReady<RecordingOverlap>(2, g.frame(), g.history, sliding);
        feed(*ov, makeSignal(2, 5 * g.hop + 2), kIrregular, false);
        ASSERT_FALSE(ov->isWarmingUp());
        ov->setActive(false);
        EXPECT_FALSE(ov->isWarmingUp());
        EXPECT_EQ(ov->filled(), 0);
        EXPECT_EQ(ov->historySnapshot(), Signal(2, Channel(g.history, 0.0f)));
        ov->forgetFrames();
        const Signal fresh = makeSignal(2, 2 * g.hop, 300);
        feed(*ov, fresh, {3, 5}, false);
        EXPECT_EQ(ov->lengths, (std::vector<int32_t>{g.frame(), g.frame()}));
        expectFramesOf(ov->frames, fresh, g.hop, g.frame());

        ASSERT_EQ(ov->setChannels(3, 3, 0), 0);
        ov->reset();
        ov->forgetFrames();
        const Signal three = makeSignal(3, 5 * g.hop);
        feed(*ov, three, kIrregular, false, [&](int32_t consumed) {
            EXPECT_EQ(ov->historySnapshot(), windowOf(three, consumed / g.hop * g.hop, g.history));
        });
        ASSERT_EQ(ov->frames.size(), 5u);
        expectFramesOf(ov->frames, three, g.hop, g.frame());
    }
}

// ---- The collectors' window geometry ---------------------------------------

// 400 ms and 3 s windows with 100 ms and 1 s hops at the real rates, fed in
// host-sized calls: 3 warm-up frames for the 400 ms window, 2 for the 3 s
// window, then windows of exactly the last N samples.
TEST(FrameGeometry, CollectorWindowsWarmUpAndThenCoverTheLastWindow) {
    struct Case {
        const char* name;
        bool range;
        double rate;
        int32_t n;
        int32_t m;
        int32_t warmUpFrames;
    };
    const Case cases[] = {
        {"integrated 48k", false, 48000.0, 19200, 14400, 3}, {"integrated 44.1k", false, 44100.0, 17640, 13230, 3},
        {"integrated 96k", false, 96000.0, 38400, 28800, 3}, {"range 48k", true, 48000.0, 144000, 96000, 2},
        {"range 44.1k", true, 44100.0, 132300, 88200, 2},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        EXPECT_EQ(tc.range ? CollectorLoudnessRange::windowLengthFor(tc.rate)
                           : CollectorIntegrated::windowLengthFor(tc.rate),
                  tc.n);
        EXPECT_EQ(tc.range ? CollectorLoudnessRange::historyLengthFor(tc.rate)
                           : CollectorIntegrated::historyLengthFor(tc.rate),
                  tc.m);
        const int32_t hop = tc.n - tc.m;
        auto ov = makeReady<RecordingOverlap>(1, tc.n, tc.m);
        const int32_t frames = tc.warmUpFrames + 2;
        const Signal in = makeSignal(1, frames * hop + 100);
        feed(*ov, in, {512, 0, 1024, 333, 4096}, false);
        ASSERT_EQ(static_cast<int32_t>(ov->frames.size()), frames);
        for (int32_t k = 0; k < frames; ++k)
            EXPECT_EQ(ov->lengths[k], k < tc.warmUpFrames ? (k + 1) * hop : tc.n) << "frame " << k;
        expectFramesOf(ov->frames, in, hop, tc.n);
    }
}

} // namespace
} // namespace DSP
