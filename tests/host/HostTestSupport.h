#pragma once
// What the host tests share: the built module loaded once per suite, processor
// instances made through its factory, test signals, hand-made process calls,
// saved states taken apart, and the output parameters read back as a host
// sees them.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "host/MeterReadings.h"
#include "host/ParameterChanges.h"
#include "host/PluginModule.h"
#include "tests/ModuleSuite.h"
#include "host/ProcessingSession.h"
#include "interfaces/IAudioProcessor.h"
#include "interfaces/IComponent.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceIds.h"

namespace HostTest {

using namespace Zel;
using NivoloHost::HostContext;
using NivoloHost::MemoryStream;
using NivoloHost::MeterReadings;
using NivoloHost::ParameterChanges;
using NivoloHost::PluginModule;
using NivoloHost::ProcessingSession;
using Bytes = std::vector<uint8_t>;

inline constexpr TUID kProcessorClass = tuidFromRegistry("{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");

// Parameter ids as the host addresses them.
inline constexpr ParamID kBypass = 0;
inline constexpr ParamID kResetLoudness = 4;
inline constexpr ParamID kResetTruePeak = 7;
inline constexpr ParamID kUnitSwitch = 48;

// The readings of one answered request, in the order they must arrive.
inline const std::vector<ParamID> kReadingOrder = {1, 2, 3, 47, 8, 9, 10, 45, 11, 46, 51, 52, 53};

inline constexpr double kRate = 48000.0;
inline constexpr int32_t kTenMs = 480;

inline double dbToAmplitude(double db) { return std::pow(10.0, db / 20.0); }

// An object's reference count as seen through its own AddRef/Release.
inline uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

// Loads the module once for every suite built on it.
class ModuleTest : public ModuleSuite {
protected:
    // An active stereo processor at 48 kHz (unless the options say otherwise).
    static bool open(ProcessingSession& session, ProcessingSession::Options options = {}) {
        std::string error;
        const bool opened = session.open(factory(), kProcessorClass, options, error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }
};

// ---- saved states ------------------------------------------------------------------
// A 4-byte length word, then one 140-byte record per parameter: its name in
// 128 bytes, its id at 128 and its value (a double) at 132.

inline constexpr size_t kStateSize = 1684;
inline constexpr size_t kRecordSize = 140;

inline Bytes saveState(IComponent* component) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    EXPECT_EQ(component->getState(stream.get()), kResultOk);
    return stream->bytes();
}

inline tresult restoreState(IComponent* component, const Bytes& bytes) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
    return component->setState(stream.get());
}

// id -> value of every record, and the ids in the order they were saved.
inline std::map<int32_t, double> recordsOf(const Bytes& state, std::vector<int32_t>* order = nullptr) {
    std::map<int32_t, double> values;
    for (size_t at = 4; at + kRecordSize <= state.size(); at += kRecordSize) {
        int32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, state.data() + at + 128, 4);
        std::memcpy(&value, state.data() + at + 132, 8);
        values[id] = value;
        if (order) order->push_back(id);
    }
    return values;
}

// ---- signals -------------------------------------------------------------------------

// The same sine on every channel, continuous across blocks (the phase comes
// from the sample index, so long signals do not drift), optionally with a
// little deterministic noise on top.
class Signal {
public:
    Signal(int32_t channels, double amplitude, double frequency = 997.0, double noise = 0.0)
        : channels_(channels), amplitude_(amplitude), frequency_(frequency), noise_(noise),
          buffers_(static_cast<size_t>(channels)), pointers_(static_cast<size_t>(channels)) {}

    float* const* next(int32_t n) {
        for (size_t c = 0; c < buffers_.size(); ++c) {
            buffers_[c].resize(static_cast<size_t>(n));
            for (int32_t i = 0; i < n; ++i) {
                double x = amplitude_ * std::sin(2.0 * M_PI * frequency_ * static_cast<double>(position_ + i) / kRate);
                if (noise_ > 0.0) x += noise_ * (nextRandom() - 0.5) * static_cast<double>(c + 1);
                buffers_[c][static_cast<size_t>(i)] = static_cast<float>(x);
            }
            pointers_[c] = buffers_[c].data();
        }
        position_ += n;
        return pointers_.data();
    }

private:
    double nextRandom() {
        seed_ = seed_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(seed_ >> 11) / 9007199254740992.0;
    }

