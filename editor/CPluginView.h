#pragma once
// The base of the module's views as the host embeds them: the plug-in view
// interface with the view's rectangle, window and frame. Input and sizing
// requests are left to derived views.

#include "base/FObject.h"
#include "interfaces/IPlugView.h"

namespace Zel {

class CPluginView : public FObject, public IPlugView {
public:
    ZEL_FOBJECT_CLASS(CPluginView, FObject)

    // rect: the view's rectangle in its parent; null gives an empty one.
    explicit CPluginView(const ViewRect* rect = nullptr);

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(FObject)

    // IPlugView
    tresult isPlatformTypeSupported(const char* type) override;
    tresult attached(void* parent, const char* type) override;
    tresult removed() override;
    tresult onWheel(float distance) override;
    tresult onKeyDown(char16_t key, int16_t keyCode, int16_t modifiers) override;
    tresult onKeyUp(char16_t key, int16_t keyCode, int16_t modifiers) override;
    tresult getSize(ViewRect* size) override;
    tresult onSize(ViewRect* newSize) override;
    tresult onFocus(uint8_t state) override;
    tresult setFrame(FUnknown* frame) override;
    tresult canResize() override;
    tresult checkSizeConstraint(ViewRect* rect) override;

    const ViewRect& rect() const { return rect_; }
    void* systemWindow() const { return systemWindow_; }
    FUnknown* frame() const { return frame_; }

protected:
    // Hooks for derived views; empty here.
    virtual void attachedToWindow(void* window);
    virtual void removedFromWindow();

    ViewRect rect_;

private:
    void* systemWindow_ = nullptr;
    FUnknown* frame_ = nullptr; // the host's; not referenced
};

} // namespace Zel
