#pragma once
// The loudness meter's processor: stereo in and out by default, the meter's
// accessor, the elapsed time of counted playback, the LU/LUFS offset, the
// offline cycle skip, and the readings the controller asks for.

#include "processor/PluginZelVu.h"

namespace Zel {

class VazEzaruZel : public PluginZelVu {
public:
    static constexpr float kLuOffset = 23.0f; // LU = LUFS + 23

    VazEzaruZel();

    // [ui thread]
    tresult initialize(FUnknown* context) override;
    void createAccessor() override;
    tresult prepareProcessing(ProcessSetupInfo& setup) override;
    // [audio thread, active] Counts the elapsed time, then the meter.
    tresult processMain(ProcessBlock& block) override;
    // [audio thread, active]
    void writeOutputParameters(IParamChanges* changes, int32_t numSamples) override;

    int64_t elapsedSamples() const { return elapsedSamples_; }
    float loudnessOffset() const { return loudnessOffset_; }

    // hh:mm:ss of the counted time (hours widen past 99).
    static void formatTime(int64_t seconds, char* text, size_t size);

protected:
    // [audio thread] Reset and unit switch side effects, then as every parameter.
    void applyParameterChange(uint32_t id, double normalized) override;
    // The unit switch follows the restored values too.
    void stateRestored() override;

private:
    struct TimeTicker {
        double interval = 44100.0;
        double accumulator = 0.0;
        bool due = false;
        void restart(double samples) {
            interval = samples;
            accumulator = 0.0;
            due = false;
        }
        void advance(int32_t samples) {
            accumulator += samples;
            if (accumulator >= interval) {
                due = true;
                accumulator -= interval;
            }
        }
        bool takeDue() {
            const bool was = due;
            due = false;
            return was;
        }
    };

    // [audio thread]
    bool blockLiesBeforeCycle(const ProcessBlock& block) const;
    void passThrough(ProcessBlock& block);
    void sendTime();
    // [ui thread, inactive; or audio thread when a block's mode differs] Offline
    // the meter evaluates every window where it arrives: exact, whatever the
    // host's speed. Realtime it hands them to its workers and never waits.
    void setMeterOffline(bool offline);

    float loudnessOffset_ = 0.0f;
    int64_t elapsedSamples_ = 0;
    TimeTicker timeTicker_;
    bool countWhilePlaying_ = true;
    bool meterOffline_ = false;
};

} // namespace Zel
