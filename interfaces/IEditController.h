#pragma once
// The controller half of a plug-in: parameters, value texts, the editor.

#include <cstddef>

#include "IPluginBase.h"

namespace Zel {

class IByteStream;
class IComponentHandler;
class IPlugView;

struct ParameterInfo {
    static constexpr int32_t kAutomatable = 0x1;
    static constexpr int32_t kIsList = 0x8;
    static constexpr int32_t kIsBypass = 0x10000;

    int32_t id;
    char16_t title[128];
    char16_t shortTitle[128];
    char16_t units[128];
    int32_t stepCount;              // 0 continuous, -1 none, else steps
    double defaultNormalizedValue;
    int32_t unitId;
    int32_t flags;
};
static_assert(offsetof(ParameterInfo, title) == 4);
static_assert(offsetof(ParameterInfo, stepCount) == 772);
static_assert(offsetof(ParameterInfo, defaultNormalizedValue) == 776);
static_assert(offsetof(ParameterInfo, unitId) == 784);
static_assert(sizeof(ParameterInfo) == 792);

using String128 = char16_t[128];

class IEditController : public IPluginBase {
public:
    static constexpr const TUID& iid = IEditController_iid;

    // All operations: [ui thread].
    // The processor's state (as its getState wrote it); the stream stays the caller's.
    virtual tresult applyProcessorState(IByteStream* stream) = 0;
    virtual tresult setState(IByteStream* stream) = 0;
    virtual tresult getState(IByteStream* stream) = 0;
    virtual int32_t getParameterCount() = 0;
    virtual tresult describeParameter(int32_t index, ParameterInfo& info) = 0;
    virtual tresult valueToText(int32_t id, double normalizedValue, String128 text) = 0;
    virtual tresult textToValue(int32_t id, const char16_t* text, double& normalizedValue) = 0;
    virtual double normalizedToPlainValue(int32_t id, double normalizedValue) = 0;
    virtual double plainToNormalizedValue(int32_t id, double plainValue) = 0;
    virtual double normalizedValueOf(int32_t id) = 0;
    // The host delivers the processor's output values here.
    virtual tresult setNormalizedValue(int32_t id, double normalizedValue) = 0;
    // handler: referenced until replaced or terminate.
    virtual tresult setEditHandler(IComponentHandler* handler) = 0;
    // One reference for the caller; null when there is no such view.
    virtual IPlugView* createView(const char* name) = 0;

protected:
    ~IEditController() = default;
};

class IEditController2 : public FUnknown {
public:
    static constexpr const TUID& iid = IEditController2_iid;

    // [ui thread]
    virtual tresult setKnobMode(int32_t mode) = 0;
    virtual tresult openHelp(uint8_t onlyCheck) = 0;
    virtual tresult openAboutBox(uint8_t onlyCheck) = 0;

protected:
    ~IEditController2() = default;
};

} // namespace Zel
