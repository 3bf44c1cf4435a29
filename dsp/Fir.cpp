#include "dsp/Fir.h"

#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/VectorOps.h"

namespace DSP {

Fir::Fir(float rate, int32_t maxLength, int32_t tapCount, const float* taps)
    : maxLength_(maxLength > 0 ? maxLength : 0), tapCount_(taps && tapCount > 0 ? tapCount : 0) {
    sampleRate = static_cast<double>(rate);
    maxSamplesPerCall = static_cast<uint32_t>(maxLength_);
    scratch_ = allocateAligned<float>(static_cast<size_t>(maxLength_));
    if (tapCount_ > 0) {
        taps_ = allocateAligned<float>(static_cast<size_t>(tapCount_));
        std::memcpy(taps_, taps, sizeof(float) * static_cast<size_t>(tapCount_));
        line_ = allocateAligned<float>(static_cast<size_t>(tapCount_ - 1 + maxLength_));
        reset();
    }
}

Fir::~Fir() {
    freeAligned(taps_);
    freeAligned(line_);
    freeAligned(scratch_);
}

void Fir::setActive(bool state) {
    active = state;
    reset();
}

void Fir::reset() {
    if (line_) std::memset(line_, 0, sizeof(float) * static_cast<size_t>(tapCount_ - 1));
}

void Fir::filter(const float* in, float* out, int32_t count) {
    if (count <= 0) return;
    if (!taps_) {
        std::memset(out, 0, sizeof(float) * static_cast<size_t>(count));
        return;
    }
    const int32_t history = tapCount_ - 1;
    std::memcpy(line_ + history, in, sizeof(float) * static_cast<size_t>(count));
    vectorOps().fir(taps_, tapCount_, line_, scratch_, count);
    std::memmove(line_, line_ + count, sizeof(float) * static_cast<size_t>(history));
    std::memcpy(out, scratch_, sizeof(float) * static_cast<size_t>(count));
}

bool Fir::lineIsSilent() const {
    for (int32_t k = 0; line_ && k < tapCount_ - 1; ++k)
        if (line_[k] != 0.0f) return false;
    return true;
}

} // namespace DSP
