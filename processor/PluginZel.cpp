#include "processor/PluginZel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/SavedState.h"
#include "dsp/VectorOps.h"
#include "interfaces/IByteStream.h"
#include "interfaces/IParamChanges.h"

namespace Zel {

namespace {
float** channelsOf(AudioBufferSet* buses, int32_t count, int32_t index) {
    return buses && index < count ? buses[index].channelBuffers : nullptr;
}
} // namespace

PluginZel::PluginZel(const Param::ParameterRecord* table, int32_t parameterCount)
    : parameterInfo_(table, parameterCount), parameterCount_(parameterCount) {
    uint32_t id = 0;
    if (parameterInfo_.findIdByName("bypass", id) == kResultOk) bypassParamId_ = id;
    const auto block = static_cast<uint32_t>(setup_.maxBlockSamples);
    dryDelay_ = std::make_unique<DSP::DelayMultiCh>(setup_.sampleRate, block, kMaxDryDelayMs);
    crossFader_ = std::make_unique<DSP::CrossFader<float>>(setup_.sampleRate, block, kFadeMs);
    crossFader_->initialize();
    restored_.resize(static_cast<size_t>(parameterCount_ > 0 ? parameterCount_ : 0));
}

PluginZel::~PluginZel() = default;

tresult PluginZel::initialize(FUnknown* context) {
    DSP::selectVectorOps();
    return ComponentBase::initialize(context);
}

tresult PluginZel::terminate() {
    destroyAccessor();
    return Component::terminate();
}

tresult PluginZel::setActive(uint8_t state) {
    if (accessor_) accessor_->setActive(state != 0);
    active_.store(state != 0, std::memory_order_release);
    if (!state) applyPendingState(); // nothing runs now: a waiting state is applied here
    return kResultOk;
}

void PluginZel::selectProcessFunction() {
    if (busCount(kAudio, kInput) == 0)
        processFunction_ = &PluginZel::processWithoutInput;
    else if (sideChainActive_ && sideChainSupported_)
        processFunction_ = &PluginZel::processWithSideChain;
    else
        processFunction_ = &PluginZel::processMain;
}

tresult PluginZel::setBusActive(int32_t mediaType, int32_t direction, int32_t index, uint8_t state) {
    if (Component::setBusActive(mediaType, direction, index, state) != kResultOk) return kResultFalse;
    if (mediaType == kAudio) {
        if (direction == kInput && index == 0) mainInputActive_ = state != 0;
        if (direction == kOutput && index == 0) mainOutputActive_ = state != 0;
        if (direction == kInput && index == 1) sideChainActive_ = state != 0;
    }
    selectProcessFunction();
    return kResultOk;
}

tresult PluginZel::applyArrangements(SpeakerArrangement input, SpeakerArrangement output,
                                     SpeakerArrangement sideChain) {
    if (!accessor_) return kResultFalse;
    if (accessor_->setArrangements(input, output, sideChain) != 0) return kResultFalse;
    const int32_t ins = channelCountOf(input), outs = channelCountOf(output);
    const int32_t both = std::min(ins, outs);
    crossFader_->setChannels(both, both, 0);
    if (dryDelay_->setChannels(ins, outs, 0) == 1) dryDelay_->setChannels(both, both, 0);
    return kResultOk;
}

tresult PluginZel::applyBusArrangements() {
    auto arrangementOf = [&](int32_t direction, int32_t index) {
        AudioBus* bus = getAudioBus(direction, index);
        return bus ? bus->arrangement() : SpeakerArrangement{0};
    };
    return applyArrangements(arrangementOf(kInput, 0), arrangementOf(kOutput, 0), arrangementOf(kInput, 1));
}

void PluginZel::getFallbackArrangements(SpeakerArrangement requested, SpeakerArrangement& input,
                                        SpeakerArrangement& output, SpeakerArrangement& sideChain) {
    input = output = sideChain = requested;
}

tresult PluginZel::offerArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                     int32_t numOuts) {
    const SpeakerArrangement in0 = inputs && numIns >= 1 ? inputs[0] : 0;
    const SpeakerArrangement out0 = outputs && numOuts >= 1 ? outputs[0] : 0;
    const SpeakerArrangement sc = inputs && numIns >= 2 ? inputs[1] : 0;
    if (applyArrangements(in0, out0, sc) == kResultOk) {
        AudioEffect::offerArrangements(inputs, numIns, outputs, numOuts);
        if (busCount(kAudio, kInput) > 0) return kResultOk;
        return numIns > 0 ? kResultFalse : kResultOk;
    }
    // Refused: every bus takes the input's arrangement, and the host reads back what we chose.
    SpeakerArrangement input = 0, output = 0, sideChain = 0;
    getFallbackArrangements(in0, input, output, sideChain);
    if (numIns >= 1)
        if (AudioBus* bus = getAudioBus(kInput, 0)) bus->setArrangement(input);
    if (numIns >= 2)
        if (AudioBus* bus = getAudioBus(kInput, 1)) bus->setArrangement(sideChain);
    for (int32_t i = 0; i < numOuts; ++i)
        if (AudioBus* bus = getAudioBus(kOutput, i)) bus->setArrangement(output);
    applyBusArrangements();
    return kResultFalse;
}

