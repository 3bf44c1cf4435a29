#include "controller/EditController2Vu.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "editor/HostFramework.h"
#include "editor/MeterViewFactory.h"
#include "editor/VuMeterData.h"
#include "editor/VuMeterPeakView.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"

namespace Zel {

using Param::ParameterRecord;

namespace {
constexpr float kSilentLevel = 1e-9f;
constexpr double kSilentDb = -180.0;
} // namespace

EditController2Vu::EditController2Vu(const ParameterRecord* parameters, int32_t parameterCount,
                                     const ParameterRecord* meterParameters, int32_t meterCount,
                                     const Param::UnitRecord* units, int32_t unitCount)
    : EditController2(parameters, parameterCount, units, unitCount, false) {
    const int32_t ownCount = parameters && parameterCount > 0 ? parameterCount : 0;
    const int32_t meterSide = meterParameters && meterCount > 0 ? meterCount : 0;
    mergedRecords_ = std::make_unique<ParameterRecord[]>(static_cast<size_t>(ownCount + meterSide));
    if (ownCount) std::memcpy(mergedRecords_.get(), parameters, sizeof(ParameterRecord) * size_t(ownCount));
    if (meterSide)
        std::memcpy(mergedRecords_.get() + ownCount, meterParameters, sizeof(ParameterRecord) * size_t(meterSide));
    replaceParameterTable(mergedRecords_.get(), ownCount + meterSide);
}

EditController2Vu::~EditController2Vu() { releaseMeterData(); }

void EditController2Vu::setMeterRanges(int32_t firstInputTag, int32_t inputCount, int32_t inputPeakTag,
                                       int32_t firstOutputTag, int32_t outputCount, int32_t outputPeakTag) {
    input_.firstTag = firstInputTag;
    input_.count = inputCount > 0 ? inputCount : 0;
    input_.peakTag = inputPeakTag;
    output_.firstTag = firstOutputTag;
    output_.count = outputCount > 0 ? outputCount : 0;
    output_.peakTag = outputPeakTag;
    // The ranges answer at once, so their value slots must exist at once: a
    // level may arrive before initialize or before the next createMeterData.
    for (MeterRange* range : {&input_, &output_}) range->values.assign(static_cast<size_t>(range->count), 0.0f);
}

// ---- Life cycle ----------------------------------------------------------------------

tresult EditController2Vu::initialize(FUnknown* context) {
    const tresult result = EditController::initialize(context);
    if (result != kResultOk) return result;
    acquireHostFramework(context);
    if (openControlList()) {
        controls()->reserve(recordCount());
        for (int32_t index = 0; index < recordCount(); ++index) {
            const ParameterRecord* record = parameters()->getRecordByIndex(index);
            if (!record || !wantsControl(static_cast<int32_t>(record->id))) continue;
            if (createRecordControl(index)) appendRestoreIndex(index);
        }
    }
    attachValueStrings();
    createMeterData();
    if (IIdleService* idle = HostFramework::idleService()) {
        idleService_ = idle;
        idleService_->addIdleHandler(this);
    }
    return kResultOk;
}

tresult EditController2Vu::terminate() {
    releaseMeterData();
    if (idleService_) {
        idleService_->removeIdleHandler(this);
        idleService_.reset();
    }
    return EditController2::terminate();
}

void EditController2Vu::createMeterData() {
    for (MeterRange* range : {&input_, &output_}) {
        range->tags.clear();
        for (int32_t i = 0; i < range->count; ++i) range->tags.push_back(range->firstTag + i);
        if (!range->data && range->count > 0) {
            range->data = new VuMeterData(range->tags);
            range->data->setOwner(this);
        }
        range->values.assign(static_cast<size_t>(range->count), 0.0f);
    }
}

void EditController2Vu::releaseMeterData() {
    for (MeterRange* range : {&input_, &output_}) {
        if (VuMeterData* data = std::exchange(range->data, nullptr)) {
            data->setOwner(nullptr);
            data->Release();
        }
    }
}

// ---- Level values ----------------------------------------------------------------------

bool EditController2Vu::isMeterId(int32_t id) const {
    return input_.holds(id) || input_.isPeak(id) || output_.holds(id) || output_.isPeak(id);
}

tresult EditController2Vu::setNormalizedValue(int32_t id, double normalizedValue) {
    for (MeterRange* range : {&input_, &output_}) {
        if (range->holds(id)) {
            range->values[static_cast<size_t>(id - range->firstTag)] = static_cast<float>(normalizedValue);
            return kResultOk;
        }
        if (range->isPeak(id)) {
            if (range->data) range->data->setValue(kPeakValueId, static_cast<float>(normalizedValue));
            return kResultOk;
        }
    }
    return EditController2::setNormalizedValue(id, normalizedValue);
}

tresult EditController2Vu::valueToText(int32_t id, double normalizedValue, String128 text) {
    if (!text) return kInvalidArgument;
    if (!isMeterId(id)) return EditController2::valueToText(id, normalizedValue, text);
    meterLevelText(id, normalizedValue, text);
    return kResultOk;
}

void EditController2Vu::meterLevelText(int32_t id, double value, String128 text) {
    const double level = value > 0.0 ? 20.0 * std::log10(value) : kSilentDb;
    if (!(level > kSilentDb)) {
        copyText("-\u221E", text);
        return;
    }
    const ParameterRecord* record = parameters()->getRecordById(static_cast<uint32_t>(id));
    char buffer[128] = {};
    if (!record)
        formatValue(kDefaultFormat, level, buffer, sizeof buffer);
    else if (record->format[0] != '\0')
        formatValue(record->format, level, buffer, sizeof buffer);
    copyText(buffer, text);
}

void EditController2Vu::pushMeterValues(int32_t count, const float* values, int32_t firstTag, int32_t channels,
                                        VuMeterData* data) {
    if (!values || !data) return;
    for (int32_t i = 0; i < count && i < channels; ++i)
        data->setValue(firstTag + i, values[i] > kSilentLevel ? values[i] : 0.0f);
}

tresult EditController2Vu::onIdle() {
    pushMeterValues(input_.count, input_.values.data(), input_.firstTag, input_.channels, input_.data);
    pushMeterValues(output_.count, output_.values.data(), output_.firstTag, output_.channels, output_.data);
    sendIntMessage(MeterMessages::kDataRequest, 0);
    return kResultOk;
}

// ---- Messages ----------------------------------------------------------------------------

tresult EditController2Vu::notify(IMessageObject* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->messageId();
    IAttributeSet* attributes = message->attributeSet();
    if (id && std::strcmp(id, MeterMessages::kChannels) == 0) {
        int64_t channels = 0;
        if (attributes && attributes->getInt(MeterMessages::kChannelsIn, channels) == kResultOk) {
            input_.channels = static_cast<int32_t>(channels);
            if (input_.data) input_.data->setValue(kColumnCountId, static_cast<float>(channels));
        }
        if (attributes && attributes->getInt(MeterMessages::kChannelsOut, channels) == kResultOk) {
            output_.channels = static_cast<int32_t>(channels);
            if (output_.data) output_.data->setValue(kColumnCountId, static_cast<float>(channels));
        }
        return kResultOk;
    }
    if (id && std::strcmp(id, MeterMessages::kMetersProcessing) == 0) {
        int64_t state = 0;
        const bool active = attributes && attributes->getInt(MeterMessages::kMetersProcessing, state) == kResultOk && state == 1;
        vuProcessing_ = active ? 1 : 0;
        if (!active)
            for (MeterRange* range : {&input_, &output_}) range->values.assign(range->values.size(), 0.0f);
        return kResultOk;
    }
    return EditController2::notify(message);
}

void EditController2Vu::update(FUnknown* changedObject, int32_t message) {
    if (message == kPeakResetRequest && changedObject) {
        if (input_.data && changedObject == input_.data->unknownCast()) {
            sendIntMessage(MeterMessages::kResetMaxLevelIn, 0);
            return;
        }
        if (output_.data && changedObject == output_.data->unknownCast()) {
            // A shared peak tag means one peak for both sides.
            sendIntMessage(output_.peakTag != input_.peakTag ? MeterMessages::kResetMaxLevelOut : MeterMessages::kResetMaxLevelIn, 0);
            return;
        }
    }
    EditController2::update(changedObject, message);
}

// ---- Custom views ------------------------------------------------------------------------

tresult EditController2Vu::createView(const char* name, const ViewRect* rect, FUnknown** view) {
    if (!name || !view) return kResultOk;
    const bool input = std::strcmp(name, "inputvu") == 0 || std::strcmp(name, "inputvumax") == 0;
    const bool output = std::strcmp(name, "outputvu") == 0 || std::strcmp(name, "outputvumax") == 0;
    VuMeterData* data = input ? input_.data : output ? output_.data : nullptr;
    if (!data) return kResultOk;
    const ViewRect where = rect ? *rect : ViewRect{};
    ISkinResource* skin = HostFramework::skinResource(hostContext());
    IHostView* hostView = nullptr;
    if (std::strstr(name, "vumax")) {
        ColourArgb normal = 0;
        ColourArgb peak = 0;
        if (skin) {
            skin->getColour("ap.vu.norm", &normal);
            skin->getColour("ap.vu.peak", &peak);
        }
        auto* peakView = new VuMeterPeakView(where, data, normal, peak);
        hostView = peakView->hostView();
        if (!hostView) peakView->Release(); // nobody would carry it
    } else {
        hostView = createMeterView(*view, where, data, false, skin);
    }
    if (hostView) *view = hostView;
    return kResultOk;
}

} // namespace Zel
