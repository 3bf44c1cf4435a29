#include "editor/View.h"

#include "editor/HostFramework.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel::Frame {

View::View(const ViewRect* rect) : CPluginView(rect) {}

tresult View::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IHostViewClient>(asked, this, obj) || answerInterface<IHostViewMouseEvent>(asked, this, obj))
        return kResultOk;
    return CPluginView::QueryInterface(asked, obj);
}

tresult View::draw(IDrawContext*, const ViewRect*) { return kResultOk; }
tresult View::sizeChanged(const ViewRect*) { return kResultFalse; }
tresult View::onMouseDown(const ViewPoint*, int32_t) { return kResultFalse; }
tresult View::onMouseUp(const ViewPoint*, int32_t) { return kResultFalse; }
tresult View::onMouseMoved(const ViewPoint*, int32_t) { return kResultFalse; }

IHostView* View::hostView() {
    if (hostView_) {
        hostView_->AddRef();
        return hostView_;
    }
    IHostView* host = HostFramework::createAs<IHostView>(IHostView_iid);
    if (!host) return nullptr;
    hostView_ = host;
    host->setClient(this);
    hostViewCreated();
    // The host view now holds this view; the creator's reference goes.
    Release();
    return host; // its creation reference goes to the caller
}

ViewRect View::localRect() const {
    ViewRect local;
    local.right = rect_.width();
    local.bottom = rect_.height();
    return local;
}

void View::invalidate(const ViewRect* rect) {
    if (hostView_) hostView_->invalidate(rect);
}

int32_t View::hostVisibleState() const {
    int32_t visible = 0;
    if (hostView_ && hostView_->getVisible(&visible) == kResultOk) return visible;
    return 0;
}

bool View::hostScale(double* x, double* y) const {
    return hostView_ && hostView_->getScale(x, y) == kResultOk;
}

double View::currentTime() const {
    ITimeService* time = HostFramework::timeService();
    return time ? time->currentSeconds() : 0.0;
}

void View::hostViewCreated() {}

} // namespace Zel::Frame
