#pragma once
// A host-created control: the holder of one parameter's current value (and,
// for text controls, a text). Integer, continuous, switch and text controls
// share this table; each answers the operations that make sense for its kind.

#include "FUnknown.h"

namespace Zel {

class IPlugController;

class IControl : public FUnknown {
public:
    static constexpr const TUID& iid = IControl_iid;

    // Threads: [ui thread] unless marked; setText is [any thread].
    virtual int32_t getKind() = 0;                                          // 4
    virtual tresult getName(char* buffer, int32_t size) = 0;                // 5
    virtual tresult setName(const char* name) = 0;                          // 6
    virtual tresult isEnabled() = 0;                                        // 7
    virtual tresult setEnabled(uint8_t state) = 0;                          // 8
    virtual IPlugController* getListener() = 0;                             // 9, not referenced
    // listener: kept without a reference (the controller outlives its controls).
    virtual tresult setListener(IPlugController* listener, int32_t tag) = 0; // 10
    virtual tresult setTag(int32_t tag) = 0;                                // 11
    virtual int32_t getTag() = 0;                                           // 12
    virtual int32_t getIntValue() = 0;                                      // 13
    virtual int32_t getIntMin() = 0;                                        // 14
    virtual int32_t getIntMax() = 0;                                        // 15
    virtual float getRealMin() = 0;                                         // 16
    virtual float getRealMax() = 0;                                         // 17
    // size: in, the buffer's size; out, the text's length without terminator.
    virtual tresult getText(char* buffer, int32_t* size) = 0;               // 18
    // [any thread] The control copies the text.
    virtual tresult setText(const char16_t* text, int32_t flags) = 0;      // 19
    // notify: 1 reports the change to the listener (controlChanged).
    virtual tresult setIntValue(int32_t value, uint8_t notify) = 0;         // 20
    virtual tresult setIntMin(int32_t value) = 0;                           // 21
    virtual tresult setIntMax(int32_t value) = 0;                           // 22
    virtual float getRealValue() = 0;                                       // 23
    virtual tresult setRealValue(float value, uint8_t notify) = 0;          // 24
    virtual float getDefaultNormalized() = 0;                               // 25
    virtual tresult update() = 0;                                           // 26
    virtual tresult setRealMin(float value) = 0;                            // 27
    virtual tresult setRealMax(float value) = 0;                            // 28
    virtual float getNormalized() = 0;                                      // 29
    virtual tresult setNormalized(float value, uint8_t notify) = 0;         // 30

protected:
    ~IControl() = default;
};

} // namespace Zel
