#pragma once
// A host for stress runs: one processor made through the module's exported
// factory, driven through its interfaces only, whose set-up (rate, largest
// block, channel count) can change between blocks as a host changes it:
// processing and activation off first, then arrangement and set-up, then on
// again. Every buffer and list is sized when the set-up changes, none while
// blocks run.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "StressSignal.h"

#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "host/MeterReadings.h"
#include "host/ParameterChanges.h"
#include "host/PluginModule.h"
#include "tests/ModuleSuite.h"
#include "host/ProcessingSession.h"
#include "host/StandInPeer.h"
#include "interfaces/IAudioProcessor.h"
#include "interfaces/IComponent.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceIds.h"

namespace NivoloStress {

using namespace Zel;
using NivoloHost::HostContext;
using NivoloHost::MemoryStream;
using NivoloHost::MeterReadings;
using NivoloHost::ParameterChanges;
using NivoloHost::PluginModule;
using NivoloHost::ProcessingSession;
using NivoloHost::StandInPeer;

inline constexpr TUID kProcessorClass = tuidFromRegistry("{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");

// Parameter ids as the host addresses them.
inline constexpr ParamID kBypass = 0;
inline constexpr ParamID kResetLoudness = 4;
inline constexpr ParamID kResetMaxima = 5;
inline constexpr ParamID kResetTruePeak = 7;
inline constexpr ParamID kUnitSwitch = 48;
// Readings that are states, 0.0 or 1.0.
inline constexpr ParamID kBelowRelativeGate = 45;
inline constexpr ParamID kTruePeakOver = 46;
inline constexpr ParamID kIntegratedOver = 47;

struct HostSetup {
    double sampleRate = 48000.0;
    int32_t maxBlock = 1024;
    int32_t channels = 2;
    int32_t processMode = kRealtime;
};

inline std::string describe(const HostSetup& s) {
    return std::to_string(s.channels) + " channels at " + std::to_string(static_cast<int64_t>(s.sampleRate)) +
           " Hz, blocks up to " + std::to_string(s.maxBlock);
}

class StressProcessor {
public:
    StressProcessor() = default;
    ~StressProcessor() { destroy(); }
    StressProcessor(const StressProcessor&) = delete;
    StressProcessor& operator=(const StressProcessor&) = delete;

    // Created, initialised and connected to a stand-in controller; not yet set up.
    bool create(IPluginFactory* factory, std::string& error) {
        destroy();
        void* raw = nullptr;
        if (!factory || factory->createInstance(kProcessorClass, IComponent_iid, &raw) != kResultOk || !raw) {
            error = "the factory made no processor";
            return false;
        }
        component_ = IPtr<IComponent>::adopt(static_cast<IComponent*>(raw));
        processor_ = queryInterface<IAudioProcessor>(component_.get());
        connection_ = queryInterface<IConnectionPoint>(component_.get());
        host_ = IPtr<HostContext>::adopt(new HostContext);
        if (!processor_ || !connection_ || component_->initialize(static_cast<IHostApp*>(host_.get())) != kResultOk) {
            error = "the processor did not initialise";
            processor_.reset();
            connection_.reset();
            component_.reset();
            return false;
        }
        initialised_ = true;
        peer_ = IPtr<StandInPeer>::adopt(new StandInPeer(host_.get()));
        connection_->connect(peer_.get());
        peer_->connect(connection_.get());
        inputChanges_ = IPtr<ParameterChanges>::adopt(new ParameterChanges);
        outputChanges_ = IPtr<ParameterChanges>::adopt(new ParameterChanges);
        return true;
    }

    // The host's order: processing and activation off, the arrangement offered
    // (and read back when refused), the set-up, the buses on, activation and
    // processing on.
    bool configure(const HostSetup& setup, std::string& error) {
        stop();
        const SpeakerArrangement arrangement = ProcessingSession::arrangementFor(setup.channels);
        SpeakerArrangement in = arrangement, out = arrangement;
        if (processor_->offerArrangements(&in, 1, &out, 1) != kResultOk) {
            error = "the processor refused " + std::to_string(setup.channels) + " channels";
            return false;
        }
        ProcessSetupInfo info{setup.processMode, kSample32, setup.maxBlock, setup.sampleRate};
        if (processor_->prepareProcessing(info) != kResultOk) {
            error = "the processor refused the set-up " + describe(setup);
            return false;
        }
        component_->setBusActive(kAudio, kInput, 0, 1);
        component_->setBusActive(kAudio, kOutput, 0, 1);
        setup_ = setup;
        silence_.assign(static_cast<size_t>(setup.maxBlock), 0.0f);
        silenceChannels_.assign(static_cast<size_t>(setup.channels), silence_.data());
        transport_ = TransportContext{};
        transport_.sampleRate = setup.sampleRate;
        transport_.tempo = 120.0;
        start();
        return true;
    }

    void start() {
        if (running_ || !processor_) return;
        component_->setActive(1);
        processor_->setProcessingState(1);
        running_ = true;
    }
    void stop() {
        if (!running_) return;
        processor_->setProcessingState(0);
        component_->setActive(0);
        running_ = false;
    }

    // Deactivated, terminated, disconnected, released.
    void destroy() {
        stop();
        if (initialised_) component_->terminate();
        forget();
    }
    // Only disconnected and released, whatever state the processor is in: a
    // host that skips the rest of the teardown (the last release must clean up).
    void forget() {
        running_ = false;
        initialised_ = false;
        if (connection_ && peer_) {
            connection_->disconnect(peer_.get());
            peer_->disconnect(connection_.get());
        }
        connection_.reset();
        processor_.reset();
        component_.reset();
        peer_.reset();
        host_.reset();
    }

