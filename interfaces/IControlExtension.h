#pragma once
// The control table extended by defaults and behaviour flags.

#include "IControl.h"

namespace Zel {

class IControlExtension : public IControl {
public:
    static constexpr const TUID& iid = IControlExtension_iid;

    static constexpr int32_t kFlagAutomatable = 1;
    static constexpr int32_t kFlagWrapAround = 16;

    // [ui thread]
    virtual float getDefaultValue() = 0;                        // 31
    virtual int32_t getFlags() = 0;                             // 32
    virtual tresult setDefaultValue(float value) = 0;           // 33
    virtual tresult resetToDefault(uint8_t notify) = 0;         // 34
    virtual tresult hasFlag(int32_t flag) = 0;                  // 35
    virtual tresult setFlag(int32_t flag, uint8_t on) = 0;      // 36

protected:
    ~IControlExtension() = default;
};

} // namespace Zel
