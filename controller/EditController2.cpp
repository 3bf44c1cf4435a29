#include "controller/EditController2.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsp/SavedState.h"
#include "editor/HostFramework.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IByteStream.h"
#include "interfaces/IControlValueTextHook.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/IStringValue.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"

namespace Zel {

using Param::ParameterRecord;

namespace {

// An integer control's value from a restored plain value, kept inside int32.
int32_t roundedToInt(double value) {
    const double v = std::trunc(value + 0.5);
    if (!(v > -2147483648.0)) return INT32_MIN;
    if (v > 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// True when format holds exactly one conversion and it takes a double.
bool isSingleRealFormat(const char* format) {
    int conversions = 0;
    const char* p = format;
    while (*p) {
        if (*p++ != '%') continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        while (*p && std::strchr("-+ #0", *p)) ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        if (*p == '.') {
            ++p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        }
        if (*p == 'l') ++p;
        if (*p == '\0' || !std::strchr("fFeEgGaA", *p)) return false;
        ++p;
        ++conversions;
    }
    return conversions == 1;
}

} // namespace

EditController2::EditController2(const ParameterRecord* parameters, int32_t parameterCount,
                                 const Param::UnitRecord* units, int32_t unitCount, bool standalone)
    : unitInfo_(new Param::CUnitInfo(units, unitCount)), standalone_(standalone) {
    replaceParameterTable(parameters, parameterCount);
}

EditController2::~EditController2() {
    if (parameters_) parameters_->Release();
    if (unitInfo_) unitInfo_->Release();
}

void EditController2::replaceParameterTable(const ParameterRecord* table, int32_t count) {
    if (parameters_) parameters_->Release();
    parameters_ = new Param::ParameterInfoAccessor(table, count);
    recordCount_ = parameters_->count();
}

tresult EditController2::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPlugController>(asked, this, obj) || answerInterface<IPlugController2>(asked, this, obj) ||
        answerInterface<IPlugController3>(asked, this, obj) || answerInterface<IPlugController4>(asked, this, obj) ||
        answerInterface<IViewBuilder>(asked, this, obj) || answerInterface<IIdleHandler>(asked, this, obj) ||
        answerInterface<IValueStringRepresentation>(asked, this, obj))
        return kResultOk;
    // The unit table is answered by its own object.
    if (unitInfo_ && answerInterface<IUnitInfo>(asked, unitInfo_, obj)) return kResultOk;
    if (answerInterface<IEditControllerHostEditing>(asked, this, obj) ||
        answerInterface<IXmlRepresentationController>(asked, this, obj) ||
        answerInterface<IEditController>(asked, this, obj) || answerInterface<IEditController2>(asked, this, obj))
        return kResultOk;
    return ComponentBase::QueryInterface(asked, obj);
}

// ---- Life cycle ----------------------------------------------------------------

tresult EditController2::initialize(FUnknown* context) {
    const tresult result = EditController::initialize(context);
    if (result != kResultOk) return result;
    if (!standalone_) acquireHostFramework(context);
    if (openControlList())
        for (int32_t index = 0; index < recordCount_; ++index)
            if (createRecordControl(index)) appendRestoreIndex(index);
    attachValueStrings();
    return kResultOk;
}

tresult EditController2::terminate() {
    controls_.reset();
    restoreOrder_.clear();
    if (frameworkAcquired_) {
        frameworkAcquired_ = false;
        HostFramework::releaseForController();
    }
    return EditController::terminate();
}

bool EditController2::acquireHostFramework(FUnknown* context) {
    if (!frameworkAcquired_) frameworkAcquired_ = HostFramework::acquireForController(context);
    return frameworkAcquired_;
}

bool EditController2::openControlList() {
    if (!controls_) {
        IHostFramework* root = HostFramework::root();
        if (!root) return false;
        controls_ = std::make_unique<ControlList>(root);
        controls_->setListener(static_cast<IPlugController*>(this));
    }
    return true;
}

IControl* EditController2::createRecordControl(int32_t index) {
    const ParameterRecord* record = parameters_->getRecordByIndex(index);
    if (!record || !controls_) return nullptr;
    ControlList::Setup setup;
    switch (record->kind) {
    case ParameterRecord::kInteger: setup.kind = ControlList::Kind::Integer; break;
    case ParameterRecord::kContinuous:
        setup.kind = ControlList::Kind::Continuous;
        setup.precision = record->precision;
        break;
    case ParameterRecord::kOnOff: setup.kind = ControlList::Kind::Switch; break;
    default: return nullptr;
    }
    setup.minValue = record->minValue;
    setup.maxValue = record->maxValue;
    setup.initialValue = record->defaultValue;
    setup.automatable = (record->flags & ParameterRecord::kAutomatable) != 0;
    setup.wrapAround = setup.kind != ControlList::Kind::Switch && (record->flags & ParameterRecord::kWrapAround) != 0;
    return controls_->createControl(static_cast<int32_t>(record->id), record->name, setup);
}

void EditController2::attachValueStrings() {
    if (!controls_) return;
    for (int32_t i = 0; i < controls_->count(); ++i) {
        IControl* control = controls_->at(i);
        if (!control) continue;
        const ParameterRecord* record = parameters_->getRecordById(static_cast<uint32_t>(control->getTag()));
        if (!record || record->kind == ParameterRecord::kText) continue;
        if (IPtr<IControlValueTextHook> hook = queryInterface<IControlValueTextHook>(control))
            hook->setValueStringRepresentation(static_cast<IValueStringRepresentation*>(this));
    }
}

// ---- State ------------------------------------------------------------------------

tresult EditController2::applyProcessorState(IByteStream* stream) {
    int32_t byteCount = 0;
    if (controls_ && DSP::SavedState::readByteCount(stream, byteCount))
        loadControlState(stream, DSP::SavedState::roundedByteCount(byteCount));
    controlStateLoaded();
    return kResultOk;
}

void EditController2::loadControlState(IByteStream* stream, int32_t size) {
    if (!controls_ || !stream) return;
    const int32_t entries = size / DSP::SavedState::kRecordStride;
    loading_ = true;
    std::list<int32_t> pending = restoreOrder_;
    DSP::ValueRecord entry{};
    // A byte count that claims millions of entries costs no more than the stream holds.
    for (int32_t e = 0; e < entries && DSP::SavedState::readRecord(stream, entry); ++e) {
        const auto id = static_cast<int32_t>(entry.id); // the processor's name is its key; the id decides
        const double value = entry.value;
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            const ParameterRecord* record = parameters_->getRecordByIndex(*it);
            if (!record || static_cast<int32_t>(record->id) != id) continue;
            IControl* control = controls_->findByTag(id);
            if (!control) continue;
            switch (record->kind) {
            case ParameterRecord::kInteger:
            case ParameterRecord::kList: control->setIntValue(roundedToInt(value), 1); break;
            case ParameterRecord::kOnOff: control->setIntValue(value > 0.5 ? 1 : 0, 1); break;
            default: control->setRealValue(static_cast<float>(value), 1); break;
            }
            pending.erase(it);
            // A control that reports to us has just done so; any other is reported here.
            if (control->getListener() != static_cast<IPlugController*>(this))
                controlChanged(control, control->getTag());
            break;
        }
    }
    loading_ = false;
}

