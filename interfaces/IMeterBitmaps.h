#pragma once
// Host-drawn meter bitmaps and the host's registry of meter views that use
// them. Optional: a host may offer neither.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IMeterBitmaps : public FUnknown {
public:
    static constexpr const TUID& iid = IMeterBitmaps_iid;

    // [ui thread] Bitmaps for a meter of the given size; one reference for the caller.
    virtual FUnknown* foreBitmap(const ViewRect* rect, int32_t meterType, int32_t thickness,
                                 uint8_t horizontal) = 0; // 4
    virtual FUnknown* backBitmap(const ViewRect* rect, int32_t meterType, uint8_t horizontal) = 0; // 5

protected:
    ~IMeterBitmaps() = default;
};

class IMeterViewRegistry : public FUnknown {
public:
    static constexpr const TUID& iid = IMeterViewRegistry_iid;

    // [ui thread] The host tells registered views (update message 1) when its
    // meter bitmaps change. Neither pointer is referenced.
    virtual tresult addMeterView(IMeterBitmaps* service, FUnknown* view) = 0; // 4
    virtual tresult removeMeterView(IMeterBitmaps* service, FUnknown* view) = 0; // 5

protected:
    ~IMeterViewRegistry() = default;
};

} // namespace Zel
