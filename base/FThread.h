#pragma once
// The framework's worker thread: created suspended, given its priority, then
// resumed; the body is the virtual run().

#include <cstdint>
#include <string>

#include "base/platform/Platform.h"

namespace Zel {

class FThread {
public:
    // Priority indices; the platform maps them preserving this order.
    enum Priority : int32_t {
        kIdle = 0,
        kBelowNormal = 1,
        kNormal = 2,
        kAboveNormal = 3,
        kHighest = 4,
        kTimeCritical = 5,
    };
    static constexpr uint32_t kInfinite = Platform::kWaitForever;

    explicit FThread(const char* name);
    // Closes the handle; the owner must have ended the body first.
    virtual ~FThread();
    FThread(const FThread&) = delete;
    FThread& operator=(const FThread&) = delete;

    // [owner thread] Out-of-range indices are refused and change nothing.
    // Before start the index is kept for start(); after a failed start: false.
    virtual bool setPriority(int32_t index);
    virtual void reserved() {}
    // [the new thread] The body; its result is the thread's exit code.
    virtual int32_t run() { return 0; }

    // [owner thread] Creates the thread suspended, applies the priority, resumes it.
    // False when the platform could not create it (no handle is left then).
    bool start();
    // [owner thread] True once the body has ended, or at once if never started.
    bool waitForEnd(uint32_t timeoutMs);
    // [owner thread] Stops a body that still runs and closes the handle.
    void kill();

    const std::string& name() const { return name_; }
    int32_t priority() const { return priority_; }
    uint32_t threadId() const { return threadId_; }
    bool isRunning() const { return running_; }

    // The platform priority value for an index, per the process's scheduling class.
    static int32_t platformPriority(int32_t index, bool normalClass);

private:
    static int32_t entry(void* self);

    int32_t priority_ = kNormal;
    int32_t affinityIndex_ = -1; // kept for the record layout; never applied
    bool running_ = false;
    Platform::Thread* handle_ = nullptr;
    uint32_t threadId_ = 0;
    void* reserved_ = nullptr;
    std::string name_;
};

} // namespace Zel
