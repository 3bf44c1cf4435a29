#pragma once
// The base of the module's custom views inside a host-rendered skin: the host
// draws through IHostViewClient and forwards mouse input; the module view is
// carried by a host view object, made when the host first asks for it.

#include "editor/CPluginView.h"
#include "interfaces/IHostView.h"
#include "interfaces/IHostViewClient.h"
#include "interfaces/IHostViewMouseEvent.h"

namespace Zel::Frame {

class View : public CPluginView, public IHostViewClient, public IHostViewMouseEvent {
public:
    ZEL_FOBJECT_CLASS_AS(View, CPluginView, "View")

    explicit View(const ViewRect* rect = nullptr);

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(FObject)

    // IHostViewClient: the base draws nothing and keeps its size.
    tresult draw(IDrawContext* context, const ViewRect* dirty) override;
    tresult sizeChanged(const ViewRect* rect) override;
    // IHostViewMouseEvent: the base handles no mouse input.
    tresult onMouseDown(const ViewPoint* where, int32_t buttons) override;
    tresult onMouseUp(const ViewPoint* where, int32_t buttons) override;
    tresult onMouseMoved(const ViewPoint* where, int32_t buttons) override;

    // [ui thread] The host view object carrying this view, one reference for
    // the caller; null when the framework makes none. The first successful call
    // hands the creator's reference on this view over to the host view, which
    // keeps the view alive from then on; later calls return the same object.
    IHostView* hostView();

    // (0, 0, width, height): what the view draws in.
    ViewRect localRect() const;
    // [ui thread] Through the host view; null: the whole view. Nothing before
    // the host view exists.
    void invalidate(const ViewRect* rect = nullptr);
    // The host view's state: its visibility flag (0 without a host view) and
    // its scale (false without one).
    int32_t hostVisibleState() const;
    bool hostScale(double* x, double* y) const;
    // Seconds on the framework's clock; 0 without its time service.
    double currentTime() const;

protected:
    // Called once the host view object carries this view; empty here.
    virtual void hostViewCreated();

private:
    // Not referenced: the host view holds this view, not the other way round.
    IHostView* hostView_ = nullptr;
};

} // namespace Zel::Frame
