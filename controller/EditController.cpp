#include "controller/EditController.h"

#include "interfaces/InterfaceQuery.h"

namespace Zel {

tresult EditController::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IEditController>(asked, this, obj)) return kResultOk;
    return ComponentBase::QueryInterface(asked, obj);
}

tresult EditController::initialize(FUnknown* context) { return ComponentBase::initialize(context); }

tresult EditController::terminate() {
    handler2_.reset();
    handler_.reset();
    return ComponentBase::terminate();
}

tresult EditController::applyProcessorState(IByteStream*) { return kResultOk; }
tresult EditController::setState(IByteStream*) { return kNotImplemented; }
tresult EditController::getState(IByteStream*) { return kNotImplemented; }
tresult EditController::describeParameter(int32_t, ParameterInfo&) { return kResultFalse; }

tresult EditController::valueToText(int32_t, double, String128 text) {
    if (text) text[0] = 0;
    return kResultFalse;
}

tresult EditController::textToValue(int32_t, const char16_t*, double&) { return kResultFalse; }
tresult EditController::setNormalizedValue(int32_t, double) { return kResultFalse; }

tresult EditController::setEditHandler(IComponentHandler* handler) {
    if (handler == handler_.get()) return kResultOk;
    handler_ = handler;
    handler2_ = queryInterface<IComponentHandler2>(handler);
    return kResultOk;
}

IPlugView* EditController::createView(const char*) { return nullptr; }

tresult EditController::startEdit(int32_t tag) { return handler_ ? handler_->beginEdit(tag) : kResultFalse; }

tresult EditController::applyEdit(int32_t tag, double normalizedValue) {
    return handler_ ? handler_->performEdit(tag, normalizedValue) : kResultFalse;
}

tresult EditController::finishEdit(int32_t tag) { return handler_ ? handler_->endEdit(tag) : kResultFalse; }

tresult EditController::openEditGroup() { return handler2_ ? handler2_->startGroupEdit() : kNotImplemented; }
tresult EditController::closeEditGroup() { return handler2_ ? handler2_->finishGroupEdit() : kNotImplemented; }

FUnknown* EditController::getParameterObject(int32_t) { return nullptr; }

tresult EditController::getParameterInfoByTag(int32_t, ParameterInfo&) { return kResultFalse; }

tresult EditController::markDirty(uint8_t state) { return handler2_ ? handler2_->setDirty(state) : kNotImplemented; }

tresult EditController::askToOpenEditor(const char* name) {
    return handler2_ ? handler2_->requestOpenEditor(name) : kNotImplemented;
}

} // namespace Zel