    // One block of n <= maxBlock samples with the queued input changes and an
    // output list for the readings; the input changes are emptied afterwards.
    // A block in the set-up's process mode, or in the one given.
    tresult process(float* const* in, float* const* out, int32_t n, int32_t mode = -1) {
        AudioBufferSet inputs{setup_.channels, 0, const_cast<float**>(in)};
        AudioBufferSet outputs{setup_.channels, 0, const_cast<float**>(out)};
        outputChanges_->clear();
        transport_.state = TransportContext::kPlaying;
        transport_.projectTimeSamples = position_;
        ProcessBlock block{};
        block.processMode = mode >= 0 ? mode : setup_.processMode;
        block.sampleSizeCode = kSample32;
        block.numSamples = n;
        block.numInputs = 1;
        block.numOutputs = 1;
        block.inputs = &inputs;
        block.outputs = &outputs;
        block.inputChanges = inputChanges_.get();
        block.outputChanges = outputChanges_.get();
        block.transport = &transport_;
        const tresult result = processor_->process(block);
        inputChanges_->clear();
        position_ += n;
        return result;
    }
    // A block without audio: the changes are applied and a pending request answered.
    tresult processNothing() { return process(silenceChannels_.data(), silenceChannels_.data(), 0); }

    void changeParameter(ParamID id, double normalized) { inputChanges_->addChange(id, 0, normalized); }
    bool requestData() { return peer_->requestData(); }

    // The readings of the last block, as the host hands them to a controller.
    void collect(MeterReadings& readings) {
        for (int32_t q = 0; q < outputChanges_->getParameterCount(); ++q) {
            IParamQueue* queue = outputChanges_->queueAt(q);
            double value = 0.0;
            if (queue && queue->pointCount() > 0 &&
                queue->readPoint(queue->pointCount() - 1, nullptr, &value) == kResultOk)
                readings.apply(queue->getParameterId(), value);
        }
    }

    IComponent* component() const { return component_.get(); }
    IAudioProcessor* processor() const { return processor_.get(); }
    IConnectionPoint* connection() const { return connection_.get(); }
    StandInPeer& peer() { return *peer_; }
    HostContext& host() { return *host_; }
    ParameterChanges& outputChanges() { return *outputChanges_; }
    const HostSetup& setup() const { return setup_; }
    bool isRunning() const { return running_; }

private:
    IPtr<IComponent> component_;
    IPtr<IAudioProcessor> processor_;
    IPtr<IConnectionPoint> connection_;
    IPtr<HostContext> host_;
    IPtr<StandInPeer> peer_;
    IPtr<ParameterChanges> inputChanges_;
    IPtr<ParameterChanges> outputChanges_;
    TransportContext transport_{};
    HostSetup setup_;
    std::vector<float> silence_;
    std::vector<float*> silenceChannels_;
    int64_t position_ = 0;
    bool initialised_ = false;
    bool running_ = false;
};

// Empty when every value written to the output list is finite and normalized
// (0 to 1) and the state readings are exactly 0 or 1; otherwise what is wrong.
inline std::string readingProblem(ParameterChanges& changes) {
    for (int32_t q = 0; q < changes.getParameterCount(); ++q) {
        IParamQueue* queue = changes.queueAt(q);
        if (!queue) continue;
        const ParamID id = queue->getParameterId();
        for (int32_t p = 0; p < queue->pointCount(); ++p) {
            double value = 0.0;
            if (queue->readPoint(p, nullptr, &value) != kResultOk) return "unreadable point of " + std::to_string(id);
            if (!std::isfinite(value) || value < 0.0 || value > 1.0)
                return "reading " + std::to_string(id) + " = " + std::to_string(value) + " (not normalized)";
            if ((id == kBelowRelativeGate || id == kTruePeakOver || id == kIntegratedOver) && value != 0.0 &&
                value != 1.0)
                return "state reading " + std::to_string(id) + " = " + std::to_string(value);
        }
    }
    return {};
}

// Plays seconds of the signal in 10 ms blocks rendered offline (every window
// evaluated, whatever the workers were doing), then one more block and reads
// what the processor reports.
inline MeterReadings playAndRead(StressProcessor& processor, StressSignal& signal, double seconds) {
    const double rate = processor.setup().sampleRate;
    const auto block = static_cast<int32_t>(rate / 100.0);
    const auto blocks = static_cast<int64_t>(std::llround(seconds * 100.0));
    for (int64_t b = 1; b <= blocks; ++b) {
        float* const* audio = signal.next(block);
        processor.process(audio, audio, block, kOffline);
    }
    float* const* audio = signal.next(block);
    processor.process(audio, audio, block, kOffline);
    processor.requestData();
    processor.processNothing();
    MeterReadings readings;
    processor.collect(readings);
    return readings;
}

// The loudness of a 1 kHz sine of peak amplitude a on channels whose weights
// add up to w (1 per channel, 0 for LFE, 1.41 for the surrounds): the
// K-weighting passes 1 kHz with the gain the -0.691 dB term takes back,
// leaving 10 log10(w a^2 / 2).
inline double sineLoudness(double amplitude, double weightSum) {
    return 10.0 * std::log10(weightSum * amplitude * amplitude / 2.0);
}

using ::ModuleSuite;

} // namespace NivoloStress
