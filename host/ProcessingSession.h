#pragma once
// Drives one processor instance as a host does: creates it through the
// factory, initialises it with the host context, connects it to a peer,
// negotiates the arrangement, prepares processing, activates it, and sends
// blocks with a playing transport, input parameter changes and an output list
// for the readings.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/HostContext.h"
#include "host/MeterReadings.h"
#include "host/ParameterChanges.h"
#include "host/StandInPeer.h"
#include "interfaces/IAudioProcessor.h"
#include "interfaces/IComponent.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/IPluginFactory.h"
#include "interfaces/IPtr.h"

namespace NivoloHost {

class ProcessingSession {
public:
    struct Options {
        double sampleRate = 48000.0;
        int32_t channels = 2;
        // The speakers the channels feed, one set bit per channel (0: arrangementFor(channels)).
        Zel::SpeakerArrangement arrangement = 0;
        int32_t blockSize = 1024;
        int32_t processMode = Zel::kOffline;
        bool transportPlaying = true;
        // The host context to initialise the processor with (null: a plain one of our own).
        HostContext* host = nullptr;
        // The processor's message peer: the edit controller's connection point
        // (null: our stand-in, which asks for readings and records "time").
        Zel::IConnectionPoint* peer = nullptr;
        // Receives every output parameter value of every block, in order (the
        // host delivers them to the edit controller this way).
        std::function<void(Zel::ParamID id, double normalized)> outputSink;
        // Every process call runs under the audio-thread guard, even when the
        // guard is not enabled for the whole program (AudioThreadGuard).
        bool audioGuard = false;
    };

    ProcessingSession() = default;
    ~ProcessingSession() { close(); }
    ProcessingSession(const ProcessingSession&) = delete;
    ProcessingSession& operator=(const ProcessingSession&) = delete;

    // Everything up to an active processor. False with a one-line reason.
    bool open(Zel::IPluginFactory* factory, const Zel::TUID& processorClass, const Options& options,
              std::string& error);
    // setActive(false), terminate, release. Safe to repeat.
    void close();

    // The speaker arrangement this host offers for a channel count (1..14):
    // the usual layouts, 5.1 as L R C LFE Ls Rs.
    static Zel::SpeakerArrangement arrangementFor(int32_t channels);

    // Queues a parameter change for the next block.
    void changeParameter(Zel::ParamID id, double normalized);
    // Asks for the readings (through the peer, as the controller does).
    void requestData() { peer_->requestData(); }
    // [audio thread: the first caller after open is it] One block of numSamples
    // (<= blockSize) per-channel samples; out may alias in. The readings written
    // by the processor land in readings().
    Zel::tresult processBlock(float* const* in, float* const* out, int32_t numSamples);
    // A block without audio: parameter changes and readings only.
    Zel::tresult processNothing();

    const MeterReadings& readings() const { return readings_; }
    MeterReadings& readings() { return readings_; }
    StandInPeer& peer() { return *peer_; }
    HostContext& host() { return *host_; }
    Zel::IAudioProcessor* processor() const { return processor_.get(); }
    Zel::IComponent* component() const { return component_.get(); }
    const Options& options() const { return options_; }
    Zel::SpeakerArrangement arrangement() const { return arrangement_; }
    int64_t samplesProcessed() const { return position_; }
    // The output changes of the last block, for tests.
    ParameterChanges& lastOutputChanges() { return *outputChanges_; }
    void setTransportPlaying(bool playing) { options_.transportPlaying = playing; }
    Zel::TransportContext& transport() { return transport_; }

private:
    Zel::tresult run(float* const* in, float* const* out, int32_t numSamples);
    void collectReadings();

    Options options_;
    Zel::IPtr<HostContext> host_;
    Zel::IPtr<StandInPeer> peer_;
    Zel::IPtr<Zel::IConnectionPoint> externalPeer_;
    Zel::IPtr<Zel::IConnectionPoint> exemptPeer_; // the stand-in as the processor sees it
    Zel::IPtr<Zel::IComponent> component_;
    Zel::IPtr<Zel::IAudioProcessor> processor_;
    Zel::IPtr<Zel::IConnectionPoint> processorConnection_;
    Zel::IPtr<ParameterChanges> inputChanges_;
    Zel::IPtr<ParameterChanges> outputChanges_;
    Zel::TransportContext transport_{};
    Zel::SpeakerArrangement arrangement_ = 0;
    std::vector<float> silence_;
    std::vector<float*> silenceChannels_;
    int64_t position_ = 0;
    std::thread::id audioThread_; // the thread that called process first
    bool active_ = false;
    MeterReadings readings_;
};

} // namespace NivoloHost
