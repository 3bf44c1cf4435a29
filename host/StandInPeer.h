#pragma once
// The host's stand-in for the edit controller on the processor's message
// channel: it records what the processor tells it ("time", "nChannels",
// "vuMetersProcessing") and asks for data with "PluginDataGet", as the
// controller does on every idle tick.

#include <mutex>
#include <string>
#include <vector>

#include "interfaces/IConnectionPoint.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class HostContext;

class StandInPeer : public Zel::IConnectionPoint {
public:
    explicit StandInPeer(HostContext* host);
    virtual ~StandInPeer() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    Zel::tresult connect(Zel::IConnectionPoint* other) override;
    Zel::tresult disconnect(Zel::IConnectionPoint* other) override;
    // [any thread: "time" comes from the audio thread]
    Zel::tresult notify(Zel::IMessageObject* message) override;

    // Sends "PluginDataGet" to the connected processor; false when not connected.
    bool requestData();
    // Sends a level-reset request ("resetMaxLevelIn" / "resetMaxLevelOut").
    bool sendIntMessage(const char* id, int64_t value);

    std::string lastTime() const;
    std::vector<std::string> timeTexts() const;
    int64_t channelsIn() const;
    int64_t channelsOut() const;
    int64_t metersProcessing() const;
    int messagesReceived() const;
    bool isConnected() const { return static_cast<bool>(peer_); }

private:
    Zel::RefCount refCount_;
    HostContext* host_;
    Zel::IPtr<Zel::IConnectionPoint> peer_;
    mutable std::mutex mutex_;
    std::vector<std::string> timeTexts_;
    int64_t channelsIn_ = -1, channelsOut_ = -1, metersProcessing_ = -1;
    int messages_ = 0;
};

} // namespace NivoloHost
