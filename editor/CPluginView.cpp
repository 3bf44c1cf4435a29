#include "editor/CPluginView.h"

#include "interfaces/InterfaceQuery.h"

namespace Zel {

CPluginView::CPluginView(const ViewRect* rect) {
    if (rect) rect_ = *rect;
}

tresult CPluginView::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPlugView>(asked, this, obj)) return kResultOk;
    return FObject::QueryInterface(asked, obj);
}

tresult CPluginView::isPlatformTypeSupported(const char*) { return kNotImplemented; }

tresult CPluginView::attached(void* parent, const char*) {
    systemWindow_ = parent;
    attachedToWindow(parent);
    return kResultOk;
}

tresult CPluginView::removed() {
    systemWindow_ = nullptr;
    removedFromWindow();
    return kResultOk;
}

tresult CPluginView::onWheel(float) { return kResultFalse; }
tresult CPluginView::onKeyDown(char16_t, int16_t, int16_t) { return kResultFalse; }
tresult CPluginView::onKeyUp(char16_t, int16_t, int16_t) { return kResultFalse; }

tresult CPluginView::getSize(ViewRect* size) {
    if (!size) return kInvalidArgument;
    *size = rect_;
    return kResultOk;
}

tresult CPluginView::onSize(ViewRect* newSize) {
    if (newSize) rect_ = *newSize;
    return kResultOk;
}

tresult CPluginView::onFocus(uint8_t) { return kResultFalse; }

tresult CPluginView::setFrame(FUnknown* frame) {
    frame_ = frame;
    return kResultOk;
}

tresult CPluginView::canResize() { return kResultFalse; }
tresult CPluginView::checkSizeConstraint(ViewRect*) { return kResultFalse; }

void CPluginView::attachedToWindow(void*) {}
void CPluginView::removedFromWindow() {}

} // namespace Zel