    int32_t channels_;
    double amplitude_, frequency_, noise_;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
    int64_t position_ = 0;
    uint64_t seed_ = 0x2545F4914F6CDD1Dull;
};

// Output buffers pre-filled with a value no input contains, so that untouched
// samples show.
class OutputBuffers {
public:
    static constexpr float kUntouched = -7.25f;

    OutputBuffers(int32_t channels, int32_t size)
        : buffers_(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(size), kUntouched)),
          pointers_(static_cast<size_t>(channels)) {
        for (size_t c = 0; c < buffers_.size(); ++c) pointers_[c] = buffers_[c].data();
    }
    float* const* pointers() { return pointers_.data(); }
    const std::vector<float>& channel(int32_t c) const { return buffers_[static_cast<size_t>(c)]; }
    void reset() {
        for (auto& b : buffers_) std::fill(b.begin(), b.end(), kUntouched);
    }

private:
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
};

// True when the first n samples of every channel are the same bits.
inline bool sameBits(float* const* expected, const OutputBuffers& actual, int32_t channels, int32_t n) {
    for (int32_t c = 0; c < channels; ++c)
        if (std::memcmp(expected[c], actual.channel(c).data(), sizeof(float) * static_cast<size_t>(n)) != 0)
            return false;
    return true;
}

// A process call made by hand, for blocks the session would not send: its own
// mode, transport and silence flags, and its own output list.
struct RawBlock {
    RawBlock(int32_t channels, float* const* in, float* const* out, int32_t n, int32_t mode = kOffline)
        : inputs{channels, 0, const_cast<float**>(in)}, outputs{channels, 0, const_cast<float**>(out)} {
        block.processMode = mode;
        block.sampleSizeCode = kSample32;
        block.numSamples = n;
        block.numInputs = block.numOutputs = 1;
        block.inputs = &inputs;
        block.outputs = &outputs;
        block.outputChanges = outputChanges.get();
    }
    RawBlock(const RawBlock&) = delete;
    RawBlock& operator=(const RawBlock&) = delete;

    tresult run(IAudioProcessor* processor) {
        outputChanges->clear();
        return processor->process(block);
    }
    double value(ParamID id) const {
        double v = std::nan("");
        outputChanges->lastValue(id, v);
        return v;
    }

    AudioBufferSet inputs, outputs;
    IPtr<ParameterChanges> outputChanges = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    ProcessBlock block{};
};

// ---- driving a session ---------------------------------------------------------------

// Sends the signal in 10 ms blocks for the given time, as fast as it goes
// (offline the meter evaluates every window whatever the pace).
inline void feed(ProcessingSession& session, Signal& signal, double seconds) {
    const auto blocks = static_cast<int64_t>(std::llround(seconds * kRate / kTenMs));
    for (int64_t b = 1; b <= blocks; ++b) {
        float* const* in = signal.next(kTenMs);
        session.processBlock(in, in, kTenMs);
    }
}

// Asks for the readings and collects them with an empty block (which also
// carries the queued parameter changes, ahead of the answer).
inline void readNow(ProcessingSession& session) {
    session.requestData();
    session.processNothing();
}

// One more block of the signal, then reads.
inline void settleAndRead(ProcessingSession& session, Signal& signal) {
    float* const* in = signal.next(kTenMs);
    session.processBlock(in, in, kTenMs);
    readNow(session);
}

// The value written for id in the last block's output list; NaN when absent.
inline double outputValue(ProcessingSession& session, ParamID id) {
    double value = 0.0;
    return session.lastOutputChanges().lastValue(id, value) ? value : std::nan("");
}

inline double plainReading(ProcessingSession& session, ParamID id) {
    return MeterReadings::readingFromNormalized(outputValue(session, id));
}

} // namespace HostTest
