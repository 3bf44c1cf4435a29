#include "dsp/AlgoAccessorVu.h"

#include <algorithm>
#include <cmath>

#include "dsp/VectorOps.h"

namespace DSP {

void AlgoAccessorVu::processRoutine(float** in, float** out, int32_t count) {
    measurePeaks(in, inputPeaks_, inputPeak_, inputs_, count);
    AlgoAccessor::processRoutine(in, out, count);
    measurePeaks(out, outputPeaks_, outputPeak_, outputs_, count);
    checkOutputSilence(out, count, outputs_);
}

void AlgoAccessorVu::processWithAuxRoutine(float** in, float** out, float** aux, int32_t count) {
    measurePeaks(in, inputPeaks_, inputPeak_, inputs_, count);
    AlgoAccessor::processWithAuxRoutine(in, out, aux, count);
    measurePeaks(out, outputPeaks_, outputPeak_, outputs_, count);
    checkOutputSilence(out, count, outputs_);
}

void AlgoAccessorVu::measurePeaks(float** buffers, float* peaks, float& overallPeak, int32_t channelCount,
                                  int32_t count) {
    if (!buffers) return;
    channelCount = std::min(channelCount, kMaxChannels);
    for (int32_t c = 0; c < channelCount; ++c) {
        const float* samples = buffers[c];
        if (!samples) continue;
        const float peak = vectorOps().peak(samples, count);
        peaks[c] = std::max(peaks[c], peak);
        overallPeak = std::max(overallPeak, peak);
    }
}

} // namespace DSP