// ---- Parameters -----------------------------------------------------------------

int32_t EditController2::getParameterCount() { return controls_ ? controls_->count() : 0; }

tresult EditController2::describeParameter(int32_t index, ParameterInfo& info) {
    const ParameterRecord* record = parameters_->getRecordByIndex(index);
    if (!record || record->kind == ParameterRecord::kHidden) return kResultFalse;
    info.id = static_cast<int32_t>(record->id);
    copyText(record->title, info.title);
    copyText(record->name, info.shortTitle);
    copyText(record->units, info.units);
    if (record->stepSize == 0.0 || record->kind == ParameterRecord::kContinuous ||
        record->kind == ParameterRecord::kContinuousNoSteps)
        info.stepCount = 0;
    else if (record->maxValue == record->minValue)
        info.stepCount = -1;
    else
        info.stepCount = static_cast<int32_t>((record->maxValue - record->minValue) / record->stepSize);
    info.defaultNormalizedValue = plainToNormalizedValue(info.id, record->defaultValue);
    info.unitId = record->unitId;
    uint32_t flags = record->flags & ~uint32_t(ParameterRecord::kInternal);
    if (flags & ParameterRecord::kBypass) flags |= ParameterRecord::kAutomatable;
    if (record->kind == ParameterRecord::kList) flags |= ParameterRecord::kIsList;
    info.flags = static_cast<int32_t>(flags);
    return kResultOk;
}

