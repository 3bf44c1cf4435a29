#include "host/view/ControlBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/view/StringValue.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

ControlBase::ControlBase(Kind kind, double min, double max)
    : kind_(kind), min_(min), max_(max), value_(min), default_(min) {}

tresult ControlBase::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IControlExtension>(asked, this, obj) ||
        answerInterface<IControl>(asked, static_cast<IControlExtension*>(this), obj) ||
        answerInterface<IControlValueTextHook>(asked, this, obj) || answerInterface<ControlBase>(asked, this, obj) ||
        answerInterface<FUnknown>(asked, static_cast<IControlExtension*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult ControlBase::getName(char* buffer, int32_t size) {
    if (!buffer || size < 1) return kInvalidArgument;
    size_t n = std::min(name_.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, name_.data(), n);
    buffer[n] = 0;
    return kResultOk;
}

tresult ControlBase::setName(const char* name) {
    name_ = name ? name : "";
    return kResultOk;
}

tresult ControlBase::setEnabled(uint8_t state) {
    enabled_ = state != 0;
    return kResultOk;
}

tresult ControlBase::setListener(IPlugController* listener, int32_t tag) {
    listener_ = listener;
    tag_ = tag;
    return kResultOk;
}

tresult ControlBase::setTag(int32_t tag) {
    tag_ = tag;
    return kResultOk;
}

int32_t ControlBase::getIntValue() { return static_cast<int32_t>(std::lround(value_)); }
int32_t ControlBase::getIntMin() { return static_cast<int32_t>(std::lround(min_)); }
int32_t ControlBase::getIntMax() { return static_cast<int32_t>(std::lround(max_)); }

tresult ControlBase::getText(char* buffer, int32_t* size) {
    if (buffer && size && *size > 0) buffer[0] = 0;
    if (size) *size = 0;
    return kResultFalse;
}

tresult ControlBase::setText(const char16_t*, int32_t) { return kResultFalse; }

double ControlBase::normalise(double value) const {
    if (!(max_ > min_)) return 0.0;
    return std::clamp((value - min_) / (max_ - min_), 0.0, 1.0);
}

void ControlBase::setRange(double min, double max) {
    min_ = min;
    max_ = max;
    // While a caller sets the two ends one after the other the range may be
    // inverted for a moment; the value is kept then.
    if (min_ <= max_) value_ = std::clamp(value_, min_, max_);
}

tresult ControlBase::changeValue(double value, uint8_t notify) {
    if (std::isnan(value)) return kInvalidArgument;
    if (min_ <= max_) value = std::clamp(value, min_, max_);
    value_ = quantise(value);
    if (notify && listener_) listener_->controlChanged(asControl(), tag_);
    return kResultOk;
}

tresult ControlBase::setIntValue(int32_t value, uint8_t notify) { return changeValue(value, notify); }
tresult ControlBase::setRealValue(float value, uint8_t notify) { return changeValue(value, notify); }

tresult ControlBase::setNormalized(float value, uint8_t notify) {
    if (std::isnan(value)) return kInvalidArgument;
    double n = std::clamp(static_cast<double>(value), 0.0, 1.0);
    return changeValue(min_ + n * (max_ - min_), notify);
}

tresult ControlBase::setIntMin(int32_t value) {
    setRange(value, max_);
    return kResultOk;
}

tresult ControlBase::setIntMax(int32_t value) {
    setRange(min_, value);
    return kResultOk;
}

tresult ControlBase::setRealMin(float value) {
    setRange(value, max_);
    return kResultOk;
}

tresult ControlBase::setRealMax(float value) {
    setRange(min_, value);
    return kResultOk;
}

tresult ControlBase::setDefaultValue(float value) {
    default_ = value;
    return kResultOk;
}

tresult ControlBase::resetToDefault(uint8_t notify) { return changeValue(default_, notify); }

tresult ControlBase::hasFlag(int32_t flag) { return flag && (flags_ & flag) == flag ? kResultTrue : kResultFalse; }

tresult ControlBase::setFlag(int32_t flag, uint8_t on) {
    flags_ = on ? (flags_ | flag) : (flags_ & ~flag);
    return kResultOk;
}

tresult ControlBase::setValueStringRepresentation(IValueStringRepresentation* representation) {
    representation_ = representation;
    return kResultOk;
}

std::string ControlBase::valueText() {
    if (representation_) {
        auto text = IPtr<StringValue>::adopt(new StringValue);
        if (representation_->valueToText(asControl(), text.get()) == kResultOk && text->wasSet())
            return text->utf8();
    }
    return ownText();
}

} // namespace NivoloHost
