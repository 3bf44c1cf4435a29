// The framing under the loudness windows: every H new samples the window of
// the last M + H goes out, for any ratio of M to H, whatever the host's call
// sizes, both with frames rebuilt per hop (a frame processor that writes into
// its frames) and with the sliding window (one that only reads them). The
// stream is a ramp, distinct per channel, so a wrong sample shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "dsp/Overlap.h"

namespace DSP {
namespace {

using Signal = std::vector<std::vector<float>>; // [channel][sample]

Signal ramp(int32_t channels, int32_t length, int64_t first = 0) {
    Signal s(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(length)));
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t i = 0; i < length; ++i)
            s[c][i] = (c % 2 ? -1.0f : 1.0f) * static_cast<float>(first + i + 1) + 1000.0f * static_cast<float>(c);
    return s;
}

// Samples [end - length, end) of every channel; before the stream's start, zeros.
Signal windowOf(const Signal& s, int64_t end, int64_t length) {
    Signal w(s.size(), std::vector<float>(static_cast<size_t>(length), 0.0f));
    for (size_t c = 0; c < s.size(); ++c)
        for (int64_t i = std::max<int64_t>(0, length - end); i < length; ++i) w[c][i] = s[c][end - length + i];
    return w;
}

// Zero-length calls, single samples, sizes around a hop and several hops at once.
const std::vector<int32_t> kIrregular = {0, 1, 3, 0, 2, 17, 4, 5, 1, 0, 9, 30, 7, 4, 11, 6};

// Records frames and lengths; a rebuilding recorder then scales its frame in
// place, so no later frame may reuse it.
class Recorder : public Overlap {
public:
    Recorder(int32_t channels, int32_t hop, int32_t history, bool sliding)
        : Overlap(48000.0f, channels, 4096, hop + history, history), sliding_(sliding) {
        initialize();
        reset();
    }
    ~Recorder() override { terminate(); }
    void processFrame(float** frame, int32_t length) override {
        Signal copy;
        for (int32_t c = 0; c < channels(); ++c) copy.emplace_back(frame[c], frame[c] + historyLength() + hopLength());
        frames.push_back(copy);
        lengths.push_back(length);
        for (int32_t c = 0; !sliding_ && c < channels(); ++c)
            for (int32_t i = 0; i < historyLength() + hopLength(); ++i) frame[c][i] *= 3.0f;
    }
    Signal history() const {
        Signal h;
        for (int32_t c = 0; c < channels(); ++c) h.emplace_back(historyOf(c), historyOf(c) + historyLength());
        return h;
    }
    // Feeds in calls of the given sizes (cycled), afterCall(samples so far) after each;
    // the input/output path returns its output, and a call of no samples may not write.
    Signal feed(const Signal& in, const std::vector<int32_t>& sizes, bool withOutput,
                const std::function<void(int32_t)>& afterCall = {}) {
        const auto total = static_cast<int32_t>(in[0].size());
        Signal out(in.size(), std::vector<float>(in[0].size(), 7.0f));
        std::vector<float> spare(in.size(), 7.0f);
        std::vector<float*> i(in.size()), o(in.size());
        for (size_t k = 0, pos = 0; static_cast<int32_t>(pos) < total || k < sizes.size(); ++k) {
            const int32_t n = std::min(sizes[k % sizes.size()], total - static_cast<int32_t>(pos));
            for (size_t c = 0; c < in.size(); ++c) {
                i[c] = const_cast<float*>(in[c].data()) + pos;
                o[c] = n > 0 ? out[c].data() + pos : &spare[c];
            }
            withOutput ? process(i.data(), o.data(), n) : processInput(i.data(), n);
            EXPECT_EQ(spare, std::vector<float>(in.size(), 7.0f)) << "a call of no samples wrote output";
            pos += static_cast<size_t>(n);
            if (afterCall) afterCall(static_cast<int32_t>(pos));
        }
        return out;
    }
    // Feeds a new stretch and checks its frames alone; returns their lengths.
    std::vector<int32_t> framesOfNext(const Signal& in, const std::vector<int32_t>& sizes) {
        frames.clear();
        lengths.clear();
        feed(in, sizes, false);
        expectFramesOf(in);
        return lengths;
    }
    void expectFramesOf(const Signal& in) const {
        for (size_t k = 0; k < frames.size(); ++k)
            EXPECT_EQ(frames[k], windowOf(in, static_cast<int64_t>(k + 1) * hopLength(), historyLength() + hopLength()))
                << "frame " << k;
    }
    std::vector<Signal> frames;
    std::vector<int32_t> lengths;

protected:
    bool readsFramesOnly() const override { return sliding_; }

private:
    bool sliding_;
};

