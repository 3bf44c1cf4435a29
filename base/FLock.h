#pragma once
// A recursive mutual-exclusion lock over the platform's critical section.

#include "base/ILock.h"
#include "base/platform/Platform.h"

namespace Zel {

class FLock : public ILock {
public:
    // The name is accepted for diagnostics and not used.
    explicit FLock(const char* name = nullptr);
    ~FLock();
    FLock(const FLock&) = delete;
    FLock& operator=(const FLock&) = delete;

    void lock() override;
    void unlock() override;
    bool tryLock() override;

private:
    Platform::Lock* handle_;
};

} // namespace Zel
