// The audio-thread guard's interposer: allocation, blocking locks and sleeps,
// defined in the executable so that the module (which resolves these symbols
// through the executable first) reaches them here. Each forwards to the real
// implementation and tells the guard when the calling thread is inside a
// guarded process call. Linked only into programs that run the guard, never
// into the module.
//
// Plain builds define the allocation functions and forward them to the C
// library's own entry points (__libc_malloc and friends): no dlsym, which may
// itself allocate. Under sanitizers, whose runtimes own malloc and operator
// new, the runtime's allocation hook reports instead. The blocking calls are
// forwarded to the next definition (a sanitizer's interceptor or the C library).

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "host/AudioThreadGuard.h"

using NivoloHost::AudioThreadGuard;

#define NIVOLO_HOOK extern "C" __attribute__((visibility("default")))
#define NIVOLO_CALLER __builtin_return_address(0)

namespace {

inline void noteAllocation(const char* function, size_t size, const void* caller) {
    if (AudioThreadGuard::watching()) AudioThreadGuard::noteAllocation(function, size, caller);
}

inline void noteBlocking(const char* function, const void* caller) {
    if (AudioThreadGuard::watching()) AudioThreadGuard::noteBlockingCall(function, caller);
}

// The next definition of a function after this executable's, looked up once.
// A sanitizer runtime linked statically sits in the executable itself: its
// interceptor is then named explicitly.
void* lookUpNext(std::atomic<void*>& slot, const char* name, void* interceptor) {
    void* function = slot.load(std::memory_order_acquire);
    if (function) return function;
    function = interceptor ? interceptor : dlsym(RTLD_NEXT, name);
    if (!function) {
        std::fprintf(stderr, "audio-thread guard: no %s to forward to\n", name);
        std::abort();
    }
    slot.store(function, std::memory_order_release);
    return function;
}

} // namespace

#if defined(NIVOLO_SANITIZED)
#define NIVOLO_INTERCEPTOR(name)                                                 \
    extern "C" __attribute__((weak)) void __interceptor_##name();                \
    namespace {                                                                  \
    void* interceptorOf_##name() { return reinterpret_cast<void*>(&__interceptor_##name); } \
    }
#else
#define NIVOLO_INTERCEPTOR(name)                                                 \
    namespace {                                                                  \
    void* interceptorOf_##name() { return nullptr; }                             \
    }
#endif

