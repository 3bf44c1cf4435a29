#pragma once
// The controller that keeps every parameter's current value in a host-created
// control (one per parameter record, gathered in a ControlList) and answers
// the host's parameter questions from the records and those controls. It is
// also the object the host's view framework talks to: controls by name, user
// changes, gestures, value texts and custom views.

#include <list>
#include <memory>

#include "controller/CUnitInfo.h"
#include "controller/EditController.h"
#include "controller/ParameterInfoAccessor.h"
#include "editor/ControlList.h"
#include "interfaces/IEditControllerHostEditing.h"
#include "interfaces/IIdleHandler.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IValueStringRepresentation.h"
#include "interfaces/IViewBuilder.h"
#include "interfaces/IXmlRepresentationController.h"

namespace Zel {

class EditController2 : public EditController,
                        public IEditController2,
                        public IPlugController,
                        public IPlugController2,
                        public IPlugController3,
                        public IPlugController4,
                        public IViewBuilder,
                        public IIdleHandler,
                        public IValueStringRepresentation,
                        public IEditControllerHostEditing,
                        public IXmlRepresentationController {
public:
    ZEL_FOBJECT_CLASS(EditController2, EditController)

    // Neither table is owned; both outlive the controller. standalone: the
    // controller does not take part in the shared host framework.
    EditController2(const Param::ParameterRecord* parameters, int32_t parameterCount, const Param::UnitRecord* units,
                    int32_t unitCount, bool standalone);
    ~EditController2() override;

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(EditController)

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IEditController
    tresult applyProcessorState(IByteStream* stream) override;
    int32_t getParameterCount() override;
    tresult describeParameter(int32_t index, ParameterInfo& info) override;
    tresult valueToText(int32_t id, double normalizedValue, String128 text) override;
    tresult textToValue(int32_t id, const char16_t* text, double& normalizedValue) override;
    double normalizedToPlainValue(int32_t id, double normalizedValue) override;
    double plainToNormalizedValue(int32_t id, double plainValue) override;
    double normalizedValueOf(int32_t id) override;
    tresult setNormalizedValue(int32_t id, double normalizedValue) override;

    // IEditController2, IEditControllerHostEditing, IXmlRepresentationController: declined.
    tresult setKnobMode(int32_t) override { return kResultFalse; }
    tresult openHelp(uint8_t) override { return kResultFalse; }
    tresult openAboutBox(uint8_t) override { return kResultFalse; }
    tresult beginEditFromHost(int32_t) override { return kResultFalse; }
    tresult endEditFromHost(int32_t) override { return kResultFalse; }
    tresult getXmlRepresentationStream(void*, FUnknown*) override { return kResultFalse; }

    // IPlugController
    tresult findControl(const char* name, IControl** control) override;
    tresult controlChanged(IControl* control, int32_t tag) override;
    // IPlugController2, 3
    tresult controlPopup(IControl*, FUnknown*) override { return kNotImplemented; }
    tresult controlContext(IControl*, FUnknown*) override { return kNotImplemented; }
    // IPlugController4: the gesture brackets the host's edit.
    tresult beginGesture(IControl* control) override;
    tresult endGesture(IControl* control) override;

    // IViewBuilder: this layer builds no custom views.
    using EditController::createView;
    tresult createView(const char* name, const ViewRect* rect, FUnknown** view) override;
    // IIdleHandler
    tresult onIdle() override { return kResultOk; }
    // IValueStringRepresentation
    tresult valueToText(IControl* control, IStringValue* text) override;
    tresult textToValue(IControl* control, const char16_t* text) override;

    // EditController
    tresult getParameterInfoByTag(int32_t tag, ParameterInfo& info) override;

    // Hooks every control whose record has a value text (not a text record)
    // to this controller, so that the host asks here for its texts.
    virtual void attachValueStrings();
    // Applies size bytes of the processor's state entries to the controls.
    virtual void loadControlState(IByteStream* stream, int32_t size);
    virtual void controlStateLoaded() {}
    // Messages to the processor; the attribute key is the message id (binary
    // data goes under "binary"). kResultFalse when nothing was sent.
    virtual tresult sendIntMessage(const char* id, int64_t value);
    virtual tresult sendStringMessage(const char* id, const char16_t* text);
    virtual tresult sendBinaryMessage(const char* id, const void* data, uint32_t size);
    // Set a control's value without notification; kResultFalse without such a control.
    virtual tresult setControlPlainValue(int32_t tag, double plainValue);
    virtual tresult setControlNormalized(int32_t tag, double normalizedValue);
    // Takes part in the shared host framework; false when the host offers none.
    virtual bool acquireHostFramework(FUnknown* context);

    // Copies, in the order of ids, each source record whose id is listed;
    // every destination slot visited is first marked hidden.
    static void selectRecords(const Param::ParameterRecord* source, int32_t sourceCount,
                              Param::ParameterRecord* destination, int32_t& count, const int32_t* ids,
                              int32_t idCount);

    ControlList* controls() const { return controls_.get(); }
    Param::ParameterInfoAccessor* parameters() const { return parameters_; }
    int32_t recordCount() const { return recordCount_; }
    bool isLoading() const { return loading_; }
    bool holdsHostFramework() const { return frameworkAcquired_; }

protected:
    static constexpr const char* kDefaultFormat = "%.1f";

    // Points the controller at another table (not owned) with count records.
    void replaceParameterTable(const Param::ParameterRecord* table, int32_t count);
    // Creates the main list when the framework is there; false without one.
    bool openControlList();
    // Creates the control that the record at index asks for by its kind;
    // null for kinds that have none (or when the host made none).
    virtual IControl* createRecordControl(int32_t index);
    void appendRestoreIndex(int32_t index) { restoreOrder_.push_back(index); }

    // The value text of plain through format (the default one when empty);
    // a format that is not a single real-number conversion is not trusted.
    static void formatValue(const char* format, double plain, char* out, size_t size);
    // 8-bit (UTF-8) text into the host's 16-bit buffer, at most 127 units.
    static void copyText(const char* text, String128 out);

private:
    Param::CUnitInfo* unitInfo_ = nullptr;
    std::unique_ptr<ControlList> controls_;
    int32_t recordCount_ = 0;
    std::list<int32_t> restoreOrder_; // record indices that got a control, in table order
    Param::ParameterInfoAccessor* parameters_ = nullptr;
    bool loading_ = false;
    bool standalone_ = false;
    bool frameworkAcquired_ = false;
};

} // namespace Zel
