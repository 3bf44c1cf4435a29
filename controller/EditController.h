#pragma once
// The controller half's base: the host context and peer connection of
// ComponentBase, plus the host's component handler through which user edits
// travel to the processor.

#include "interfaces/IComponentHandler.h"
#include "interfaces/IEditController.h"
#include "processor/ComponentBase.h"

namespace Zel {

class EditController : public ComponentBase, public IEditController {
public:
    ZEL_FOBJECT_CLASS(EditController, ComponentBase)

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(ComponentBase)

    // IPluginBase (reached through both ComponentBase and IEditController)
    tresult initialize(FUnknown* context) override;
    // Drops the handlers, then the host context and the peer.
    tresult terminate() override;

    // IEditController: this layer keeps no parameters and no state.
    tresult applyProcessorState(IByteStream* stream) override;
    tresult setState(IByteStream* stream) override;
    tresult getState(IByteStream* stream) override;
    int32_t getParameterCount() override { return 0; }
    tresult describeParameter(int32_t index, ParameterInfo& info) override;
    tresult valueToText(int32_t id, double normalizedValue, String128 text) override;
    tresult textToValue(int32_t id, const char16_t* text, double& normalizedValue) override;
    double normalizedToPlainValue(int32_t, double normalizedValue) override { return normalizedValue; }
    double plainToNormalizedValue(int32_t, double plainValue) override { return plainValue; }
    double normalizedValueOf(int32_t) override { return 0.0; }
    tresult setNormalizedValue(int32_t id, double normalizedValue) override;
    // Same handler again: nothing changes. Otherwise the new one (may be null)
    // replaces the old, and its second interface is asked for afresh.
    tresult setEditHandler(IComponentHandler* handler) override;
    IPlugView* createView(const char* name) override;

    // Forwarded to the component handler; kResultFalse without one.
    virtual tresult startEdit(int32_t tag);
    virtual tresult applyEdit(int32_t tag, double normalizedValue);
    virtual tresult finishEdit(int32_t tag);
    // Forwarded to the handler's second interface; kNotImplemented without one.
    virtual tresult openEditGroup();
    virtual tresult closeEditGroup();
    // This layer keeps no parameter objects of its own: null.
    virtual FUnknown* getParameterObject(int32_t tag);
    virtual tresult getParameterInfoByTag(int32_t tag, ParameterInfo& info);
    // Forwarded to the handler's second interface; kNotImplemented without one.
    virtual tresult markDirty(uint8_t state);
    virtual tresult askToOpenEditor(const char* name);

    IComponentHandler* componentHandler() const { return handler_.get(); }
    IComponentHandler2* componentHandler2() const { return handler2_.get(); }

private:
    IPtr<IComponentHandler> handler_;
    IPtr<IComponentHandler2> handler2_;
};

} // namespace Zel
