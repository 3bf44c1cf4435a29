#pragma once
// What the signal tests share: a sine source whose phase runs on across host
// blocks, the meter set up as the processor sets it up (its windows evaluated
// in place), bit-for-bit comparison and the vector tables.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaru.h"
#include "dsp/VectorOps.h"

namespace DSP::testing {

using Channels = std::vector<std::vector<float>>;

inline std::vector<float*> pointers(Channels& channels, size_t offset = 0) {
    std::vector<float*> p;
    for (auto& c : channels) p.push_back(c.data() + offset);
    return p;
}

inline double amplitudeOf(double dbfs) { return std::pow(10.0, dbfs / 20.0); }
// The mean square whose block loudness is lufs.
inline float meanSquareFor(double lufs) { return static_cast<float>(std::pow(10.0, (lufs + 0.691) / 10.0)); }

inline ::testing::AssertionResult sameBits(const float* expected, const float* actual, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0)
            return ::testing::AssertionFailure() << "sample " << i << " of " << n << ": expected " << expected[i]
                                                 << ", got " << actual[i];
    return ::testing::AssertionSuccess();
}

// Stretches of one sine, one peak per channel (0: silent). The start phase
// keeps every sample well away from 0, so no block of it looks silent.
class Sine {
public:
    Sine(double rate, int32_t channels, int32_t maxBlock, double frequency = 1000.0)
        : step_(2.0 * std::numbers::pi * frequency / rate),
          buffers_(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(maxBlock))),
          pointers_(pointers(buffers_)) {}

    float** next(int32_t n, const std::vector<double>& peaks) {
        for (int32_t i = 0; i < n; ++i, ++position_) {
            const double s = std::sin(0.3 + step_ * static_cast<double>(position_));
            for (size_t c = 0; c < buffers_.size(); ++c)
                buffers_[c][static_cast<size_t>(i)] = static_cast<float>(peaks[c] * s);
        }
        return pointers_.data();
    }
    float** next(int32_t n, double peak) { return next(n, std::vector<double>(buffers_.size(), peak)); }

private:
    double step_;
    int64_t position_ = 0;
    Channels buffers_;
    std::vector<float*> pointers_;
};

// A stretch of a programme: seconds of the sine at a peak in dBFS on every channel.
struct Tone {
    double seconds;
    double dbfs;
};

// The meter as the processor drives it offline, without workers: loudness on,
// in the processor's floating-point mode.
class MeterRig {
public:
    MeterRig(double rate, int32_t channels, int32_t maxBlock = 8192, uint64_t arrangement = 0, double frequency = 1000.0)
        : guard_(std::make_unique<DenormalGuard>()),
          meter(std::make_unique<VazEzaru>(rate, static_cast<uint32_t>(maxBlock), false)),
          sine(rate, channels, maxBlock, frequency),
          rate_(rate),
          maxBlock_(maxBlock),
          out_(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(maxBlock))),
          outPointers_(pointers(out_)) {
        meter->initialize();
        const uint64_t layout = arrangement ? arrangement : (uint64_t{1} << channels) - 1;
        EXPECT_EQ(meter->setChannelsAndArrangement(channels, channels, 0, layout), 0);
        meter->setValue(kValueLoudnessEnabled, 1.0);
    }
    ~MeterRig() { meter->terminate(); }

    void process(float** in, int32_t n) { meter->process(in, outPointers_.data(), n); }
    int64_t samplesFor(double seconds) const { return std::llround(seconds * rate_); }
    // The stretches on every channel, from the rig's sine or another, in blocks of blockSize across them.
    void play(const std::vector<Tone>& tones, int32_t blockSize, Sine* source = nullptr) {
        Channels programme(out_.size());
        for (const Tone& t : tones)
            for (int64_t left = samplesFor(t.seconds); left > 0; left -= maxBlock_) {
                const auto n = static_cast<int32_t>(std::min<int64_t>(left, maxBlock_));
                float** samples = (source ? *source : sine).next(n, amplitudeOf(t.dbfs));
                for (size_t c = 0; c < programme.size(); ++c) programme[c].insert(programme[c].end(), samples[c], samples[c] + n);
            }
        for (size_t at = 0; at < programme[0].size(); at += static_cast<size_t>(blockSize))
            process(pointers(programme, at).data(), static_cast<int32_t>(std::min<size_t>(blockSize, programme[0].size() - at)));
    }
    double value(int32_t id) const { return meter->getValue(id); }
    // Every reading the meter answers, in a fixed order (RMS per channel last).
    std::vector<double> readings() const {
        std::vector<double> r;
        for (int32_t id : kReadingIds) r.push_back(value(id));
        for (int32_t c = 0; c < meter->channelCount(); ++c) r.push_back(value(kValueRmsFirst + c));
        return r;
    }
    static constexpr int32_t kReadingIds[] = {kValueMomentary,     kValueShortTerm,    kValueIntegrated,
                                              kValueMomentaryMax,  kValueShortTermMax, kValueLoudnessRange,
                                              kValueTruePeak,      kValueTruePeakChannel0, kValueBelowRelativeGate,
                                              kValueRangeHigh,     kValueRangeLow,     kValueRmsOverall};
    static constexpr size_t kFirstRms = 11; // readings from here on are RMS values

private:
    std::unique_ptr<DenormalGuard> guard_; // first in, last out

public:
    std::unique_ptr<VazEzaru> meter;
    Sine sine;

private:
    double rate_;
    int32_t maxBlock_;
    Channels out_;
    std::vector<float*> outPointers_;
};

// ---- Vector tables ---------------------------------------------------------------

inline constexpr VectorOpsKind kAllTables[] = {VectorOpsKind::kScalar, VectorOpsKind::kSse2, VectorOpsKind::kAvx2,
                                               VectorOpsKind::kAvx512};

} // namespace DSP::testing