// Defines the hook for a blocking call: note it, then call the next definition.
#define NIVOLO_BLOCKING_HOOK(name, result, params, args, ...)                                      \
    NIVOLO_INTERCEPTOR(name)                                                                       \
    namespace {                                                                                    \
    std::atomic<void*> next_##name{nullptr};                                                       \
    }                                                                                              \
    NIVOLO_HOOK result name params __VA_ARGS__ {                                                   \
        noteBlocking(#name, NIVOLO_CALLER);                                                        \
        using Function = result(*) params;                                                         \
        return reinterpret_cast<Function>(lookUpNext(next_##name, #name, interceptorOf_##name())) args; \
    }

// ---- Locks that can block, waits and sleeps (try-locks pass freely) ----------------------------

NIVOLO_BLOCKING_HOOK(pthread_mutex_lock, int, (pthread_mutex_t * mutex), (mutex), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_mutex_timedlock, int, (pthread_mutex_t* __restrict mutex, const timespec* __restrict at),
                     (mutex, at), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_mutex_clocklock, int,
                     (pthread_mutex_t* __restrict mutex, clockid_t clock, const timespec* __restrict at),
                     (mutex, clock, at), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_rwlock_rdlock, int, (pthread_rwlock_t * lock), (lock), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_rwlock_wrlock, int, (pthread_rwlock_t * lock), (lock), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_rwlock_timedrdlock, int, (pthread_rwlock_t* __restrict lock, const timespec* __restrict at),
                     (lock, at), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_rwlock_timedwrlock, int, (pthread_rwlock_t* __restrict lock, const timespec* __restrict at),
                     (lock, at), noexcept)
NIVOLO_BLOCKING_HOOK(pthread_cond_wait, int, (pthread_cond_t* __restrict cond, pthread_mutex_t* __restrict mutex),
                     (cond, mutex))
NIVOLO_BLOCKING_HOOK(pthread_cond_timedwait, int,
                     (pthread_cond_t* __restrict cond, pthread_mutex_t* __restrict mutex, const timespec* __restrict at),
                     (cond, mutex, at))
NIVOLO_BLOCKING_HOOK(pthread_cond_clockwait, int,
                     (pthread_cond_t* __restrict cond, pthread_mutex_t* __restrict mutex, clockid_t clock,
                      const timespec* __restrict at),
                     (cond, mutex, clock, at))
NIVOLO_BLOCKING_HOOK(pthread_join, int, (pthread_t thread, void** result), (thread, result))
NIVOLO_BLOCKING_HOOK(sem_wait, int, (sem_t * semaphore), (semaphore))
NIVOLO_BLOCKING_HOOK(sem_timedwait, int, (sem_t* __restrict semaphore, const timespec* __restrict at), (semaphore, at))
NIVOLO_BLOCKING_HOOK(sem_clockwait, int,
                     (sem_t* __restrict semaphore, clockid_t clock, const timespec* __restrict at),
                     (semaphore, clock, at))
NIVOLO_BLOCKING_HOOK(nanosleep, int, (const timespec* duration, timespec* remaining), (duration, remaining))
NIVOLO_BLOCKING_HOOK(clock_nanosleep, int,
                     (clockid_t clock, int flags, const timespec* duration, timespec* remaining),
                     (clock, flags, duration, remaining))
NIVOLO_BLOCKING_HOOK(usleep, int, (useconds_t microseconds), (microseconds))
NIVOLO_BLOCKING_HOOK(sleep, unsigned int, (unsigned int seconds), (seconds))

// ---- Allocation ------------------------------------------------------------------------------

#if defined(NIVOLO_SANITIZED)

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));

namespace {
// Called by the sanitizer's allocator for malloc and operator new alike; the
// caller's address lies beyond the runtime's frames, so none is recorded.
void onSanitizerMalloc(const volatile void*, size_t size) { noteAllocation("allocation", size, nullptr); }
void onSanitizerFree(const volatile void*) {}

__attribute__((constructor)) void installHooks() {
    __sanitizer_install_malloc_and_free_hooks(onSanitizerMalloc, onSanitizerFree);
    AudioThreadGuard::markHooksInstalled();
}
} // namespace

#else

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

__attribute__((constructor)) void installHooks() { AudioThreadGuard::markHooksInstalled(); }

bool validAlignment(size_t alignment) { return alignment != 0 && (alignment & (alignment - 1)) == 0; }

// operator new's contract: retry through the new-handler, throw when there is none.
void* allocateOrThrow(size_t size, size_t alignment) {
    if (size == 0) size = 1;
    for (;;) {
        void* block = alignment ? __libc_memalign(alignment, size) : __libc_malloc(size);
        if (block) return block;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* allocateOrNull(size_t size, size_t alignment) noexcept {
    try {
        return allocateOrThrow(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

size_t alignmentOf(std::align_val_t alignment) {
    const auto value = static_cast<size_t>(alignment);
    return value < sizeof(void*) ? sizeof(void*) : value;
}

} // namespace

NIVOLO_HOOK void* malloc(size_t size) noexcept {
    noteAllocation("malloc", size, NIVOLO_CALLER);
    return __libc_malloc(size);
}

NIVOLO_HOOK void* calloc(size_t count, size_t size) noexcept {
    noteAllocation("calloc", count * size, NIVOLO_CALLER);
    return __libc_calloc(count, size);
}

NIVOLO_HOOK void* realloc(void* block, size_t size) noexcept {
    if (size > 0) noteAllocation("realloc", size, NIVOLO_CALLER);
    return __libc_realloc(block, size);
}

// Freeing is not counted: what matters on the audio thread is where a block was made.
NIVOLO_HOOK void free(void* block) noexcept { __libc_free(block); }

NIVOLO_HOOK void* aligned_alloc(size_t alignment, size_t size) noexcept {
    noteAllocation("aligned_alloc", size, NIVOLO_CALLER);
    if (!validAlignment(alignment)) {
        errno = EINVAL;
        return nullptr;
    }
    return __libc_memalign(alignment, size);
}

NIVOLO_HOOK void* memalign(size_t alignment, size_t size) noexcept {
    noteAllocation("memalign", size, NIVOLO_CALLER);
    return __libc_memalign(alignment, size);
}

NIVOLO_HOOK int posix_memalign(void** result, size_t alignment, size_t size) noexcept {
    noteAllocation("posix_memalign", size, NIVOLO_CALLER);
    if (!validAlignment(alignment) || alignment % sizeof(void*) != 0) return EINVAL;
    void* block = __libc_memalign(alignment, size);
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}

#define NIVOLO_NEW_HOOK __attribute__((visibility("default")))

NIVOLO_NEW_HOOK void* operator new(size_t size) {
    noteAllocation("operator new", size, NIVOLO_CALLER);
    return allocateOrThrow(size, 0);
}
NIVOLO_NEW_HOOK void* operator new[](size_t size) {
    noteAllocation("operator new[]", size, NIVOLO_CALLER);
    return allocateOrThrow(size, 0);
}
NIVOLO_NEW_HOOK void* operator new(size_t size, const std::nothrow_t&) noexcept {
    noteAllocation("operator new", size, NIVOLO_CALLER);
    return allocateOrNull(size, 0);
}
NIVOLO_NEW_HOOK void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    noteAllocation("operator new[]", size, NIVOLO_CALLER);
    return allocateOrNull(size, 0);
}
NIVOLO_NEW_HOOK void* operator new(size_t size, std::align_val_t alignment) {
    noteAllocation("operator new", size, NIVOLO_CALLER);
    return allocateOrThrow(size, alignmentOf(alignment));
}
NIVOLO_NEW_HOOK void* operator new[](size_t size, std::align_val_t alignment) {
    noteAllocation("operator new[]", size, NIVOLO_CALLER);
    return allocateOrThrow(size, alignmentOf(alignment));
}
NIVOLO_NEW_HOOK void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    noteAllocation("operator new", size, NIVOLO_CALLER);
    return allocateOrNull(size, alignmentOf(alignment));
}
NIVOLO_NEW_HOOK void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    noteAllocation("operator new[]", size, NIVOLO_CALLER);
    return allocateOrNull(size, alignmentOf(alignment));
}

NIVOLO_NEW_HOOK void operator delete(void* block) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete[](void* block) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete(void* block, size_t) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete[](void* block, size_t) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete(void* block, const std::nothrow_t&) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete[](void* block, const std::nothrow_t&) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete(void* block, std::align_val_t) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete[](void* block, std::align_val_t) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete(void* block, size_t, std::align_val_t) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete[](void* block, size_t, std::align_val_t) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { __libc_free(block); }
NIVOLO_NEW_HOOK void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    __libc_free(block);
}

#endif
