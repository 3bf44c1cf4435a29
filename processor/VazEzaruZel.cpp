#include "processor/VazEzaruZel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "controller/ParameterIds.h"
#include "controller/ParameterTables.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaruAcc.h"
#include "interfaces/IParamChanges.h"
#include "module/ModuleIds.h"

namespace Zel {

namespace {
constexpr uint32_t kCycleFieldsValid = TransportContext::kPositionValid | TransportContext::kTempoValid |
                                       TransportContext::kCycleValid;
constexpr float kIntegratedWarning = -22.0f; // the -23 LUFS target plus 1 LU of tolerance
constexpr double kTruePeakWarning = -1.0;    // dBTP
} // namespace

VazEzaruZel::VazEzaruZel() : PluginZelVu(Param::meterParameters(), Param::kMeterParameterCount) {}

tresult VazEzaruZel::initialize(FUnknown* context) {
    const tresult result = PluginZel::initialize(context);
    if (result != kResultOk) return result;
    setControllerClass(kControllerClassId);
    addAudioInput(u"Stereo In", kArrangementStereo, kMain, BusDescription::kDefaultActive);
    addAudioOutput(u"Stereo Out", kArrangementStereo, kMain, BusDescription::kDefaultActive);
    createAccessor();
    return kResultOk;
}

void VazEzaruZel::createAccessor() {
    accessor_.reset();
    accessor_ = std::make_unique<DSP::VazEzaruAcc>(setup_.sampleRate, static_cast<uint32_t>(setup_.maxBlockSamples));
    applyBusArrangements();
    resetParametersToDefaults();
    accessor_->setValue(DSP::kValueLoudnessEnabled, 1.0);
    meterOffline_ = false; // a new meter starts in realtime mode
}

void VazEzaruZel::setMeterOffline(bool offline) {
    if (accessor_) accessor_->setValue(DSP::kCommandOffline, offline ? 1.0 : 0.0);
    meterOffline_ = offline;
}

tresult VazEzaruZel::prepareProcessing(ProcessSetupInfo& setup) {
    if (PluginZel::prepareProcessing(setup) != kResultOk) return kResultFalse;
    timeTicker_.restart(setup.sampleRate * 1.0);
    // Told now, while nothing runs, so that the first block need not wait for the workers.
    setMeterOffline(setup.processMode == kOffline);
    return kResultOk;
}

void VazEzaruZel::stateRestored() {
    PluginZel::stateRestored();
    // The meter has no reading for the unit switch, so the value comes from its record.
    int32_t index = 0;
    if (accessor_->findValueIndex(Param::kScaleModeLoudness, index) == 0)
        loudnessOffset_ = accessor_->getValueRecords()[index].value >= 0.5 ? kLuOffset : 0.0f;
}

void VazEzaruZel::applyParameterChange(uint32_t id, double normalized) {
    if (id != bypassParamId_) {
        if (id == Param::kResetLoudness) {
            elapsedSamples_ = 0;
            sendTextMessage(MeterMessages::kTime, "00:00:00");
        } else if (id == Param::kScaleModeLoudness) {
            loudnessOffset_ = normalized < 0.5 ? 0.0f : kLuOffset;
        } else if (id == static_cast<uint32_t>(DSP::kValueLoudnessEnabled)) {
            countWhilePlaying_ = normalized >= 0.5;
        }
    }
    PluginZel::applyParameterChange(id, normalized); // bypass, then the plain value to the meter
}

bool VazEzaruZel::blockLiesBeforeCycle(const ProcessBlock& block) const {
    const TransportContext& t = *block.transport;
    if (block.processMode != kOffline || !(t.state & kCycleFieldsValid) || !(t.cycleStartQuarters > t.positionQuarters))
        return false;
    const float end = static_cast<float>(t.positionQuarters + block.numSamples * t.tempo / (60.0 * t.sampleRate));
    return t.cycleStartQuarters > end;
}

void VazEzaruZel::passThrough(ProcessBlock& block) {
    if (!block.inputs || !block.outputs || block.numInputs < 1 || block.numOutputs < 1) return;
    AudioBufferSet& in = block.inputs[0];
    AudioBufferSet& out = block.outputs[0];
    for (int32_t c = 0; c < out.numChannels && c < in.numChannels; ++c)
        if (in.channelBuffers[c] != out.channelBuffers[c])
            std::memcpy(out.channelBuffers[c], in.channelBuffers[c], sizeof(float) * static_cast<size_t>(block.numSamples));
    if (in.silenceFlags) out.silenceFlags = in.silenceFlags;
}

void VazEzaruZel::formatTime(int64_t seconds, char* text, size_t size) {
    const long hours = static_cast<long>(seconds / 3600);
    const long rest = static_cast<long>(hours >= 1 ? seconds - 3600 * hours : seconds);
    const long minutes = rest / 60;
    const long secs = minutes >= 1 ? rest - 60 * minutes : rest;
    std::snprintf(text, size, "%s%ld:%s%ld:%s%ld", hours < 10 ? "0" : "", hours, minutes < 10 ? "0" : "", minutes,
                  secs < 10 ? "0" : "", secs);
}

void VazEzaruZel::sendTime() {
    const auto seconds = static_cast<int64_t>(static_cast<float>(elapsedSamples_) /
                                              static_cast<float>(setup_.sampleRate));
    char text[32];
    formatTime(seconds, text, sizeof text);
    sendTextMessage(MeterMessages::kTime, text);
}

tresult VazEzaruZel::processMain(ProcessBlock& block) {
    // [audio thread, active] A host may render a block offline without a new set-up.
    if ((block.processMode == kOffline) != meterOffline_) setMeterOffline(block.processMode == kOffline);
    if (block.transport && (block.transport->state & TransportContext::kPlaying) && countWhilePlaying_) {
        if (blockLiesBeforeCycle(block)) {
            // Offline, before the cycle starts: pass the audio, measure and count nothing.
            processParameterChanges(block);
            passThrough(block);
            return kResultOk;
        }
        timeTicker_.advance(block.numSamples);
        elapsedSamples_ += block.numSamples;
        if (timeTicker_.takeDue()) sendTime();
    }
    return PluginZel::processMain(block);
}

void VazEzaruZel::writeOutputParameters(IParamChanges* changes, int32_t) {
    if (!accessor_ || !changes) {
        clearDataRequest();
        return;
    }
    auto write = [&](uint32_t id, double value) {
        ParamID parameter = id;
        int32_t index = 0;
        if (IParamQueue* queue = changes->queueFor(&parameter, &index)) queue->appendPoint(0, value, &index);
    };
    auto v = [&](int32_t id) { return accessor_->getValue(id); };
    // The host takes normalized values in [0, 1]: a reading beyond its range (the
    // true peak's -120 dB floor, a loudness above +48) goes out at the range's end,
    // one that is not a number at the floor, where the controller shows "--".
    auto norm = [&](uint32_t id, double plain) {
        const double x = parameterInfo_.toNormalized(id, plain);
        return x >= 0.0 ? std::min(x, 1.0) : 0.0;
    };
    const double offset = loudnessOffset_;

    write(Param::kLoudnessM, norm(Param::kLoudnessM, v(DSP::kValueMomentary) + offset));
    write(Param::kLoudnessS, norm(Param::kLoudnessS, v(DSP::kValueShortTerm) + offset));
    write(Param::kLoudnessI, norm(Param::kLoudnessI, v(DSP::kValueIntegrated) + offset));
    write(Param::kLoudnessIOver, v(DSP::kValueIntegrated) + offset > kIntegratedWarning + loudnessOffset_ ? 1.0 : 0.0);
    write(Param::kLoudnessMMax, norm(Param::kLoudnessMMax, v(DSP::kValueMomentaryMax) + offset));
    write(Param::kLoudnessSTMax, norm(Param::kLoudnessSTMax, v(DSP::kValueShortTermMax) + offset));
    write(Param::kLoudnessRange, norm(Param::kLoudnessRange, v(DSP::kValueLoudnessRange)));
    write(DSP::kValueBelowRelativeGate, v(DSP::kValueBelowRelativeGate));
    double truePeak = v(DSP::kValueTruePeak);
    if (truePeak > 0) truePeak = 20.0 * std::log10(truePeak);
    write(Param::kTruePeak, norm(Param::kTruePeak, truePeak));
    write(Param::kTruePeakOver, truePeak > kTruePeakWarning ? 1.0 : 0.0);
    for (int32_t id : {DSP::kValueRangeHigh, DSP::kValueRangeLow}) {
        const double x = v(id);
        const auto parameter = static_cast<uint32_t>(id);
        if (x > 0)
            write(parameter, norm(parameter, static_cast<float>(10.0 * std::log10(x)) - 0.691 + offset));
        else
            write(parameter, 0.0);
    }
    write(Param::kTime, 0.0);
    clearDataRequest();
}

} // namespace Zel
