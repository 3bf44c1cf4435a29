#include "host/ProcessingSession.h"

#include "host/AudioThreadGuard.h"
#include "host/AudioThreadGuardExemptPeer.h"

namespace NivoloHost {

using namespace Zel;

SpeakerArrangement ProcessingSession::arrangementFor(int32_t channels) {
    switch (channels) {
    case 1: return 1u << 2;     // centre
    case 2: return 0x3;         // L R
    case 3: return 0x7;         // L R C
    case 4: return 0x33;        // L R Ls Rs
    case 5: return 0x37;        // L R C Ls Rs
    case 6: return 0x3F;        // L R C LFE Ls Rs
    default:
        // Beyond 5.1, further speakers after the first six.
        return channels >= 1 && channels <= 14 ? (SpeakerArrangement{1} << channels) - 1 : 0;
    }
}

bool ProcessingSession::open(IPluginFactory* factory, const TUID& processorClass, const Options& options,
                             std::string& error) {
    close();
    options_ = options;
    if (options_.channels < 1 || options_.channels > 14) {
        error = "the meter measures 1 to 14 channels, not " + std::to_string(options_.channels);
        return false;
    }
    if (options_.blockSize < 1) {
        error = "block size must be at least 1 sample";
        return false;
    }
    void* raw = nullptr;
    if (!factory || factory->createInstance(processorClass, IComponent_iid, &raw) != kResultOk || !raw) {
        error = "the module could not create its processor";
        return false;
    }
    component_ = IPtr<IComponent>::adopt(static_cast<IComponent*>(raw));
    processor_ = queryInterface<IAudioProcessor>(component_.get());
    processorConnection_ = queryInterface<IConnectionPoint>(component_.get());
    if (!processor_) {
        error = "the processor does not process audio";
        close();
        return false;
    }

    host_ = options_.host ? IPtr<HostContext>(options_.host) : IPtr<HostContext>::adopt(new HostContext);
    if (component_->initialize(static_cast<IHostApp*>(host_.get())) != kResultOk) {
        error = "the processor refused to initialise";
        component_.reset();
        close();
        return false;
    }
    peer_ = IPtr<StandInPeer>::adopt(new StandInPeer(host_.get()));
    externalPeer_ = IPtr<IConnectionPoint>(options_.peer);
    if (processorConnection_) {
        if (externalPeer_) {
            processorConnection_->connect(externalPeer_.get());
            externalPeer_->connect(processorConnection_.get());
        } else {
            // Our stand-in's bookkeeping is host code, not the module's: exempt from the guard.
            exemptPeer_ = IPtr<IConnectionPoint>::adopt(new AudioThreadGuardExemptPeer(peer_.get()));
            processorConnection_->connect(exemptPeer_.get());
            peer_->connect(processorConnection_.get());
        }
    }

    arrangement_ = options_.arrangement ? options_.arrangement : arrangementFor(options_.channels);
    if (channelCountOf(arrangement_) != options_.channels) {
        error = "the speaker arrangement does not have " + std::to_string(options_.channels) + " channels";
        close();
        return false;
    }
    SpeakerArrangement in = arrangement_, out = arrangement_;
    if (processor_->offerArrangements(&in, 1, &out, 1) != kResultOk) {
        SpeakerArrangement chosen = 0;
        processor_->busArrangement(kInput, 0, chosen);
        if (chosen != arrangement_) {
            error = "the processor does not accept " + std::to_string(options_.channels) + " channels";
            close();
            return false;
        }
    }
    ProcessSetupInfo setup{options_.processMode, kSample32, options_.blockSize, options_.sampleRate};
    if (processor_->supportsSampleSize(kSample32) != kResultOk || processor_->prepareProcessing(setup) != kResultOk) {
        error = "the processor refused the set-up";
        close();
        return false;
    }
    component_->setBusActive(kAudio, kInput, 0, 1);
    component_->setBusActive(kAudio, kOutput, 0, 1);
    component_->setActive(1);
    processor_->setProcessingState(1);
    active_ = true;

    // The lists are sized here so that nothing is allocated while blocks run.
    inputChanges_ = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    outputChanges_ = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    silence_.assign(static_cast<size_t>(options_.blockSize), 0.0f);
    silenceChannels_.assign(static_cast<size_t>(options_.channels), silence_.data());
    transport_ = TransportContext{};
    transport_.sampleRate = options_.sampleRate;
    transport_.tempo = 120.0;
    position_ = 0;
    audioThread_ = std::thread::id{};
    readings_ = MeterReadings{};
    return true;
}

void ProcessingSession::close() {
    if (processor_ && active_) {
        processor_->setProcessingState(0);
        component_->setActive(0);
    }
    active_ = false;
    if (component_) component_->terminate();
    if (processorConnection_) {
        if (externalPeer_) {
            externalPeer_->disconnect(processorConnection_.get());
            processorConnection_->disconnect(externalPeer_.get());
        } else if (peer_) {
            peer_->disconnect(processorConnection_.get());
            if (exemptPeer_) processorConnection_->disconnect(exemptPeer_.get());
        }
    }
    externalPeer_.reset();
    exemptPeer_.reset();
    processorConnection_.reset();
    processor_.reset();
    component_.reset();
    peer_.reset();
    host_.reset();
    inputChanges_.reset();
    outputChanges_.reset();
}

void ProcessingSession::changeParameter(ParamID id, double normalized) {
    if (inputChanges_) inputChanges_->addChange(id, 0, normalized);
    if (id == MeterReadings::kUnitSwitch) readings_.luMode = normalized >= 0.5;
}

tresult ProcessingSession::processBlock(float* const* in, float* const* out, int32_t numSamples) {
    if (numSamples < 0 || numSamples > options_.blockSize) return kInvalidArgument;
    return run(in, out, numSamples);
}

tresult ProcessingSession::processNothing() { return run(silenceChannels_.data(), silenceChannels_.data(), 0); }

tresult ProcessingSession::run(float* const* in, float* const* out, int32_t numSamples) {
    if (!processor_) return kResultFailed;
    AudioBufferSet inputs{options_.channels, 0, const_cast<float**>(in)};
    AudioBufferSet outputs{options_.channels, 0, const_cast<float**>(out)};
    outputChanges_->clear();
    transport_.state = options_.transportPlaying ? TransportContext::kPlaying : 0;
    transport_.projectTimeSamples = position_;
    transport_.positionQuarters = static_cast<double>(position_) / options_.sampleRate * transport_.tempo / 60.0;

    ProcessBlock block{};
    block.processMode = options_.processMode;
    block.sampleSizeCode = kSample32;
    block.numSamples = numSamples;
    block.numInputs = 1;
    block.numOutputs = 1;
    block.inputs = &inputs;
    block.outputs = &outputs;
    block.inputChanges = inputChanges_.get();
    block.outputChanges = outputChanges_.get();
    block.transport = &transport_;
    tresult result = kResultOk;
    if (options_.audioGuard || AudioThreadGuard::enabled()) {
        AudioThreadGuard::Region region(numSamples, options_.sampleRate);
        // A strict host drives process from one audio thread only.
        const std::thread::id self = std::this_thread::get_id();
        if (audioThread_ == std::thread::id{}) audioThread_ = self;
        else if (audioThread_ != self) {
            AudioThreadGuard::noteWrongThread();
            audioThread_ = self;
        }
        result = processor_->process(block);
    } else {
        result = processor_->process(block);
    }
    inputChanges_->clear();
    position_ += numSamples;
    collectReadings();
    return result;
}

void ProcessingSession::collectReadings() {
    for (int32_t q = 0; q < outputChanges_->getParameterCount(); ++q) {
        IParamQueue* queue = outputChanges_->queueAt(q);
        double value = 0.0;
        if (queue && queue->pointCount() > 0 && queue->readPoint(queue->pointCount() - 1, nullptr, &value) == kResultOk) {
            readings_.apply(queue->getParameterId(), value);
            if (options_.outputSink) options_.outputSink(queue->getParameterId(), value);
        }
    }
    if (externalPeer_) return; // the stand-in hears "time" only when it is the peer
    const std::string time = peer_->lastTime();
    if (!time.empty()) readings_.time = time;
}

} // namespace NivoloHost