tresult EditController2::getParameterInfoByTag(int32_t tag, ParameterInfo& info) {
    int32_t index = 0;
    if (!parameters_ || parameters_->getParameterIndex(static_cast<uint32_t>(tag), index) != kResultOk)
        return kResultFalse;
    return describeParameter(index, info);
}

tresult EditController2::valueToText(int32_t id, double normalizedValue, String128 text) {
    if (!text) return kInvalidArgument;
    const ParameterRecord* record = parameters_->getRecordById(static_cast<uint32_t>(id));
    if (!record) {
        text[0] = 0;
        return kResultOk;
    }
    if (record->kind == ParameterRecord::kOnOff) {
        copyText(normalizedValue < 0.5 ? "Off" : "On", text);
        return kResultOk;
    }
    char buffer[128];
    formatValue(record->format, parameters_->toPlain(record->id, normalizedValue), buffer, sizeof buffer);
    copyText(buffer, text);
    return kResultOk;
}

tresult EditController2::textToValue(int32_t id, const char16_t* text, double& normalizedValue) {
    char buffer[256];
    utf16ToUtf8(text, 128, buffer, sizeof buffer);
    char* end = nullptr;
    const double number = std::strtod(buffer, &end);
    if (end == buffer || !std::isfinite(number)) return kResultFalse;
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    if (*end != '\0') return kResultFalse;
    normalizedValue = parameters_->toNormalized(static_cast<uint32_t>(id), number);
    return kResultOk;
}

double EditController2::normalizedToPlainValue(int32_t id, double normalizedValue) {
    return parameters_ ? parameters_->toPlain(static_cast<uint32_t>(id), normalizedValue) : normalizedValue;
}

double EditController2::plainToNormalizedValue(int32_t id, double plainValue) {
    return parameters_ ? parameters_->toNormalized(static_cast<uint32_t>(id), plainValue) : plainValue;
}

double EditController2::normalizedValueOf(int32_t id) {
    IControl* control = controls_ ? controls_->findByTag(id) : nullptr;
    return control ? static_cast<double>(control->getNormalized()) : 0.0;
}

tresult EditController2::setNormalizedValue(int32_t id, double normalizedValue) {
    return setControlNormalized(id, normalizedValue);
}

tresult EditController2::setControlNormalized(int32_t tag, double normalizedValue) {
    IControl* control = controls_ ? controls_->findByTag(tag) : nullptr;
    if (!control) return kResultFalse;
    control->setNormalized(static_cast<float>(normalizedValue), 0);
    return kResultOk;
}

tresult EditController2::setControlPlainValue(int32_t tag, double plainValue) {
    IControl* control = controls_ ? controls_->findByTag(tag) : nullptr;
    if (!control) return kResultFalse;
    const ParameterRecord* record = parameters_->getRecordById(static_cast<uint32_t>(tag));
    const bool whole = record && (record->kind == ParameterRecord::kInteger || record->kind == ParameterRecord::kList ||
                                  record->kind == ParameterRecord::kOnOff);
    if (whole)
        control->setIntValue(roundedToInt(plainValue), 0);
    else
        control->setRealValue(static_cast<float>(plainValue), 0);
    return kResultOk;
}

