#pragma once
// The framework's lock interface, and a scope guard for it.

namespace Zel {

class ILock {
public:
    // [any thread] Recursive on the same thread.
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // [any thread] Takes the lock only if it is free; never waits.
    virtual bool tryLock() = 0;

protected:
    ~ILock() = default;
};

class FGuard {
public:
    explicit FGuard(ILock& lock) : lock_(lock) { lock_.lock(); }
    ~FGuard() { lock_.unlock(); }
    FGuard(const FGuard&) = delete;
    FGuard& operator=(const FGuard&) = delete;

private:
    ILock& lock_;
};

} // namespace Zel
