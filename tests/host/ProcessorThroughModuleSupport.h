#pragma once
// What the processor tests share: the built module loaded once per suite,
// processor instances made through its factory, test signals, and the output
// parameter list read back as a host sees it.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "host/MeterReadings.h"
#include "host/ParameterChanges.h"
#include "host/PluginModule.h"
#include "host/ProcessingSession.h"
#include "host/StandInPeer.h"
#include "interfaces/IAudioProcessor.h"
#include "interfaces/IComponent.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceIds.h"

namespace ProcessorThroughModule {

using namespace Zel;
using NivoloHost::HostContext;
using NivoloHost::MemoryStream;
using NivoloHost::MeterReadings;
using NivoloHost::ParameterChanges;
using NivoloHost::PluginModule;
using NivoloHost::ProcessingSession;
using NivoloHost::StandInPeer;
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

// Loads the module once for every suite built on it.
class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = new PluginModule;
        if (!module_->load(NIVOLO_MODULE_PATH, loadError_)) {
            delete module_;
            module_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete module_;
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << loadError_; }

    static IPluginFactory* factory() { return module_->factory(); }

    // An active stereo processor at 48 kHz (unless the options say otherwise).
    static bool open(ProcessingSession& session, ProcessingSession::Options options = {}) {
        std::string error;
        const bool opened = session.open(factory(), kProcessorClass, options, error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }

    static inline PluginModule* module_ = nullptr;
    static inline std::string loadError_;
};

// One processor made through the factory and initialised, connected to a
// stand-in peer, and nothing more: for the calls a host makes before
// processing is set up.
class BareProcessor {
public:
    explicit BareProcessor(IPluginFactory* factory) {
        void* raw = nullptr;
        if (!factory || factory->createInstance(kProcessorClass, IComponent_iid, &raw) != kResultOk || !raw) return;
        component_ = IPtr<IComponent>::adopt(static_cast<IComponent*>(raw));
        processor_ = queryInterface<IAudioProcessor>(component_.get());
        connection_ = queryInterface<IConnectionPoint>(component_.get());
        host_ = IPtr<HostContext>::adopt(new HostContext);
        if (component_->initialize(static_cast<IHostApp*>(host_.get())) != kResultOk) {
            processor_.reset();
            connection_.reset();
            component_.reset();
            return;
        }
        initialised_ = true;
        peer_ = IPtr<StandInPeer>::adopt(new StandInPeer(host_.get()));
        if (connection_) {
            connection_->connect(peer_.get());
            peer_->connect(connection_.get());
        }
    }
    ~BareProcessor() {
        if (peer_ && connection_) {
            connection_->disconnect(peer_.get());
            peer_->disconnect(connection_.get());
        }
        if (initialised_) component_->terminate();
    }
    BareProcessor(const BareProcessor&) = delete;
    BareProcessor& operator=(const BareProcessor&) = delete;

    bool ok() const { return initialised_ && processor_ && connection_; }
    IComponent* component() const { return component_.get(); }
    IAudioProcessor* processor() const { return processor_.get(); }
    StandInPeer& peer() { return *peer_; }

private:
    IPtr<IComponent> component_;
    IPtr<IAudioProcessor> processor_;
    IPtr<IConnectionPoint> connection_;
    IPtr<HostContext> host_;
    IPtr<StandInPeer> peer_;
    bool initialised_ = false;
};

inline Bytes saveState(IComponent* component) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    EXPECT_EQ(component->getState(stream.get()), kResultOk);
    return stream->bytes();
}

inline tresult restoreState(IComponent* component, const Bytes& bytes) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
    return component->setState(stream.get());
}

// A multichannel block source: the same sine on every channel, continuous
// across blocks (the phase is taken from the sample index, so long signals do
// not drift), optionally with a little deterministic noise on top.
class Signal {
public:
    Signal(int32_t channels, double amplitude, double frequency = 997.0, double noise = 0.0)
        : channels_(channels), amplitude_(amplitude), frequency_(frequency), noise_(noise),
          buffers_(static_cast<size_t>(channels)), pointers_(static_cast<size_t>(channels)) {}

    float* const* next(int32_t n) {
        for (int32_t c = 0; c < channels_; ++c) {
            auto& buffer = buffers_[static_cast<size_t>(c)];
            buffer.resize(static_cast<size_t>(n));
            for (int32_t i = 0; i < n; ++i) {
                const double t = static_cast<double>(position_ + i) / kRate;
                double x = amplitude_ * std::sin(2.0 * M_PI * frequency_ * t);
                if (noise_ > 0.0) x += noise_ * (nextRandom() - 0.5) * (c + 1);
                buffer[static_cast<size_t>(i)] = static_cast<float>(x);
            }
            pointers_[static_cast<size_t>(c)] = buffer.data();
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

// Buffers a test owns for the processor's output, pre-filled with a value no
// input contains so that untouched samples show.
class OutputBuffers {
public:
    static constexpr float kUntouched = -7.25f;

    OutputBuffers(int32_t channels, int32_t size)
        : buffers_(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(size), kUntouched)),
          pointers_(static_cast<size_t>(channels)) {
        for (size_t c = 0; c < buffers_.size(); ++c) pointers_[c] = buffers_[c].data();
    }
    float* const* pointers() { return pointers_.data(); }
    float** mutablePointers() { return pointers_.data(); }
    const std::vector<float>& channel(int32_t c) const { return buffers_[static_cast<size_t>(c)]; }
    void fill(float value) {
        for (auto& b : buffers_) std::fill(b.begin(), b.end(), value);
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

// Sends the signal in 10 ms blocks for the given time. After every 100 ms of
// audio the test pauses briefly, as a real-time host would: the loudness core
// drops a window that reaches a worker still busy with the previous one.
inline void feed(ProcessingSession& session, Signal& signal, double seconds) {
    const auto blocks = static_cast<int64_t>(std::llround(seconds * kRate / kTenMs));
    for (int64_t b = 1; b <= blocks; ++b) {
        float* const* in = signal.next(kTenMs);
        session.processBlock(in, in, kTenMs);
        if (b % 10 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
}

// Lets the workers finish, carries their results into the meter with one more
// block of the signal, then asks for the readings and collects them with an
// empty block (which may also carry queued parameter changes).
inline void settleAndRead(ProcessingSession& session, Signal& signal) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    float* const* in = signal.next(kTenMs);
    session.processBlock(in, in, kTenMs);
    session.requestData();
    session.processNothing();
}

// The value written for id in the last block's output list; NaN when absent.
inline double outputValue(ProcessingSession& session, ParamID id) {
    double value = 0.0;
    return session.lastOutputChanges().lastValue(id, value) ? value : std::nan("");
}

inline double plainReading(ProcessingSession& session, ParamID id) {
    return MeterReadings::readingFromNormalized(outputValue(session, id));
}

} // namespace ProcessorThroughModule
