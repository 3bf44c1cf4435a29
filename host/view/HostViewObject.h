#pragma once
// The host's object that carries a module's custom view: it keeps the view's
// client (the module's drawing and mouse interfaces) alive and tells the view
// where it sits.

#include <atomic>

#include "interfaces/IHostView.h"
#include "interfaces/IHostViewClient.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class HostViewObject : public Zel::IHostView {
public:
    // Answered only by our host views, so that an editor can reach the client
    // of a host view a builder returned.
    static constexpr Zel::TUID iid = Zel::tuidFromRegistry("{E0A1C7F4-3B25-4D8E-9F61-7C2A5B08D3E6}");

    HostViewObject() = default;
    virtual ~HostViewObject() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // A null client detaches the current one.
    Zel::tresult setClient(Zel::IHostViewClient* client) override;
    Zel::tresult getRect(Zel::ViewRect* rect) override;
    Zel::tresult invalidate(const Zel::ViewRect* rect) override;
    Zel::tresult getVisible(int32_t* visible) override;
    Zel::tresult getScale(double* x, double* y) override;

    Zel::IHostViewClient* client() const { return client_.get(); }
    void setRect(const Zel::ViewRect& rect) { rect_ = rect; }
    void setVisible(bool visible) { visible_ = visible; }
    // How often the view asked to be redrawn.
    int32_t invalidations() const { return invalidations_.load(); }

private:
    Zel::RefCount refCount_;
    Zel::IPtr<Zel::IHostViewClient> client_;
    Zel::ViewRect rect_;
    bool visible_ = true;
    std::atomic<int32_t> invalidations_{0};
};

} // namespace NivoloHost
