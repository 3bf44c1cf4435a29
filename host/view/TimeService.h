#pragma once
// The framework's clock: monotonic wall-clock seconds since the service
// started while the host runs live; the audio clock that the host's driver
// sets while it runs faster (or slower) than real time, so that meter
// ballistics follow the audio rather than the machine.

#include <chrono>
#include <map>
#include <mutex>

#include "interfaces/ITimeService.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class TimeService : public Zel::ITimeService {
public:
    TimeService();
    virtual ~TimeService() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    double currentSeconds() override;
    // Timers measure from their start on this clock; milliseconds is their period.
    Zel::tresult startTimer(int32_t id, int32_t milliseconds) override;
    Zel::tresult stopTimer(int32_t id) override;
    Zel::tresult isTimerRunning(int32_t id) override;
    // Seconds since the timer started (or was reset); 0 for an unknown timer.
    double timerElapsed(int32_t id) override;
    Zel::tresult resetTimer(int32_t id) override;
    int32_t timerCount() override;
    double resolutionMilliseconds() override;
    Zel::tresult isAudioClock() override;
    double startSeconds() override { return 0.0; }
    // The audio clock's sample rate; 0 while the clock is live.
    double sampleRate() override;
    double currentMilliseconds() override { return currentSeconds() * 1000.0; }

    // [any thread] Switches to the audio clock (or moves it) to seconds.
    void setAudioClockSeconds(double seconds, double sampleRate = 0.0);
    // [any thread] Back to the wall clock.
    void useWallClock();

private:
    double nowLocked() const;

    struct Timer {
        double start = 0.0;
        int32_t period = 0;
    };

    Zel::RefCount refCount_;
    mutable std::mutex lock_;
    std::chrono::steady_clock::time_point origin_;
    bool audioClock_ = false;
    double audioSeconds_ = 0.0;
    double sampleRate_ = 0.0;
    std::map<int32_t, Timer> timers_;
};

} // namespace NivoloHost
