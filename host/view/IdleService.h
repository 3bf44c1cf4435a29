#pragma once
// The framework's idle ticks: registered handlers are called on every tick of
// the host's editor loop.

#include <vector>

#include "interfaces/IIdleHandler.h"
#include "interfaces/IIdleService.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class IdleService : public Zel::IIdleService {
public:
    static constexpr int32_t kDefaultIntervalMilliseconds = 50;

    IdleService() = default;
    virtual ~IdleService() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    int32_t intervalMilliseconds() override { return interval_; }
    // kResultFalse for null or a handler already registered.
    Zel::tresult addIdleHandler(Zel::IIdleHandler* handler) override;
    // kResultFalse when the handler is not registered.
    Zel::tresult removeIdleHandler(Zel::IIdleHandler* handler) override;

    // [ui thread] Calls every registered handler once, in registration order.
    // A handler removed by an earlier one during the tick is not called.
    void tick();
    size_t handlerCount() const { return handlers_.size(); }
    void setIntervalMilliseconds(int32_t interval) { interval_ = interval; }

private:
    bool contains(Zel::IIdleHandler* handler) const;

    Zel::RefCount refCount_;
    std::vector<Zel::IPtr<Zel::IIdleHandler>> handlers_;
    int32_t interval_ = kDefaultIntervalMilliseconds;
};

} // namespace NivoloHost
