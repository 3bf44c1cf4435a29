#pragma once
// The host's meter preferences (ballistics). Optional: a host may not offer it.
// Slots the module never calls are kept as placeholders to hold the order.

#include "FUnknown.h"

namespace Zel {

class IMeterSettings : public FUnknown {
public:
    static constexpr const TUID& iid = IMeterSettings_iid;

    // All operations: [ui thread].
    virtual tresult reserved4() = 0; // 4
    virtual tresult reserved5() = 0; // 5
    virtual tresult reserved6() = 0; // 6
    virtual tresult reserved7() = 0; // 7
    virtual tresult reserved8() = 0; // 8
    virtual tresult reserved9() = 0; // 9
    virtual tresult reserved10() = 0; // 10
    virtual tresult reserved11() = 0; // 11
    virtual tresult reserved12() = 0; // 12
    virtual tresult reserved13() = 0; // 13
    virtual tresult reserved14() = 0; // 14
    virtual tresult reserved15() = 0; // 15
    virtual tresult reserved16() = 0; // 16
    virtual tresult reserved17() = 0; // 17
    virtual tresult reserved18() = 0; // 18
    virtual tresult reserved19() = 0; // 19
    virtual tresult reserved20() = 0; // 20
    virtual tresult reserved21() = 0; // 21
    virtual tresult reserved22() = 0; // 22
    virtual tresult reserved23() = 0; // 23
    virtual tresult reserved24() = 0; // 24
    virtual tresult reserved25() = 0; // 25
    virtual tresult reserved26() = 0; // 26
    virtual tresult reserved27() = 0; // 27
    virtual tresult reserved28() = 0; // 28
    // The per-second release, as 1 - rate.
    virtual double releaseValue(double a, double b, int32_t meterType) = 0; // 29
    virtual tresult reserved30() = 0; // 30
    // The per-second peak-hold release, as 1 - rate.
    virtual double holdReleaseValue(double a, double b, int32_t meterType) = 0; // 31
    virtual tresult reserved32() = 0; // 32
    // The peak-hold time in seconds.
    virtual double holdTime(int32_t meterType) = 0; // 33

protected:
    ~IMeterSettings() = default;
};

} // namespace Zel
