#include "base/FLock.h"

#include <new>

namespace Zel {

FLock::FLock(const char*) : handle_(Platform::lockCreate()) {
    if (!handle_) throw std::bad_alloc();
}

FLock::~FLock() { Platform::lockDestroy(handle_); }

void FLock::lock() { Platform::lockEnter(handle_); }
void FLock::unlock() { Platform::lockLeave(handle_); }
bool FLock::tryLock() { return Platform::lockTryEnter(handle_); }

} // namespace Zel
