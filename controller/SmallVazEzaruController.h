#pragma once
// The loudness meter's controller: turns the processor's readings into what
// the skin shows (texts in LUFS or LU, the elapsed time, the "over" states, the
// momentary bar with peak hold and the short-term indicator), carries the
// reset buttons and the unit switch back to the processor, and names the
// skin template that forms the editor.

#include <memory>
#include <vector>

#include "controller/EditController2Vu.h"

namespace Zel {

class LinearVuMeterPhData;

class SmallVazEzaruController : public EditController2Vu {
public:
    ZEL_FOBJECT_CLASS(SmallVazEzaruController, EditController2Vu)

    static constexpr const char* kEditorViewName = "editor";
    static constexpr const char* kEditorTemplate = "DuravIrorSmallVazEzaru";
    static constexpr const char* kMomentaryViewName = "loudnessMView";
    static constexpr const char* kIndicatorName = "LoudnessSIndicator";
    static constexpr int32_t kIndicatorTag = -123;
    static constexpr int32_t kTimeTag = 53;
    // The momentary bar and the short-term indicator span 54 LU: -59 to -5
    // LUFS, or -36 to +18 LU.
    static constexpr double kWindowBottomLufs = -59.0;
    static constexpr double kWindowBottomLu = -36.0;
    static constexpr double kWindowSpan = 54.0;
    // Loudness texts below the floor show "--".
    static constexpr double kFloorLufs = -80.0;
    static constexpr double kFloorLu = -57.0;

    SmallVazEzaruController();
    ~SmallVazEzaruController() override;

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IEditController
    using EditController2Vu::valueToText;
    tresult valueToText(int32_t id, double normalizedValue, String128 text) override;
    tresult setNormalizedValue(int32_t id, double normalizedValue) override;
    // "editor": the skin's editor template bound to this controller; else null.
    IPlugView* createView(const char* name) override;

    // IConnectionPoint: the elapsed-time text, then the base's messages.
    tresult notify(IMessageObject* message) override;

    // IPlugController: the indicator first, then the parameter controls.
    tresult findControl(const char* name, IControl** control) override;
    tresult controlChanged(IControl* control, int32_t tag) override;

    // IViewBuilder: the base's level meters, then "loudnessMView".
    tresult createView(const char* name, const ViewRect* rect, FUnknown** view) override;

    // IIdleHandler: only the data request; this plug-in shows no level meters.
    tresult onIdle() override;

    void createMeterData() override;

    bool luMode() const { return luMode_; }
    LinearVuMeterPhData* momentaryMeter() const { return momentaryMeter_; }
    ControlList* viewControls() const { return viewControls_.get(); }

protected:
    // Text records get a text control, starting empty.
    IControl* createRecordControl(int32_t index) override;

private:
    // The position of a loudness on the bar / indicator, 0 to 1.
    double windowPosition(double plain) const;
    void openViewControls();
    void releaseMomentaryMeter();

    std::vector<int32_t> meterTags_; // the momentary loudness only
    std::unique_ptr<ControlList> viewControls_;
    LinearVuMeterPhData* momentaryMeter_ = nullptr; // owned reference
    bool luMode_ = false;
};

} // namespace Zel
