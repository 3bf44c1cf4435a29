#pragma once
// The processor's message peer while the host plays live. A real-time host
// does not let the processor's messages ("time" comes from the audio thread)
// run into the edit controller there: the relay takes a reference to each one,
// queues it without a lock and hands it to the controller on the UI thread.
// The controller's own messages go to the processor directly (it takes them
// on the UI thread).

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "host/SpscQueue.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class MessageRelay : public Zel::IConnectionPoint {
public:
    explicit MessageRelay(size_t capacity = 256) : queue_(capacity) {}
    // Releases the messages never delivered.
    virtual ~MessageRelay();

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // The processor connects; the relay holds no reference to it (the host's
    // session holds both and disconnects them).
    Zel::tresult connect(Zel::IConnectionPoint* other) override;
    Zel::tresult disconnect(Zel::IConnectionPoint* other) override;
    // [the processing thread while blocks run, the UI thread around them; never
    // two at once] Queues the message; a full queue drops it.
    Zel::tresult notify(Zel::IMessageObject* message) override;

    // [ui thread] Hands every queued message to `to`, oldest first; returns how many.
    int deliver(Zel::IConnectionPoint* to);
    int64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    Zel::RefCount refCount_;
    Zel::IConnectionPoint* source_ = nullptr;
    SpscQueue<Zel::IMessageObject*> queue_;
    std::atomic<int64_t> dropped_{0};
};

} // namespace NivoloHost