class OverlapFrames : public ::testing::TestWithParam<std::tuple<std::pair<int32_t, int32_t>, bool>> {};

// After every call each frame is the last M + H samples of the stream, its
// length counts the stream samples in it, and the history is the last M
// samples of the hops so far. The input/output path frames alike and outputs silence.
TEST_P(OverlapFrames, FramesAndHistoryFollowTheStreamOnEitherPath) {
    const auto [geometry, sliding] = GetParam();
    const auto [hop, history] = geometry;
    for (bool withOutput : {false, true}) {
        SCOPED_TRACE(withOutput ? "input/output" : "input only");
        Recorder r(3, hop, history, sliding);
        EXPECT_EQ(r.getLatency(), hop + history);
        const Signal in = ramp(3, 12 * hop + 3);
        const Signal out = r.feed(in, kIrregular, withOutput, [&](int32_t consumed) {
            const int32_t hops = consumed / hop;
            ASSERT_EQ(static_cast<int32_t>(r.frames.size()), hops);
            EXPECT_EQ(r.history(), windowOf(in, int64_t{hops} * hop, history)) << "after " << consumed;
            EXPECT_EQ(r.isWarmingUp(), int64_t{hops} * hop < history) << "after " << hops << " hops";
        });
        for (size_t k = 0; k < r.frames.size(); ++k)
            EXPECT_EQ(r.lengths[k], std::min<int64_t>(hop + history, static_cast<int64_t>(k + 1) * hop)) << k;
        r.expectFramesOf(in);
        if (withOutput) { EXPECT_EQ(out, Signal(3, std::vector<float>(in[0].size(), 0.0f))); }
    }
}

INSTANTIATE_TEST_SUITE_P(Geometries, OverlapFrames,
                         ::testing::Combine(::testing::Values(std::pair(4, 12), std::pair(4, 8), std::pair(4, 10),
                                                              std::pair(4, 4), std::pair(6, 2), std::pair(12, 4)),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             const auto geometry = std::get<0>(info.param);
                             return "H" + std::to_string(geometry.first) + "_M" + std::to_string(geometry.second) +
                                    (std::get<1>(info.param) ? "_Sliding" : "_Rebuilt");
                         });

// A reset starts the warm-up over with an empty history; deactivation clears
// the samples but keeps the steady state (full-length frames with zeros where
// the history was); a new channel count frames every channel.
TEST(OverlapState, ResetDeactivationAndANewChannelCount) {
    for (bool sliding : {false, true}) {
        SCOPED_TRACE(sliding ? "sliding" : "rebuilt");
        Recorder r(2, 4, 8, sliding);
        r.feed(ramp(2, 7 * 4 + 2), kIrregular, false);
        ASSERT_FALSE(r.isWarmingUp());
        r.reset();
        EXPECT_TRUE(r.isWarmingUp());
        EXPECT_EQ(r.filled(), 0);
        EXPECT_EQ(r.history(), Signal(2, std::vector<float>(8, 0.0f)));
        EXPECT_EQ(r.framesOfNext(ramp(2, 5 * 4, 900), kIrregular), (std::vector<int32_t>{4, 8, 12, 12, 12}));

        r.setActive(false);
        EXPECT_FALSE(r.isWarmingUp());
        EXPECT_EQ(r.history(), Signal(2, std::vector<float>(8, 0.0f)));
        EXPECT_EQ(r.framesOfNext(ramp(2, 2 * 4, 300), {3, 5}), (std::vector<int32_t>{12, 12}));

        ASSERT_EQ(r.setChannels(3, 3, 0), 0);
        r.reset();
        EXPECT_EQ(r.framesOfNext(ramp(3, 5 * 4), kIrregular).size(), 5u);
    }
}

// Regression: a window of no whole sample (the 400 ms one below 2.5 Hz) makes
// hops of no samples; collecting them looped for ever.
TEST(OverlapState, HopsOfNoSamplesFrameNothingAndReturn) {
    for (bool sliding : {false, true})
        for (bool withOutput : {false, true}) {
            Recorder r(2, 0, 0, sliding);
            const Signal in = ramp(2, 50);
            EXPECT_EQ(r.feed(in, kIrregular, withOutput), withOutput ? in : Signal(2, std::vector<float>(50, 7.0f)));
            EXPECT_TRUE(r.frames.empty());
        }
}

} // namespace
} // namespace DSP