tresult PluginZel::prepareProcessing(ProcessSetupInfo& setup) {
    if (setup.maxBlockSamples <= 0 || setup.sampleRate < 1.0) return kResultFalse;
    if (setup.maxBlockSamples == setup_.maxBlockSamples && setup.sampleRate == setup_.sampleRate) return kResultOk;
    setup_.maxBlockSamples = setup.maxBlockSamples;
    setup_.sampleRate = setup.sampleRate;

    // The parameter values survive the rebuild.
    std::vector<DSP::ValueRecord> kept;
    if (accessor_) kept.assign(accessor_->getValueRecords(), accessor_->getValueRecords() + accessor_->getParameterCount());

    const auto block = static_cast<uint32_t>(setup_.maxBlockSamples);
    dryDelay_->setMaxSamplesPerCall(block);
    dryDelay_->setSampleRate(setup_.sampleRate);
    crossFader_->setFadeRate(setup_.sampleRate);
    crossFader_->setMaxSamplesPerCall(block);

    destroyAccessor();
    createAccessor();
    if (accessor_) {
        if (!kept.empty())
            accessor_->readValuesFromMemory(kept.data(), static_cast<int32_t>(kept.size()) * DSP::SavedState::kRecordStride);
        dryDelay_->setCapacity(accessor_->getLatencyAgain() + 1);
    }
    return kResultOk;
}

void PluginZel::resetParametersToDefaults() {
    if (!accessor_) return;
    for (int32_t i = 0; i < parameterCount_; ++i) {
        const Param::ParameterRecord* record = parameterInfo_.getRecordByIndex(i);
        accessor_->setValue(static_cast<int32_t>(record->id), record->defaultValue);
    }
}

void PluginZel::setBypass(double normalized) {
    const uint32_t state = normalized >= 0.5 ? 1u : 0u;
    if (state != bypass_) crossFader_->startFade();
    bypass_ = state;
}

void PluginZel::applyParameterChange(uint32_t id, double normalized) {
    if (id == bypassParamId_) setBypass(normalized);
    if (accessor_) {
        const float plain = static_cast<float>(parameterInfo_.toPlain(id, normalized));
        accessor_->setValue(static_cast<int32_t>(id), plain);
    }
}

void PluginZel::afterParameterChanges(ProcessBlock& block) {
    if (block.outputChanges) outputParameterHook(block.outputChanges);
}

void PluginZel::processParameterChanges(ProcessBlock& block) {
    IParamChanges* changes = block.inputChanges;
    const int32_t queues = changes ? changes->getParameterCount() : 0;
    if (queues > 0) {
        beginValueChanges(); // a state saved meanwhile sees all of this block's changes or none
        for (int32_t q = 0; q < queues; ++q) {
            IParamQueue* queue = changes->queueAt(q);
            if (!queue) continue;
            int32_t offset = 0;
            double value = 0.0;
            if (queue->readPoint(queue->pointCount() - 1, &offset, &value) != kResultOk) continue;
            applyParameterChange(queue->getParameterId(), value);
        }
        endValueChanges();
    }
    afterParameterChanges(block);
}

