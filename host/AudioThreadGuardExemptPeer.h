#pragma once
// The processor's message peer when the host itself stands in for the edit
// controller: forwards every call to the stand-in, and takes the stand-in's
// bookkeeping of "time" messages (which come from the audio thread) out of
// the audio-thread guard's view. Host code; the module's controller, when it
// is the peer, is watched as it is.

#include "interfaces/IConnectionPoint.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class AudioThreadGuardExemptPeer : public Zel::IConnectionPoint {
public:
    explicit AudioThreadGuardExemptPeer(Zel::IConnectionPoint* target) : target_(target) {}
    virtual ~AudioThreadGuardExemptPeer() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    Zel::tresult connect(Zel::IConnectionPoint* other) override { return target_->connect(other); }
    Zel::tresult disconnect(Zel::IConnectionPoint* other) override { return target_->disconnect(other); }
    Zel::tresult notify(Zel::IMessageObject* message) override;

private:
    Zel::RefCount refCount_;
    Zel::IPtr<Zel::IConnectionPoint> target_;
};

} // namespace NivoloHost
