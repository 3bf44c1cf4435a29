#pragma once
// A control holding a real value within its range, shown with a number of
// digits after the point.

#include "host/view/ControlBase.h"
#include "interfaces/IControlPrecision.h"

namespace NivoloHost {

class ContinuousControl : public ControlBase, public Zel::IControlPrecision {
public:
    static constexpr int32_t kDefaultPrecision = 2;
    static constexpr int32_t kMaxPrecision = 12;

    ContinuousControl() : ControlBase(kContinuous, 0.0, 1.0) {}

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    uint32_t AddRef() override { return ControlBase::AddRef(); }
    uint32_t Release() override { return ControlBase::Release(); }

    // IControlPrecision; kInvalidArgument outside 0 to kMaxPrecision.
    Zel::tresult setPrecision(int32_t digits) override;
    int32_t getPrecision() override { return precision_; }

protected:
    std::string ownText() override;

private:
    int32_t precision_ = kDefaultPrecision;
};

} // namespace NivoloHost
