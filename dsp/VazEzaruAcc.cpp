#include "dsp/VazEzaruAcc.h"

#include <algorithm>
#include <bit>

#include "controller/ParameterTables.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VectorOps.h"

namespace DSP {

VazEzaruAcc::VazEzaruAcc(double rate, uint32_t maxSamples)
    : AlgoAccessorVu(rate, maxSamples, Param::kMeterParameterCount, Param::meterParameters()) {
    attachAlgorithm(new VazEzaru(rate, maxSamples, true));
    setParameterTable(Param::meterParameters());
}

double VazEzaruAcc::getValue(int32_t id) {
    int32_t index = 0;
    if (id == bypassParameterId_ && findValueIndex(id, index) == 0) return records_[static_cast<size_t>(index)].value;
    if (id >= kValueInputPeakFirst && id <= kValueInputPeakLast) {
        const int32_t channel = id - kValueInputPeakFirst;
        const float peak = inputPeaks_[channel];
        inputPeaks_[channel] = 0.0f; // each reading is the peak since the previous one
        return peak;
    }
    if (id == kValueInputPeak) return inputPeak_;
    return AlgoAccessor::getValue(id);
}

int32_t VazEzaruAcc::setArrangements(uint64_t input, uint64_t output, uint64_t aux) {
    inputs_ = std::popcount(input);
    outputs_ = std::popcount(output);
    aux_ = std::popcount(aux);
    const int32_t result = meter() ? meter()->setChannelsAndArrangement(inputs_, outputs_, aux_, input) : 0;
    pushAllValues();
    return result;
}

void VazEzaruAcc::processRoutine(float** in, float** out, int32_t count) {
    if (!in || !out) {
        AlgoAccessorVu::processRoutine(in, out, count);
        return;
    }
    const int32_t channels = std::min(inputs_, kMaxChannels);
    for (int32_t c = 0; c < channels; ++c) {
        if (!in[c]) continue;
        const float peak = vectorOps().peak(in[c], count);
        inputPeaks_[c] = std::max(inputPeaks_[c], peak);
        inputPeak_ = std::max(inputPeak_, peak);
        if (c < outputs_) {
            outputPeaks_[c] = std::max(outputPeaks_[c], peak);
            outputPeak_ = std::max(outputPeak_, peak);
        }
    }
    AlgoAccessor::processRoutine(in, out, count);
    checkOutputSilence(out, count, outputs_);
}

void VazEzaruAcc::clearOutputPeak() {
    if (meter()) meter()->setValue(kCommandClearRmsHeld, 0.0);
}

} // namespace DSP
