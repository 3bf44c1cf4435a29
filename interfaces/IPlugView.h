#pragma once
// A plug-in's editor or custom view as the host embeds it.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IPlugView : public FUnknown {
public:
    static constexpr const TUID& iid = IPlugView_iid;

    // All operations: [ui thread].
    virtual tresult isPlatformTypeSupported(const char* type) = 0;
    // parent: the host's window handle for this view; stays valid until removed().
    virtual tresult attached(void* parent, const char* type) = 0;
    virtual tresult removed() = 0;
    virtual tresult onWheel(float distance) = 0;
    virtual tresult onKeyDown(char16_t key, int16_t keyCode, int16_t modifiers) = 0;
    virtual tresult onKeyUp(char16_t key, int16_t keyCode, int16_t modifiers) = 0;
    // kInvalidArgument when size is null.
    virtual tresult getSize(ViewRect* size) = 0;
    virtual tresult onSize(ViewRect* newSize) = 0;
    virtual tresult onFocus(uint8_t state) = 0;
    // frame: the host's frame object; not referenced by the view.
    virtual tresult setFrame(FUnknown* frame) = 0;
    virtual tresult canResize() = 0;
    virtual tresult checkSizeConstraint(ViewRect* rect) = 0;

protected:
    ~IPlugView() = default;
};

} // namespace Zel
