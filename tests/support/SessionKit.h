#pragma once
// What the suites that run the built module through the host's own classes
// share: sessions opened through the module's factory, process calls made by
// hand for set-ups a session does not make, signals given by the sample index,
// and saved states read with the product's own codec.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "controller/ParameterIds.h"
#include "dsp/SavedState.h"
#include "host/MemoryStream.h"
#include "host/MeterReadings.h"
#include "host/ParameterChanges.h"
#include "host/ProcessingSession.h"
#include "module/ModuleIds.h"
#include "tests/ModuleSuite.h"

namespace SessionKit {

using namespace Zel;
using NivoloHost::MemoryStream;
using NivoloHost::MeterReadings;
using NivoloHost::ParameterChanges;
using NivoloHost::ProcessingSession;
using Bytes = std::vector<uint8_t>;

// The host may not include the module's headers: its own copy of the reading
// ids is tied to the controller's here, where both can be seen.
constexpr bool sameIds(std::initializer_list<std::pair<uint32_t, uint32_t>> pairs) {
    for (const auto& [host, controller] : pairs)
        if (host != controller) return false;
    return true;
}
static_assert(sameIds({{MeterReadings::kMomentary, Param::kLoudnessM},
                       {MeterReadings::kShortTerm, Param::kLoudnessS},
                       {MeterReadings::kIntegrated, Param::kLoudnessI},
                       {MeterReadings::kResetLoudness, Param::kResetLoudness},
                       {MeterReadings::kMomentaryMax, Param::kLoudnessMMax},
                       {MeterReadings::kShortTermMax, Param::kLoudnessSTMax},
                       {MeterReadings::kLoudnessRange, Param::kLoudnessRange},
                       {MeterReadings::kTruePeak, Param::kTruePeak},
                       {MeterReadings::kTruePeakOver, Param::kTruePeakOver},
                       {MeterReadings::kIntegratedOver, Param::kLoudnessIOver},
                       {MeterReadings::kUnitSwitch, Param::kScaleModeLoudness}}));

inline constexpr double kRate = 48000.0;

inline double amplitudeOf(double dbfs) { return std::pow(10.0, dbfs / 20.0); }

// Blocks of one buffer per channel, the samples given by their index in the
// stream, so that a signal runs on without a break from block to block.
class Signal {
public:
    using Wave = std::function<float(int64_t index, int32_t channel)>;

    Signal(int32_t channels, Wave wave)
        : wave_(std::move(wave)), buffers_(static_cast<size_t>(channels)), pointers_(static_cast<size_t>(channels)) {}
    // A sine of the given peak on every channel.
    static Signal sine(int32_t channels, double dbfs, double rate = kRate, double hertz = 997.0) {
        const double a = amplitudeOf(dbfs);
        return Signal(channels, [=](int64_t i, int32_t) {
            return static_cast<float>(a * std::sin(2.0 * M_PI * hertz * static_cast<double>(i) / rate));
        });
    }
    // Deterministic white noise of the given largest magnitude, different on every channel.
    static Signal noise(int32_t channels, double dbfs) {
        const double a = amplitudeOf(dbfs);
        return Signal(channels, [a](int64_t i, int32_t c) {
            uint64_t x = (static_cast<uint64_t>(i) << 4 | static_cast<uint64_t>(c)) * 0x9E3779B97F4A7C15ull;
            x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
            return static_cast<float>(a * (static_cast<double>(x >> 11) / 4503599627370496.0 - 1.0));
        });
    }

    float* const* next(int32_t n) {
        for (size_t c = 0; c < buffers_.size(); ++c) {
            if (buffers_[c].size() < static_cast<size_t>(n)) buffers_[c].resize(static_cast<size_t>(n));
            for (int32_t i = 0; i < n; ++i)
                buffers_[c][static_cast<size_t>(i)] = wave_(position_ + i, static_cast<int32_t>(c));
            pointers_[c] = buffers_[c].data();
        }
        position_ += n;
        return pointers_.data();
    }

private:
    Wave wave_;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
    int64_t position_ = 0;
};

// An active processor from the module's factory, stereo at 48 kHz offline
// unless the options say otherwise.
inline bool open(ProcessingSession& session, IPluginFactory* factory, ProcessingSession::Options options = {}) {
    std::string error;
    const bool opened = session.open(factory, kProcessorClassId, options, error);
    EXPECT_TRUE(opened) << error;
    return opened;
}

// Seconds of the signal in 10 ms blocks, in place.
inline void play(ProcessingSession& session, Signal& signal, double seconds) {
    const auto n = static_cast<int32_t>(session.options().sampleRate / 100.0);
    for (int64_t b = std::llround(seconds * 100.0); b > 0; --b) {
        float* const* x = signal.next(n);
        session.processBlock(x, x, n);
    }
}

// Asks for the readings as the controller does; a block without audio brings
// the queued parameter changes ahead of the answer.
inline const MeterReadings& read(ProcessingSession& session) {
    session.requestData();
    session.processNothing();
    return session.readings();
}

// A process call made by hand, for blocks a session does not send: after the
// test set the processor up again itself, or with another mode or transport.
inline tresult processRaw(IAudioProcessor* processor, int32_t channels, float* const* in, float* const* out,
                          int32_t n, int32_t mode, ParameterChanges* changes = nullptr,
                          ParameterChanges* outputs = nullptr, TransportContext* transport = nullptr) {
    AudioBufferSet inBus{channels, 0, const_cast<float**>(in)}, outBus{channels, 0, const_cast<float**>(out)};
    ProcessBlock block{mode, kSample32, n, 1, 1, &inBus, &outBus, changes, outputs, nullptr, nullptr, transport};
    if (outputs) outputs->clear();
    const tresult result = processor->process(block);
    if (changes) changes->clear();
    return result;
}

// The readings an output list carries, as the host decodes them.
inline MeterReadings readingsOf(ParameterChanges& list) {
    MeterReadings readings;
    for (int32_t q = 0; q < list.getParameterCount(); ++q) {
        IParamQueue* queue = list.queueAt(q);
        double value = 0.0;
        if (queue->readPoint(queue->pointCount() - 1, nullptr, &value) == kResultOk)
            readings.apply(queue->getParameterId(), value);
    }
    return readings;
}

inline Bytes saveState(IComponent* component) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    EXPECT_EQ(component->getState(stream.get()), kResultOk);
    return stream->bytes();
}

inline tresult restoreState(IComponent* component, const Bytes& bytes) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
    return component->setState(stream.get());
}

// id -> value of every record of a saved state, read with the product's codec.
inline std::map<uint32_t, double> valuesOf(const Bytes& bytes) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
    int32_t length = 0;
    std::map<uint32_t, double> values;
    DSP::ValueRecord record{};
    if (!DSP::SavedState::readByteCount(stream.get(), length)) return values;
    for (int32_t r = 0; r < DSP::SavedState::recordCount(length); ++r)
        if (DSP::SavedState::readRecord(stream.get(), record)) values[record.id] = record.value;
    return values;
}

} // namespace SessionKit
