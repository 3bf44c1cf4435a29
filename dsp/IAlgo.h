#pragma once
// The interface of every signal-processing object of the meter.

#include "dsp/IAlgoOperations.h"

namespace DSP {

template <typename T>
class IAlgo : public IAlgoOperations<T> {
public:
    virtual ~IAlgo() = default;
    // [ui thread] Buffers are acquired by initialize and released by terminate.
    virtual int32_t initialize() = 0;
    virtual int32_t terminate() = 0;
    virtual void reserved18() = 0;
    virtual void reserved19() = 0;
    virtual int32_t getLatencyAgain() = 0;
    virtual T getSampleRate() = 0;
    // Restarts everything measured.
    virtual void reset() = 0;
};

} // namespace DSP
