#pragma once
// What the framework's four control classes share: a value within a range,
// the listener that hears user changes, defaults and flags, and the
// controller's value-text hook.

#include <string>

#include "interfaces/IControlExtension.h"
#include "interfaces/IControlValueTextHook.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IValueStringRepresentation.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class ControlBase : public Zel::IControlExtension, public Zel::IControlValueTextHook {
public:
    // Answered only by our own controls, so that the framework can reach the
    // class behind an IControl it made.
    static constexpr Zel::TUID iid = Zel::tuidFromRegistry("{4B7E2D90-61A3-4C5F-8E17-B2D94A06C3F1}");

    // getKind() answers.
    enum Kind : int32_t { kInteger = 0, kContinuous = 1, kSwitch = 2, kText = 3 };

    virtual ~ControlBase() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // IControl
    int32_t getKind() override { return kind_; }
    Zel::tresult getName(char* buffer, int32_t size) override;
    Zel::tresult setName(const char* name) override;
    Zel::tresult isEnabled() override { return enabled_ ? Zel::kResultTrue : Zel::kResultFalse; }
    Zel::tresult setEnabled(uint8_t state) override;
    Zel::IPlugController* getListener() override { return listener_; }
    Zel::tresult setListener(Zel::IPlugController* listener, int32_t tag) override;
    Zel::tresult setTag(int32_t tag) override;
    int32_t getTag() override { return tag_; }
    int32_t getIntValue() override;
    int32_t getIntMin() override;
    int32_t getIntMax() override;
    float getRealMin() override { return static_cast<float>(min_); }
    float getRealMax() override { return static_cast<float>(max_); }
    // Only text controls hold a text: the others answer kResultFalse and size 0.
    Zel::tresult getText(char* buffer, int32_t* size) override;
    Zel::tresult setText(const char16_t* text, int32_t flags) override;
    Zel::tresult setIntValue(int32_t value, uint8_t notify) override;
    Zel::tresult setIntMin(int32_t value) override;
    Zel::tresult setIntMax(int32_t value) override;
    float getRealValue() override { return static_cast<float>(value_); }
    Zel::tresult setRealValue(float value, uint8_t notify) override;
    float getDefaultNormalized() override { return static_cast<float>(normalise(default_)); }
    Zel::tresult update() override { return Zel::kResultOk; }
    Zel::tresult setRealMin(float value) override;
    Zel::tresult setRealMax(float value) override;
    // (value - min) / (max - min); 0 for an empty range.
    float getNormalized() override { return static_cast<float>(normalise(value_)); }
    Zel::tresult setNormalized(float value, uint8_t notify) override;

    // IControlExtension
    float getDefaultValue() override { return static_cast<float>(default_); }
    int32_t getFlags() override { return flags_; }
    Zel::tresult setDefaultValue(float value) override;
    Zel::tresult resetToDefault(uint8_t notify) override;
    Zel::tresult hasFlag(int32_t flag) override;
    Zel::tresult setFlag(int32_t flag, uint8_t on) override;

    // IControlValueTextHook
    Zel::tresult setValueStringRepresentation(Zel::IValueStringRepresentation* representation) override;

    // The text a skin shows for this control: the hook's text for the current
    // value when a hook is set and answers, else the control's own text.
    std::string valueText();
    double value() const { return value_; }
    Zel::IControl* asControl() { return static_cast<Zel::IControlExtension*>(this); }

protected:
    ControlBase(Kind kind, double min, double max);

    // The text without a hook.
    virtual std::string ownText() = 0;
    // Integer kinds hold whole numbers.
    virtual double quantise(double value) const { return value; }

    // Stores value (clamped to the range, quantised) and, with notify, tells
    // the listener.
    Zel::tresult changeValue(double value, uint8_t notify);

private:
    double normalise(double value) const;
    void setRange(double min, double max);

    Zel::RefCount refCount_;
    Kind kind_;
    std::string name_;
    bool enabled_ = true;
    Zel::IPlugController* listener_ = nullptr;
    int32_t tag_ = -1;
    double min_;
    double max_;
    double value_;
    double default_;
    int32_t flags_ = 0;
    Zel::IValueStringRepresentation* representation_ = nullptr;
};

} // namespace NivoloHost
