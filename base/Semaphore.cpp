#include "base/Semaphore.h"

namespace Zel {

bool Semaphore::create(int32_t initialCount, const char*) {
    close();
    handle_ = Platform::semaphoreCreate(initialCount, kMaximumCount);
    return handle_ != nullptr;
}

bool Semaphore::wait(int32_t timeoutMs) { return Platform::semaphoreWait(handle_, timeoutMs); }

bool Semaphore::release(int32_t count) { return Platform::semaphoreRelease(handle_, count); }

void Semaphore::close() {
    Platform::semaphoreClose(handle_);
    handle_ = nullptr;
}

} // namespace Zel