void PluginZel::beginValueChanges() {
    valueChanges_.store(valueChanges_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
}

void PluginZel::endValueChanges() {
    valueChanges_.store(valueChanges_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void PluginZel::copyValuesForSaving(std::vector<DSP::ValueRecord>& values) {
    const DSP::ValueRecord* records = accessor_->getValueRecords();
    const size_t count = values.size();
    std::vector<bool> restoredTaken(count);
    for (;;) {
        const uint32_t before = valueChanges_.load(std::memory_order_acquire);
        if (before & 1u) {
            std::this_thread::yield(); // a block is applying its changes right now
            continue;
        }
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(values[i].name, records[i].name, sizeof values[i].name);
            values[i].id = records[i].id;
            values[i].value = DSP::AlgoAccessor::loadValue(records[i]);
        }
        // A restored state the audio thread has not applied yet is what the
        // processor holds from now on: it is saved, matched by id as it will be applied.
        if (stateHandOff_.load(std::memory_order_acquire) == kStatePending) {
            std::fill(restoredTaken.begin(), restoredTaken.end(), false);
            for (int32_t r = 0; r < restoredCount_; ++r) {
                for (size_t i = 0; i < count; ++i) {
                    if (restoredTaken[i] || values[i].id != restored_[static_cast<size_t>(r)].id) continue;
                    values[i].value = restored_[static_cast<size_t>(r)].value;
                    restoredTaken[i] = true;
                    break;
                }
            }
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (valueChanges_.load(std::memory_order_relaxed) == before) return;
    }
}

tresult PluginZel::process(ProcessBlock& block) {
    // Every buffer is sized for the block size the host announced; a longer
    // block is the host's error and is left alone rather than overrun them.
    if (block.numSamples > setup_.maxBlockSamples) return kInvalidArgument;
    // Decaying tails would otherwise crawl through denormal arithmetic; the
    // host gets its own floating-point mode back on return.
    DSP::DenormalGuard denormals;
    applyPendingState();
    (this->*processFunction_)(block);
    return kResultOk;
}

tresult PluginZel::processMain(ProcessBlock& block) {
    if (!accessor_) return kResultFailed;
    if (block.numSamples < 0) return kResultFalse;
    processParameterChanges(block);
    const int32_t n = block.numSamples;
    float** in = channelsOf(block.inputs, block.numInputs, 0);
    float** out = channelsOf(block.outputs, block.numOutputs, 0);
    float** faderBuffers = crossFader_->channelBuffers();

    if (block.inputs && block.numInputs > 0 && block.inputs[0].silenceFlags != 0) {
        if (accessor_->isOutputSilent()) {
            // Silence in after silence out: zeros out, and the meter only hears that it was quiet.
            if (block.outputs && block.numOutputs > 0) {
                block.outputs[0].silenceFlags = block.inputs[0].silenceFlags;
                for (int32_t c = 0; out && c < block.outputs[0].numChannels; ++c)
                    std::memset(out[c], 0, sizeof(float) * static_cast<size_t>(n));
            }
            accessor_->processSilence(n);
            if (out) crossFader_->crossfade(out, out, out, n);
            finishProcess(block);
            return kResultOk;
        }
    }
    if (block.outputs && block.numOutputs > 0) block.outputs[0].silenceFlags = 0;

    if (n >= 1) {
        if (bypass_ == 0) {
            if ((block.numInputs == 0 && block.numOutputs == 0) || !in || !out || !mainInputActive_ ||
                !mainOutputActive_)
                return kResultFalse;
            // The dry path is only heard while a fade runs; without latency it
            // holds nothing from earlier blocks, so it is only fed then.
            const int32_t latency = accessor_->getLatency();
            const bool dryNeeded = latency > 0 || crossFader_->isFading();
            if (dryNeeded) {
                dryDelay_->setDelaySamples(latency);
                dryDelay_->process(in, faderBuffers, n);
            }
            accessor_->process(in, out, n);
            if (dryNeeded) crossFader_->crossfade(faderBuffers, out, out, n);
        } else {
            processBypassed(block);
        }
    }
    finishProcess(block);
    return kResultOk;
}

tresult PluginZel::processBypassed(ProcessBlock& block) {
    if (block.numInputs == 0 && block.numOutputs == 0) return kResultOk;
    float** in = channelsOf(block.inputs, block.numInputs, 0);
    float** out = channelsOf(block.outputs, block.numOutputs, 0);
    if (!in || !out) return kResultOk;
    float** faderBuffers = crossFader_->channelBuffers();
    dryDelay_->setDelaySamples(accessor_->getLatency());
    accessor_->process(in, faderBuffers, block.numSamples); // the meter keeps measuring while bypassed
    dryDelay_->process(in, out, block.numSamples);
    if (crossFader_->isFading()) crossFader_->crossfade(faderBuffers, out, out, block.numSamples);
    return kResultOk;
}

tresult PluginZel::processWithoutInput(ProcessBlock& block) {
    if (!accessor_) return kResultFailed;
    if (block.numSamples < 0) return kResultFalse;
    processParameterChanges(block);
    float** out = channelsOf(block.outputs, block.numOutputs, 0);
    if (out) {
        if (bypass_) {
            const int32_t channels = block.outputs[0].numChannels;
            block.outputs[0].silenceFlags = channels >= 64 ? ~uint64_t{0} : (uint64_t{1} << channels) - 1;
            for (int32_t c = 0; c < channels; ++c)
                std::memset(out[c], 0, sizeof(float) * static_cast<size_t>(block.numSamples));
        } else {
            accessor_->process(nullptr, out, block.numSamples);
        }
    }
    finishProcess(block);
    return kResultOk;
}

tresult PluginZel::processWithSideChain(ProcessBlock& block) {
    float** side = channelsOf(block.inputs, block.numInputs, 1);
    if (!sideChainSupported_ || !side || !accessor_ || bypass_ || block.numSamples < 1) return processMain(block);
    processParameterChanges(block);
    float** in = channelsOf(block.inputs, block.numInputs, 0);
    float** out = channelsOf(block.outputs, block.numOutputs, 0);
    if (!in || !out || !mainInputActive_ || !mainOutputActive_) return kResultFalse;
    float** faderBuffers = crossFader_->channelBuffers();
    dryDelay_->setDelaySamples(accessor_->getLatency());
    dryDelay_->process(in, faderBuffers, block.numSamples);
    accessor_->processWithAux(in, out, side, block.numSamples);
    crossFader_->crossfade(faderBuffers, out, out, block.numSamples);
    finishProcess(block);
    return kResultOk;
}

uint32_t PluginZel::latencySamples() { return accessor_ ? static_cast<uint32_t>(accessor_->getLatency()) : 0; }

tresult PluginZel::getState(IByteStream* state) {
    if (!accessor_ || !state) return kResultFalse;
    // Copied first: the audio thread may be changing the values while we write.
    std::vector<DSP::ValueRecord> values(static_cast<size_t>(accessor_->getParameterCount()));
    copyValuesForSaving(values);
    return DSP::SavedState::write(state, values.data(), static_cast<int32_t>(values.size())) ? kResultOk : kResultFalse;
}

tresult PluginZel::setState(IByteStream* state) {
    if (!accessor_ || !state) return kResultFalse;
    int32_t length = 0;
    if (!DSP::SavedState::readByteCount(state, length)) return kResultFalse;
    // A length that names more records than the table has restores nothing.
    const int32_t count = DSP::SavedState::recordCount(length);
    if (count < 0 || count > parameterCount_) {
        stateRestored();
        return kResultOk;
    }
    // The whole state is read before anything changes: a short stream changes nothing.
    std::vector<DSP::ValueRecord> read(static_cast<size_t>(count));
    for (DSP::ValueRecord& record : read) {
        if (!DSP::SavedState::readRecord(state, record)) {
            stateRestored();
            return kResultOk;
        }
    }

    // Let a running audio thread finish applying an earlier state, or take that one back.
    for (;;) {
        int32_t expected = kStatePending;
        if (stateHandOff_.compare_exchange_strong(expected, kStateIdle, std::memory_order_acq_rel)) break;
        if (expected == kStateIdle) break;
        std::this_thread::yield(); // kStateApplying: a block is applying it right now
    }
    for (int32_t r = 0; r < count; ++r) {
        DSP::ValueRecord& record = restored_[static_cast<size_t>(r)];
        record = read[static_cast<size_t>(r)];
        // Out-of-range values are clamped, not refused; a value that is no number at
        // all takes the bottom of the range, as the controller reads it.
        if (const Param::ParameterRecord* parameter = parameterInfo_.getRecordById(record.id))
            record.value = std::isnan(record.value)
                               ? parameter->minValue
                               : std::max(std::min(record.value, parameter->maxValue), parameter->minValue);
    }
    restoredCount_ = count;
    if (active_.load(std::memory_order_acquire))
        stateHandOff_.store(kStatePending, std::memory_order_release);
    else
        applyRestoredValues();
    return kResultOk;
}

void PluginZel::applyRestoredValues() {
    accessor_->readValuesFromMemory(restored_.data(), restoredCount_ * DSP::SavedState::kRecordStride);
    stateRestored();
}

void PluginZel::applyPendingState() {
    int32_t expected = kStatePending;
    if (!stateHandOff_.compare_exchange_strong(expected, kStateApplying, std::memory_order_acq_rel)) return;
    beginValueChanges();
    if (accessor_) applyRestoredValues();
    endValueChanges();
    stateHandOff_.store(kStateIdle, std::memory_order_release);
}

void PluginZel::stateRestored() {
    setBypassState(accessor_->getValue(static_cast<int32_t>(bypassParamId_)) >= 0.5);
}

} // namespace Zel
