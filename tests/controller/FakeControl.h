#pragma once
// A host control as the view framework would make it: holds its value, text,
// range and flags, and reports notified changes to its listener, as the host's
// controls do.

#include <string>

#include "interfaces/IControlExtension.h"
#include "interfaces/IControlPrecision.h"
#include "interfaces/IControlValueTextHook.h"
#include "interfaces/IPlugController.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"
#include "interfaces/TextUtf16.h"

namespace ControllerTesting {

using namespace Zel;

class FakeControl : public IControlExtension, public IControlPrecision, public IControlValueTextHook {
public:
    enum class Kind { Integer, Continuous, Switch, Text };

    explicit FakeControl(Kind kind) : kind_(kind) {}
    virtual ~FakeControl() = default;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (!obj) return kInvalidArgument;
        if (answerInterface<FUnknown>(asked, static_cast<IControl*>(this), obj) ||
            answerInterface<IControl>(asked, this, obj) || answerInterface<IControlExtension>(asked, this, obj) ||
            answerInterface<IControlValueTextHook>(asked, this, obj))
            return kResultOk;
        if (kind_ == Kind::Continuous && answerInterface<IControlPrecision>(asked, this, obj)) return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    // IControl
    int32_t getKind() override { return static_cast<int32_t>(kind_); }
    tresult getName(char* buffer, int32_t size) override {
        if (buffer && size > 0) buffer[0] = 0;
        return kResultOk;
    }
    tresult setName(const char*) override { return kResultOk; }
    tresult isEnabled() override { return kResultOk; }
    tresult setEnabled(uint8_t) override { return kResultOk; }
    IPlugController* getListener() override { return listener_; }
    tresult setListener(IPlugController* listener, int32_t tag) override {
        listener_ = listener;
        tag_ = tag;
        return kResultOk;
    }
    tresult setTag(int32_t tag) override {
        tag_ = tag;
        return kResultOk;
    }
    int32_t getTag() override { return tag_; }
    int32_t getIntValue() override { return intValue_; }
    int32_t getIntMin() override { return intMin_; }
    int32_t getIntMax() override { return intMax_; }
    float getRealMin() override { return realMin_; }
    float getRealMax() override { return realMax_; }
    tresult getText(char* buffer, int32_t* size) override {
        if (!buffer || !size || *size <= 0) return kInvalidArgument;
        *size = static_cast<int32_t>(utf16ToUtf8(text_.c_str(), text_.size(), buffer, static_cast<size_t>(*size)));
        return kResultOk;
    }
    tresult setText(const char16_t* text, int32_t) override {
        text_ = text ? std::u16string(text) : std::u16string();
        ++textSets;
        return kResultOk;
    }
    tresult setIntValue(int32_t value, uint8_t notify) override {
        intValue_ = value;
        return changed(notify);
    }
    tresult setIntMin(int32_t value) override {
        intMin_ = value;
        return kResultOk;
    }
    tresult setIntMax(int32_t value) override {
        intMax_ = value;
        return kResultOk;
    }
    float getRealValue() override { return realValue_; }
    tresult setRealValue(float value, uint8_t notify) override {
        realValue_ = value;
        return changed(notify);
    }
    float getDefaultNormalized() override { return 0.0f; }
    tresult update() override { return kResultOk; }
    tresult setRealMin(float value) override {
        realMin_ = value;
        return kResultOk;
    }
    tresult setRealMax(float value) override {
        realMax_ = value;
        return kResultOk;
    }
    // Integer and switch controls count in whole steps over their range.
    float getNormalized() override {
        if (kind_ == Kind::Continuous)
            return realMax_ == realMin_ ? 0.0f : (realValue_ - realMin_) / (realMax_ - realMin_);
        const int32_t max = kind_ == Kind::Switch ? 1 : intMax_;
        const int32_t min = kind_ == Kind::Switch ? 0 : intMin_;
        return max == min ? 0.0f : static_cast<float>(intValue_ - min) / static_cast<float>(max - min);
    }
    tresult setNormalized(float value, uint8_t notify) override {
        if (kind_ == Kind::Continuous) {
            realValue_ = realMin_ + value * (realMax_ - realMin_);
        } else {
            const int32_t max = kind_ == Kind::Switch ? 1 : intMax_;
            const int32_t min = kind_ == Kind::Switch ? 0 : intMin_;
            intValue_ = min + static_cast<int32_t>(value * static_cast<float>(max - min) + 0.5f);
        }
        return changed(notify);
    }

    // IControlExtension
    float getDefaultValue() override { return defaultValue_; }
    int32_t getFlags() override { return flags_; }
    tresult setDefaultValue(float value) override {
        defaultValue_ = value;
        return kResultOk;
    }
    tresult resetToDefault(uint8_t) override { return kResultOk; }
    tresult hasFlag(int32_t flag) override { return (flags_ & flag) ? kResultOk : kResultFalse; }
    tresult setFlag(int32_t flag, uint8_t on) override {
        flags_ = on ? (flags_ | flag) : (flags_ & ~flag);
        return kResultOk;
    }

    // IControlPrecision
    tresult setPrecision(int32_t digits) override {
        precision_ = digits;
        return kResultOk;
    }
    int32_t getPrecision() override { return precision_; }

    // IControlValueTextHook
    tresult setValueStringRepresentation(IValueStringRepresentation* representation) override {
        representation_ = representation;
        return kResultOk;
    }

    Kind kind() const { return kind_; }
    const std::u16string& text() const { return text_; }
    IValueStringRepresentation* representation() const { return representation_; }
    int32_t references() {
        AddRef();
        return static_cast<int32_t>(Release());
    }

    int textSets = 0;
    int notifiedChanges = 0;

private:
    tresult changed(uint8_t notify) {
        if (notify) {
            ++notifiedChanges;
            if (listener_) listener_->controlChanged(static_cast<IControl*>(this), tag_);
        }
        return kResultOk;
    }

    RefCount refCount_;
    Kind kind_;
    IPlugController* listener_ = nullptr;
    int32_t tag_ = 0;
    int32_t intValue_ = 0, intMin_ = 0, intMax_ = 0;
    float realValue_ = 0.0f, realMin_ = 0.0f, realMax_ = 1.0f;
    float defaultValue_ = 0.0f;
    int32_t flags_ = 0;
    int32_t precision_ = -1;
    std::u16string text_;
    IValueStringRepresentation* representation_ = nullptr;
};

} // namespace ControllerTesting
