#pragma once
// Shared pieces of the signal-chain tests: a meter driven like the plug-in
// drives it (initialise, arrange, reset, host-sized blocks), a phase-continuous
// sine source, the frequency response of the stored weighting sections, and
// the run-once-per-vector-table fixture.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dsp/Biquad.h"
#include "dsp/Loudness.h"
#include "dsp/VectorOps.h"

namespace DSP::testing {

// ---- Vector tables ---------------------------------------------------------------

inline constexpr VectorOpsKind kAllTables[] = {VectorOpsKind::kScalar, VectorOpsKind::kSse2, VectorOpsKind::kAvx2,
                                               VectorOpsKind::kAvx512};

inline std::string kindName(VectorOpsKind kind) {
    switch (kind) {
    case VectorOpsKind::kScalar: return "Scalar";
    case VectorOpsKind::kSse2: return "Sse2";
    case VectorOpsKind::kAvx2: return "Avx2";
    case VectorOpsKind::kAvx512: return "Avx512";
    }
    return "Unknown";
}

inline std::string tableName(const ::testing::TestParamInfo<VectorOpsKind>& info) { return kindName(info.param); }

// A test run once with each vector table selected; tables the processor lacks are skipped.
class EachTable : public ::testing::TestWithParam<VectorOpsKind> {
protected:
    void SetUp() override {
        if (!vectorOpsAvailable(GetParam())) GTEST_SKIP() << kindName(GetParam()) << " not available here";
        ASSERT_TRUE(selectVectorOps(GetParam()));
    }
    void TearDown() override { selectVectorOps(); }
    const VectorOps& ops() const { return vectorOpsOf(GetParam()); }
};

// For tests that walk the tables themselves: the default table again at the end.
struct DefaultTableOnExit {
    ~DefaultTableOnExit() { selectVectorOps(); }
};

inline ::testing::AssertionResult sameBits(const float* expected, const float* actual, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0)
            return ::testing::AssertionFailure()
                   << "sample " << i << " of " << n << ": expected " << expected[i] << ", got " << actual[i];
    }
    return ::testing::AssertionSuccess();
}

inline std::vector<float> randomSamples(std::mt19937& rng, size_t n, float lo, float hi) {
    std::uniform_real_distribution<float> dist(lo, hi);
    std::vector<float> v(n);
    for (auto& x : v) x = dist(rng);
    return v;
}

// ---- Buffers and loudness figures ------------------------------------------------

using Channels = std::vector<std::vector<float>>;

inline std::vector<float*> pointers(Channels& channels, size_t offset = 0) {
    std::vector<float*> p;
    for (auto& c : channels) p.push_back(c.data() + offset);
    return p;
}

inline constexpr float kFloorLufs = -80.0f;
// A mean square of z reads 10 log10(z) - 0.691 LUFS.
inline constexpr double kLoudnessOffset = -0.691;
// Far above what starting or stopping two workers takes.
inline constexpr std::chrono::milliseconds kShutdownLimit{5000};

inline double linearFromDb(double db) { return std::pow(10.0, db / 20.0); }

// H(e^jw) of one stored section.
inline std::complex<double> sectionResponse(const BiquadCoefficients& k, double frequency, double sampleRate) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * frequency / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    return (double(k.b0) + double(k.b1) * z1 + double(k.b2) * z2) / (1.0 + double(k.a1) * z1 + double(k.a2) * z2);
}

inline double gainDb(std::complex<double> h) { return 20.0 * std::log10(std::abs(h)); }

// Gain of shelf followed by high-pass, in dB, from the coefficients the meter holds.
inline double weightingGainDb(const Loudness& loudness, double frequency, double sampleRate) {
    return gainDb(sectionResponse(loudness.shelf(), frequency, sampleRate) *
                  sectionResponse(loudness.highPass(), frequency, sampleRate));
}

// The steady reading of a sine of the given peak after weighting, summed over
// channels whose weights add up to weightSum.
inline double sineLoudness(double peak, double weightingDb, double weightSum = 1.0) {
    return 10.0 * std::log10(weightSum * peak * peak / 2.0) + weightingDb + kLoudnessOffset;
}

// Weighted mean square of 1 kHz sines, one peak per channel, after the stored weighting.
inline double sineMeanSquare(const Loudness& l, double sampleRate, const std::vector<double>& peaks,
                             const std::vector<double>& weights) {
    double z = 0.0;
    for (size_t c = 0; c < peaks.size(); ++c) z += weights[c] * peaks[c] * peaks[c] / 2.0;
    return z * std::pow(10.0, weightingGainDb(l, 1000.0, sampleRate) / 10.0);
}

inline double lufsOf(double meanSquare) { return 10.0 * std::log10(meanSquare) + kLoudnessOffset; }

// Momentary, short-term, integrated, the two maxima, the range, its two
// percentile mean squares and the relative-gate flag.
inline std::vector<float> readingsOf(const Loudness& l) {
    return {l.getMomentary(),    l.getShortTerm(),      l.getIntegrated(),
            l.getMomentaryMax(), l.getShortTermMax(),   l.getLoudnessRange(),
            l.getRangeHigh(),    l.getRangeLow(),       l.isBelowRelativeGate() ? 1.0f : 0.0f};
}
inline const std::vector<float> kNothingMeasured = {kFloorLufs, kFloorLufs, kFloorLufs, kFloorLufs, kFloorLufs,
                                                    0.0f,       0.0f,       0.0f,       0.0f};

