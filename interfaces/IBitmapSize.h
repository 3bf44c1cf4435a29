#pragma once
// Sizes of a host bitmap: in pixels as doubles, or as its rectangle (the older
// interface, asked when the first is missing).

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IBitmapSize : public FUnknown {
public:
    static constexpr const TUID& iid = IBitmapSize_iid;
    // [ui thread]
    virtual tresult getSize(double* width, double* height) = 0;

protected:
    ~IBitmapSize() = default;
};

class IBitmapRectService : public FUnknown {
public:
    static constexpr const TUID& iid = IBitmapRectService_iid;
    // [ui thread]
    virtual tresult getName(char* buffer, int32_t size) = 0;   // 4
    virtual tresult isLoaded() = 0;                            // 5
    virtual tresult getRect(ViewRect* rect) = 0;               // 6

protected:
    ~IBitmapRectService() = default;
};

} // namespace Zel
