#pragma once
// The controller with optional level-meter parameter ranges: input and output
// level values that the processor feeds and that reach level-meter views
// through meter data objects, pushed on every idle tick. Its parameter table is
// the plug-in's table followed by a second, meter-side table, merged into one.

#include <memory>
#include <vector>

#include "controller/EditController2.h"
#include "interfaces/IIdleService.h"
#include "processor/MeterMessages.h"

namespace Zel {

class VuMeterData;

// Type tests see this layer as EditController2: it adds no class name of its own.
class EditController2Vu : public EditController2 {
public:
    // Data-object ids and messages shared with the meter views.
    static constexpr int32_t kPeakValueId = 5003;
    static constexpr int32_t kColumnCountId = 5000;
    static constexpr int32_t kPeakResetRequest = 5005;
    static constexpr int32_t kNoTag = 2147483647;

    // Neither table is owned; the controller works on its own merged copy.
    EditController2Vu(const Param::ParameterRecord* parameters, int32_t parameterCount,
                      const Param::ParameterRecord* meterParameters, int32_t meterCount, const Param::UnitRecord* units,
                      int32_t unitCount);
    ~EditController2Vu() override;

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IEditController: level-meter ids first, then the base.
    using EditController2::valueToText;
    tresult valueToText(int32_t id, double normalizedValue, String128 text) override;
    tresult setNormalizedValue(int32_t id, double normalizedValue) override;

    // IConnectionPoint: channel counts and meter activity from the processor.
    tresult notify(IMessageObject* message) override;
    // IViewBuilder: the level-meter views "inputvu", "outputvu", "inputvumax", "outputvumax".
    using EditController2::createView;
    tresult createView(const char* name, const ViewRect* rect, FUnknown** view) override;
    // IIdleHandler: pushes the levels, then asks the processor for data.
    tresult onIdle() override;
    // IDependent: a peak reset requested on a meter view goes to the processor.
    void update(FUnknown* changedObject, int32_t message) override;

    virtual bool wantsControl(int32_t) { return true; }
    virtual void createMeterData();
    // Hands the first min(count, channels) values to data under firstTag + i;
    // values not above 1e-9 go as 0.
    virtual void pushMeterValues(int32_t count, const float* values, int32_t firstTag, int32_t channels,
                                 VuMeterData* data);

    bool metersProcessing() const { return vuProcessing_ != 0; }
    VuMeterData* inputMeterData() const { return input_.data; }
    VuMeterData* outputMeterData() const { return output_.data; }

protected:
    // The level-meter ranges a subclass's tables provide (none by default).
    // Their ids and values answer at once (the values start at 0); the meter
    // data objects follow at the next createMeterData.
    void setMeterRanges(int32_t firstInputTag, int32_t inputCount, int32_t inputPeakTag, int32_t firstOutputTag,
                        int32_t outputCount, int32_t outputPeakTag);
    // The value text of a level-meter value (a linear amplitude) in dB.
    void meterLevelText(int32_t id, double value, String128 text);

private:
    struct MeterRange {
        int32_t firstTag = kNoTag;
        int32_t count = 0;
        int32_t peakTag = kNoTag;
        int32_t channels = 0;
        std::vector<float> values;
        std::vector<int32_t> tags;
        VuMeterData* data = nullptr; // owned reference

        bool holds(int32_t id) const { return count > 0 && id >= firstTag && id - firstTag < count; }
        bool isPeak(int32_t id) const { return count > 0 && id == peakTag; }
    };

    bool isMeterId(int32_t id) const;
    void releaseMeterData();

    int32_t vuProcessing_ = 0;
    MeterRange input_;
    MeterRange output_;
    IPtr<IIdleService> idleService_; // where the idle handler is registered
    std::unique_ptr<Param::ParameterRecord[]> mergedRecords_;
};

} // namespace Zel
