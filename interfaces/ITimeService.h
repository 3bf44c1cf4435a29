#pragma once
// The framework's clock. A host running faster than real time answers with
// its audio clock.

#include "FUnknown.h"

namespace Zel {

class ITimeService : public FUnknown {
public:
    static constexpr const TUID& iid = ITimeService_iid;

    // [ui thread]
    virtual double currentSeconds() = 0;                            // 4
    virtual tresult startTimer(int32_t id, int32_t milliseconds) = 0; // 5
    virtual tresult stopTimer(int32_t id) = 0;                      // 6
    virtual tresult isTimerRunning(int32_t id) = 0;                 // 7
    virtual double timerElapsed(int32_t id) = 0;                    // 8
    virtual tresult resetTimer(int32_t id) = 0;                     // 9
    virtual int32_t timerCount() = 0;                               // 10
    virtual double resolutionMilliseconds() = 0;                    // 11
    virtual tresult isAudioClock() = 0;                             // 12
    virtual double startSeconds() = 0;                              // 13
    virtual double sampleRate() = 0;                                // 14
    virtual double currentMilliseconds() = 0;                       // 15

protected:
    ~ITimeService() = default;
};

} // namespace Zel