void EditController2::selectRecords(const ParameterRecord* source, int32_t sourceCount, ParameterRecord* destination,
                                    int32_t& count, const int32_t* ids, int32_t idCount) {
    count = 0;
    if (!source || !destination || !ids) return;
    for (int32_t i = 0; i < idCount; ++i) {
        destination[count].kind = ParameterRecord::kHidden;
        for (int32_t s = 0; s < sourceCount; ++s) {
            if (static_cast<int32_t>(source[s].id) != ids[i]) continue;
            destination[count++] = source[s];
            break;
        }
    }
}

// ---- Host view framework ----------------------------------------------------------

tresult EditController2::findControl(const char* name, IControl** control) {
    if (!control) return kResultFalse;
    *control = nullptr;
    IControl* found = controls_ && name ? controls_->findByName(name) : nullptr;
    if (!found) return kResultFalse;
    found->AddRef();
    *control = found;
    return kResultOk;
}

tresult EditController2::controlChanged(IControl* control, int32_t tag) {
    if (!control) return kInvalidArgument;
    const float value = control->getNormalized();
    setControlNormalized(tag, value);
    if (!loading_ && componentHandler()) applyEdit(tag, value);
    return kResultOk;
}

tresult EditController2::beginGesture(IControl* control) {
    if (control && componentHandler()) startEdit(control->getTag());
    return kResultOk;
}

tresult EditController2::endGesture(IControl* control) {
    if (control && componentHandler()) finishEdit(control->getTag());
    return kResultOk;
}

tresult EditController2::createView(const char*, const ViewRect*, FUnknown**) { return kNotImplemented; }

tresult EditController2::valueToText(IControl* control, IStringValue* text) {
    if (!control || !text) return kInvalidArgument;
    String128 buffer{};
    if (valueToText(control->getTag(), control->getNormalized(), buffer) != kResultOk) return kResultFalse;
    text->setText(buffer);
    return kResultOk;
}

tresult EditController2::textToValue(IControl* control, const char16_t* text) {
    if (!control || !text) return kInvalidArgument;
    double value = 0.0;
    if (textToValue(control->getTag(), text, value) != kResultOk) return kResultFalse;
    control->setNormalized(static_cast<float>(value), 1);
    return kResultOk;
}

// ---- Messages ------------------------------------------------------------------------

namespace {
// A message ready to be filled, or none when nobody would receive it.
IPtr<IMessageObject> newMessage(IMessageObject* allocated, const char* id) {
    IPtr<IMessageObject> message = IPtr<IMessageObject>::adopt(allocated);
    if (!message || !message->attributeSet()) return {};
    message->assignMessageId(id);
    return message;
}
} // namespace

tresult EditController2::sendIntMessage(const char* id, int64_t value) {
    if (!peerConnection()) return kResultFalse;
    IPtr<IMessageObject> message = newMessage(allocateMessage(), id);
    if (!message) return kResultFalse;
    message->attributeSet()->setInt(id, value);
    return sendMessage(message.get());
}

tresult EditController2::sendStringMessage(const char* id, const char16_t* text) {
    if (!peerConnection()) return kResultFalse;
    IPtr<IMessageObject> message = newMessage(allocateMessage(), id);
    if (!message) return kResultFalse;
    message->attributeSet()->setString(id, text ? text : u"");
    return sendMessage(message.get());
}

tresult EditController2::sendBinaryMessage(const char* id, const void* data, uint32_t size) {
    if (!peerConnection()) return kResultFalse;
    IPtr<IMessageObject> message = newMessage(allocateMessage(), id);
    if (!message) return kResultFalse;
    message->attributeSet()->setBinary("binary", data, size);
    return sendMessage(message.get());
}

// ---- Texts ------------------------------------------------------------------------------

void EditController2::formatValue(const char* format, double plain, char* out, size_t size) {
    if (!format || format[0] == '\0' || !isSingleRealFormat(format)) format = kDefaultFormat;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(out, size, format, plain);
#pragma GCC diagnostic pop
}

void EditController2::copyText(const char* text, String128 out) { utf8ToUtf16(text ? text : "", out, 128); }

} // namespace Zel
