#include "controller/SmallVazEzaruController.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "controller/ParameterIds.h"
#include "controller/ParameterTables.h"
#include "editor/HostFramework.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/MeterViewFactory.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/IPlugView.h"

namespace Zel {

using Param::ParameterRecord;

namespace {

// The readings whose texts follow the unit switch's floor.
bool isLoudnessReading(int32_t id) {
    switch (id) {
    case Param::kLoudnessM:
    case Param::kLoudnessS:
    case Param::kLoudnessI:
    case Param::kLoudnessMMax:
    case Param::kLoudnessSTMax: return true;
    default: return false;
    }
}

} // namespace

SmallVazEzaruController::SmallVazEzaruController()
    : EditController2Vu(Param::meterParameters(), Param::kMeterParameterCount, Param::controllerOnlyParameters(),
                        Param::kControllerOnlyParameterCount, Param::unitRecords(), Param::kUnitCount) {}

SmallVazEzaruController::~SmallVazEzaruController() {
    meterTags_.clear();
    releaseMomentaryMeter();
}

// ---- Life cycle --------------------------------------------------------------------

tresult SmallVazEzaruController::initialize(FUnknown* context) {
    const tresult result = EditController2Vu::initialize(context);
    if (result != kResultOk) return result;
    openViewControls();
    return kResultOk;
}

tresult SmallVazEzaruController::terminate() {
    releaseMomentaryMeter();
    viewControls_.reset();
    return EditController2Vu::terminate();
}

void SmallVazEzaruController::openViewControls() {
    IHostFramework* root = HostFramework::root();
    if (viewControls_ || !root) return;
    viewControls_ = std::make_unique<ControlList>(root);
    // Display only: no listener, so it reports no user changes.
    ControlList::Setup setup;
    setup.kind = ControlList::Kind::Continuous;
    setup.minValue = 0.0;
    setup.maxValue = 1.0;
    setup.initialValue = 0.0;
    setup.precision = -1;
    viewControls_->createControl(kIndicatorTag, kIndicatorName, setup);
}

IControl* SmallVazEzaruController::createRecordControl(int32_t index) {
    const ParameterRecord* record = parameters()->getRecordByIndex(index);
    if (!record || record->kind != ParameterRecord::kText || !controls())
        return EditController2Vu::createRecordControl(index);
    ControlList::Setup setup;
    setup.kind = ControlList::Kind::Text;
    setup.initialText = "";
    setup.automatable = (record->flags & ParameterRecord::kAutomatable) != 0;
    return controls()->createControl(static_cast<int32_t>(record->id), record->name, setup);
}

void SmallVazEzaruController::createMeterData() {
    EditController2Vu::createMeterData();
    if (std::find(meterTags_.begin(), meterTags_.end(), int32_t(Param::kLoudnessM)) == meterTags_.end())
        meterTags_.push_back(Param::kLoudnessM);
    if (momentaryMeter_) return;
    momentaryMeter_ = new LinearVuMeterPhData(meterTags_);
    momentaryMeter_->setEntryCount(1);
    momentaryMeter_->setValue(kColumnCountId, 1.0f);
}

void SmallVazEzaruController::releaseMomentaryMeter() {
    if (LinearVuMeterPhData* meter = std::exchange(momentaryMeter_, nullptr)) meter->Release();
}

// ---- Readings and texts ------------------------------------------------------------

double SmallVazEzaruController::windowPosition(double plain) const {
    const double position = (plain - (luMode_ ? kWindowBottomLu : kWindowBottomLufs)) / kWindowSpan;
    return std::clamp(position, 0.0, 1.0);
}

tresult SmallVazEzaruController::setNormalizedValue(int32_t id, double normalizedValue) {
    switch (id) {
    case Param::kLoudnessM:
        if (momentaryMeter_)
            momentaryMeter_->setValue(Param::kLoudnessM,
                                      static_cast<float>(windowPosition(normalizedToPlainValue(id, normalizedValue))));
        break;
    case Param::kLoudnessS:
        if (IControl* indicator = viewControls_ ? viewControls_->findByTag(kIndicatorTag) : nullptr)
            indicator->setRealValue(static_cast<float>(windowPosition(normalizedToPlainValue(id, normalizedValue))), 0);
        break;
    case Param::kResetLoudness:
        if (momentaryMeter_) momentaryMeter_->clearMaxima();
        break;
    case Param::kLoudnessMMax:
        // The peak value is passed on as received.
        if (momentaryMeter_) momentaryMeter_->setValue(kPeakValueId, static_cast<float>(normalizedValue));
        break;
    case Param::kScaleModeLoudness: luMode_ = normalizedValue >= 0.5; break;
    default: break;
    }
    return EditController2Vu::setNormalizedValue(id, normalizedValue);
}

tresult SmallVazEzaruController::valueToText(int32_t id, double normalizedValue, String128 text) {
    if (!text) return kInvalidArgument;
    text[0] = 0;
    if (!controls()) return kResultFalse;
    const ParameterRecord* record = parameters()->getRecordById(static_cast<uint32_t>(id));
    if (!record) return kResultOk;

    char buffer[128] = {};
    if (record->kind == ParameterRecord::kOnOff) {
        std::strcpy(buffer, normalizedValue < 0.5 ? "Off" : "On");
    } else if (record->kind == ParameterRecord::kText) {
        if (IControl* control = controls()->findByTag(id)) {
            int32_t size = sizeof buffer;
            if (control->getText(buffer, &size) != kResultOk) buffer[0] = '\0';
            buffer[sizeof buffer - 1] = '\0';
        }
    } else if (isLoudnessReading(id)) {
        const double plain = normalizedToPlainValue(id, normalizedValue);
        if (plain > (luMode_ ? kFloorLu : kFloorLufs))
            std::snprintf(buffer, sizeof buffer, "%.1f", plain);
        else
            std::strcpy(buffer, "--");
    } else if (id == Param::kScaleModeLoudness) {
        std::strcpy(buffer, normalizedValue < 0.5 ? "LUFS" : "LU");
    } else {
        const double plain = normalizedToPlainValue(id, normalizedValue);
        if (record->format[0] == '\0')
            formatValue(kDefaultFormat, plain, buffer, sizeof buffer);
        else if (plain > kFloorLufs)
            formatValue(record->format, plain, buffer, sizeof buffer);
        else
            std::strcpy(buffer, "--");
    }
    copyText(buffer, text);
    return kResultOk;
}

// ---- Messages -------------------------------------------------------------------------

tresult SmallVazEzaruController::notify(IMessageObject* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->messageId();
    if (!id || std::strcmp(id, MeterMessages::kTime) != 0) return EditController2Vu::notify(message);
    // "hh:mm:ss" and its terminator.
    char16_t time[9] = {};
    IAttributeSet* attributes = message->attributeSet();
    if (!attributes || attributes->getString(MeterMessages::kTime, time, sizeof time) != kResultOk) return kResultOk;
    if (IControl* control = controls() ? controls()->findByTag(kTimeTag) : nullptr) control->setText(time, 0);
    return kResultOk;
}

tresult SmallVazEzaruController::onIdle() {
    sendIntMessage(MeterMessages::kDataRequest, 0);
    return kResultOk;
}

// ---- Host view framework ---------------------------------------------------------------

tresult SmallVazEzaruController::findControl(const char* name, IControl** control) {
    if (control && name && viewControls_) {
        if (IControl* found = viewControls_->findByName(name)) {
            found->AddRef();
            *control = found;
            return kResultOk;
        }
    }
    return EditController2Vu::findControl(name, control);
}

tresult SmallVazEzaruController::controlChanged(IControl* control, int32_t tag) {
    if (!control) return kInvalidArgument;
    if (tag == Param::kResetLoudness && momentaryMeter_) momentaryMeter_->clearMaxima();
    if (tag == Param::kScaleModeLoudness) luMode_ = control->getNormalized() >= 0.5f;
    return EditController2Vu::controlChanged(control, tag);
}

IPlugView* SmallVazEzaruController::createView(const char* name) {
    if (!name || std::strcmp(name, kEditorViewName) != 0) return nullptr;
    ISkinResource* skin = HostFramework::skinResource(hostContext());
    if (!skin) return nullptr;
    IPlugView* view = nullptr;
    if (skin->createView(kEditorTemplate, static_cast<IPlugController*>(this), &view) == kResultOk) return view;
    if (view) view->Release();
    return nullptr;
}

tresult SmallVazEzaruController::createView(const char* name, const ViewRect* rect, FUnknown** view) {
    EditController2Vu::createView(name, rect, view);
    if (!name || !view || std::strcmp(name, kMomentaryViewName) != 0 || !momentaryMeter_) return kResultOk;
    const ViewRect where = rect ? *rect : ViewRect{};
    ISkinResource* skin = HostFramework::skinResource(hostContext());
    if (IHostView* hostView = createMeterView(*view, where, momentaryMeter_, true, skin)) *view = hostView;
    return kResultOk;
}

} // namespace Zel