// Runs work on a helper thread; false if it has not returned within limit.
// A hung helper is left behind (detached) so the test fails instead of blocking.
template <typename F>
bool finishesWithin(std::chrono::milliseconds limit, F work) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread helper([work = std::move(work), done]() mutable {
        work();
        done->set_value();
    });
    const bool inTime = finished.wait_for(limit) == std::future_status::ready;
    if (inTime)
        helper.join();
    else
        helper.detach();
    return inTime;
}

// One stretch of a 1 kHz-style test programme: duration and sine peak in dBFS.
struct Tone {
    double seconds;
    double peakDb;
};

// A Loudness set up as the meter sets it up, fed with sines in host-sized
// blocks. Shared ownership lets a helper thread keep it alive if a shutdown
// under test never returns.
class Meter {
public:
    Meter(double sampleRate, int32_t channels, uint64_t arrangement, bool useWorkerThreads,
          int32_t maxBlock = 4096)
        : sampleRate_(sampleRate),
          maxBlock_(maxBlock),
          workers_(useWorkerThreads),
          loudness_(std::make_shared<Loudness>(sampleRate, static_cast<uint32_t>(maxBlock), useWorkerThreads)) {
        resizeBuffers(channels);
        auto setUp = [l = loudness_, channels, arrangement] {
            l->initialize();
            l->setChannelsAndArrangement(channels, channels, 0, arrangement); // rebuilds: stops the first workers
            l->reset();
        };
        if (!workers_) {
            setUp();
        } else if (!finishesWithin(kShutdownLimit, setUp)) {
            // Left to the stuck helper; every later use fails instead of blocking.
            ready_ = false;
            terminated_ = true;
            ADD_FAILURE() << "set-up with worker threads did not return";
            return;
        }
        waitForWorkers();
    }
    ~Meter() {
        if (terminated_) return;
        if (!workers_) {
            loudness_->terminate();
            return;
        }
        // Stopping the workers must not hang the whole run.
        if (!finishesWithin(kShutdownLimit, [l = loudness_] { l->terminate(); }))
            ADD_FAILURE() << "terminate did not return";
    }
    Meter(const Meter&) = delete;
    Meter& operator=(const Meter&) = delete;

    Loudness& operator*() { return *loudness_; }
    Loudness* operator->() { return loudness_.get(); }
    std::shared_ptr<Loudness> shared() { return loudness_; }
    // Hands the analysis over to the caller, who shuts it down.
    std::shared_ptr<Loudness> release() {
        terminated_ = true;
        ready_ = false;
        return std::move(loudness_);
    }

    // After a change of channel count made by the test.
    void resizeBuffers(int32_t channels) {
        buffers_.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(maxBlock_)));
        pointers_.clear();
        for (auto& b : buffers_) pointers_.push_back(b.data());
    }

    // Plays samples of a sine at frequency with one linear peak per channel (0:
    // silent), in blocks of blockSize; the phase runs on across calls. With
    // workers, waits for both collectors after every call so that no window
    // is dropped. zeroCallsPerBlock empty calls follow every block.
    void play(double frequency, const std::vector<double>& peaks, int64_t samples, int32_t blockSize,
              int32_t zeroCallsPerBlock = 0) {
        ASSERT_TRUE(ready_);
        ASSERT_EQ(peaks.size(), buffers_.size());
        ASSERT_LE(blockSize, maxBlock_);
        const double step = 2.0 * std::numbers::pi * frequency / sampleRate_;
        while (samples > 0) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(samples, blockSize));
            for (int32_t i = 0; i < n; ++i) {
                const double s = std::sin(phase_);
                phase_ += step;
                if (phase_ >= 2.0 * std::numbers::pi) phase_ -= 2.0 * std::numbers::pi;
                for (size_t c = 0; c < buffers_.size(); ++c) buffers_[c][static_cast<size_t>(i)] = float(s * peaks[c]);
            }
            loudness_->analyze(pointers_.data(), n);
            for (int32_t z = 0; z < zeroCallsPerBlock; ++z) loudness_->analyze(pointers_.data(), 0);
            if (workers_ && waitAfterEachCall_) {
                waitForWorkers();
                if (::testing::Test::HasFatalFailure()) return;
            }
            samples -= n;
        }
    }

    // The same peak on every channel.
    std::vector<double> everyChannel(double peak) const { return std::vector<double>(buffers_.size(), peak); }
    std::vector<double> onlyChannel(int32_t channel, double peak) const {
        std::vector<double> p(buffers_.size(), 0.0);
        p[static_cast<size_t>(channel)] = peak;
        return p;
    }
    int64_t samplesFor(double seconds) const { return std::llround(seconds * sampleRate_); }

    // A programme of 1 kHz stretches on every channel.
    void playProgramme(const std::vector<Tone>& tones, int32_t blockSize) {
        for (const Tone& t : tones) {
            play(1000.0, everyChannel(linearFromDb(t.peakDb)), samplesFor(t.seconds), blockSize);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }

    void setWaitAfterEachCall(bool wait) { waitAfterEachCall_ = wait; }

    bool ready() const { return ready_; }

    void waitForWorkers() {
        ASSERT_TRUE(ready_);
        loudness_->integratedCollector()->waitForWorker();
        loudness_->rangeCollector()->waitForWorker();
    }

private:
    double sampleRate_;
    int32_t maxBlock_;
    bool workers_;
    bool ready_ = true;
    bool waitAfterEachCall_ = true;
    bool terminated_ = false;
    double phase_ = 0.0;
    std::shared_ptr<Loudness> loudness_;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
};

} // namespace DSP::testing
