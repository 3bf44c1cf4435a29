#pragma once
// The processor's accessor over the meter: the twelve-parameter table, the
// meter as its algorithm, the per-channel input peaks as read-and-clear
// readings, and the arrangement set-up handed to the meter whole.

#include "dsp/AlgoAccessorVu.h"
#include "dsp/VazEzaru.h"

namespace DSP {

class VazEzaruAcc : public AlgoAccessorVu {
public:
    // Creates the meter (with worker threads), initialises and resets it, and
    // fills the values with the defaults.
    VazEzaruAcc(double sampleRate, uint32_t maxSamplesPerCall);

    // Input peaks of channels 0..11 (ids 15..26) are cleared by reading them.
    double getValue(int32_t id) override;
    int32_t setArrangements(uint64_t input, uint64_t output, uint64_t aux) override;
    // Clears the meter's held RMS values.
    void clearOutputPeak() override;
    // [audio thread, active] The meter passes its input through unchanged: one
    // pass over the input gives the input and the output peaks.
    void processRoutine(float** in, float** out, int32_t count) override;

    VazEzaru* meter() const { return static_cast<VazEzaru*>(algorithm()); }
};

} // namespace DSP
