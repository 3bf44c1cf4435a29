// POSIX implementation of the platform layer (Linux).

#include "Platform.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>

namespace Zel::Platform {

// ---- Threads ---------------------------------------------------------------
// POSIX threads cannot be created suspended: the new thread publishes its
// kernel id (so its priority can be set before it runs) and then waits at a
// gate until it is resumed.

namespace {

struct ThreadState {
    std::mutex mutex;
    std::condition_variable changed;
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    pid_t tid = 0;
    bool idKnown = false;
    bool resumed = false;
    bool abandoned = false; // closed before it was ever resumed: never run the entry
    bool ended = false;
};

// Marks the state ended however the body leaves (return or cancellation).
struct EndMarker {
    ThreadState& state;
    ~EndMarker() {
        std::lock_guard<std::mutex> guard(state.mutex);
        state.ended = true;
        state.changed.notify_all();
    }
};

void* threadTrampoline(void* raw) {
    std::unique_ptr<std::shared_ptr<ThreadState>> holder(static_cast<std::shared_ptr<ThreadState>*>(raw));
    std::shared_ptr<ThreadState> state = *holder;
    holder.reset();

    // The gate wait must not be a cancellation point.
    int oldCancelState = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldCancelState);
    bool run = false;
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        state->tid = static_cast<pid_t>(syscall(SYS_gettid));
        state->idKnown = true;
        state->changed.notify_all();
        state->changed.wait(lock, [&] { return state->resumed; });
        run = !state->abandoned;
    }
    EndMarker marker{*state};
    intptr_t exitCode = 0;
    if (run) {
        pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &oldCancelState);
        exitCode = state->entry(state->argument);
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldCancelState);
    }
    return reinterpret_cast<void*>(exitCode);
}

// Windows priority value -> nice offset from the process's own nice value.
int niceOffsetFor(int32_t priority) {
    if (priority <= kPriorityIdle) return 19;
    if (priority >= kPriorityTimeCritical) return -20;
    switch (priority) {
    case kPriorityLowest: return 10;
    case kPriorityBelowNormal: return 5;
    case kPriorityNormal: return 0;
    case kPriorityAboveNormal: return -5;
    case kPriorityHighest: return -10;
    default: return priority < 0 ? 15 : -15;
    }
}

int processNice() {
    errno = 0;
    int value = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return errno == 0 ? value : 0;
}

} // namespace

struct Thread {
    pthread_t handle{};
    std::shared_ptr<ThreadState> state;
    bool joined = false;
};

Thread* threadCreateSuspended(ThreadEntry entry, void* argument, uint32_t* threadId) {
    if (!entry) return nullptr;
    auto* thread = new (std::nothrow) Thread;
    if (!thread) return nullptr;
    thread->state = std::make_shared<ThreadState>();
    thread->state->entry = entry;
    thread->state->argument = argument;

    auto* startArg = new (std::nothrow) std::shared_ptr<ThreadState>(thread->state);
    if (!startArg || pthread_create(&thread->handle, nullptr, threadTrampoline, startArg) != 0) {
        delete startArg;
        delete thread;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(thread->state->mutex);
    thread->state->changed.wait(lock, [&] { return thread->state->idKnown; });
    if (threadId) *threadId = static_cast<uint32_t>(thread->state->tid);
    return thread;
}

bool threadResume(Thread* thread) {
    if (!thread) return false;
    std::lock_guard<std::mutex> guard(thread->state->mutex);
    thread->state->resumed = true;
    thread->state->changed.notify_all();
    return true;
}

bool processPriorityIsNormal() { return processNice() == 0; }

bool threadSetPriority(Thread* thread, int32_t priority) {
    if (!thread) return false;
    int nice = processNice() + niceOffsetFor(priority);
    nice = nice < -20 ? -20 : (nice > 19 ? 19 : nice);
    pid_t tid;
    {
        std::lock_guard<std::mutex> guard(thread->state->mutex);
        if (thread->state->ended) return false;
        tid = thread->state->tid;
    }
    // Raising above the process's own level needs privilege; refusal is reported.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

bool threadWait(Thread* thread, uint32_t timeoutMs) {
    if (!thread) return true;
    std::unique_lock<std::mutex> lock(thread->state->mutex);
    auto ended = [&] { return thread->state->ended; };
    if (timeoutMs == kWaitForever) {
        thread->state->changed.wait(lock, ended);
        return true;
    }
    return thread->state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended);
}

void threadTerminate(Thread* thread) {
    if (!thread || thread->joined) return;
    {
        std::lock_guard<std::mutex> guard(thread->state->mutex);
        if (!thread->state->resumed) {
            thread->state->abandoned = true;
            thread->state->resumed = true;
            thread->state->changed.notify_all();
        } else if (!thread->state->ended) {
            // The body stops at its next cancellation point (a semaphore wait, a sleep).
            pthread_cancel(thread->handle);
        }
    }
    pthread_join(thread->handle, nullptr);
    thread->joined = true;
}

void threadClose(Thread* thread) {
    if (!thread) return;
    if (!thread->joined) {
        bool ended;
        {
            std::lock_guard<std::mutex> guard(thread->state->mutex);
            if (!thread->state->resumed) {
                thread->state->abandoned = true;
                thread->state->resumed = true;
                thread->state->changed.notify_all();
            }
            ended = thread->state->ended || thread->state->abandoned;
        }
        // Closing a handle never stops a running thread; it only lets it go.
        if (ended)
            pthread_join(thread->handle, nullptr);
        else
            pthread_detach(thread->handle);
    }
    delete thread;
}

// ---- Counting semaphore ------------------------------------------------------

struct Semaphore {
    sem_t sem;
    int32_t maximum;
};

Semaphore* semaphoreCreate(int32_t initialCount, int32_t maximumCount) {
    if (initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount) return nullptr;
    auto* s = new (std::nothrow) Semaphore;
    if (!s) return nullptr;
    s->maximum = maximumCount > SEM_VALUE_MAX ? SEM_VALUE_MAX : maximumCount;
    if (sem_init(&s->sem, 0, static_cast<unsigned>(initialCount)) != 0) {
        delete s;
        return nullptr;
    }
    return s;
}

bool semaphoreWait(Semaphore* s, int32_t timeoutMs) {
    if (!s) return false;
    int rc;
    if (timeoutMs < 0) {
        do rc = sem_wait(&s->sem);
        while (rc != 0 && errno == EINTR);
        return rc == 0;
    }
    if (timeoutMs == 0) {
        do rc = sem_trywait(&s->sem);
        while (rc != 0 && errno == EINTR);
        return rc == 0;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    do rc = sem_clockwait(&s->sem, CLOCK_MONOTONIC, &deadline);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool semaphoreRelease(Semaphore* s, int32_t count) {
    if (!s || count <= 0) return false;
    int value = 0;
    sem_getvalue(&s->sem, &value);
    if (static_cast<int64_t>(value) + count > s->maximum) return false; // as a full semaphore refuses
    for (int32_t i = 0; i < count; ++i)
        if (sem_post(&s->sem) != 0) return false;
    return true;
}

void semaphoreClose(Semaphore* s) {
    if (!s) return;
    sem_destroy(&s->sem);
    delete s;
}

// ---- Recursive lock ----------------------------------------------------------

struct Lock {
    pthread_mutex_t mutex;
};

Lock* lockCreate() {
    auto* l = new (std::nothrow) Lock;
    if (!l) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&l->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    return l;
}

void lockEnter(Lock* l) { pthread_mutex_lock(&l->mutex); }
void lockLeave(Lock* l) { pthread_mutex_unlock(&l->mutex); }
bool lockTryEnter(Lock* l) { return pthread_mutex_trylock(&l->mutex) == 0; }

void lockDestroy(Lock* l) {
    if (!l) return;
    pthread_mutex_destroy(&l->mutex);
    delete l;
}

// ---- Identifiers ---------------------------------------------------------------

bool generateGuid(uint8_t bytes[16]) {
    size_t got = 0;
    while (got < 16) {
        ssize_t n = getrandom(bytes + got, 16 - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    bytes[7] = static_cast<uint8_t>((bytes[7] & 0x0F) | 0x40); // version 4 (high nibble of the third group)
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return true;
}

// ---- Module ----------------------------------------------------------------------

namespace {
ModuleHandle gModuleHandle = nullptr;
const char* gModulePath = "";

// The loader's process-attach notification: remember which binary we are.
__attribute__((constructor)) void processAttach() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&processAttach), &info) != 0) {
        gModuleHandle = static_cast<ModuleHandle>(info.dli_fbase);
        gModulePath = info.dli_fname ? info.dli_fname : "";
    }
}
} // namespace

ModuleHandle moduleHandle() { return gModuleHandle; }
const char* modulePath() { return gModulePath; }

// ---- Resources -------------------------------------------------------------------
// A module's resources sit in an ELF note (owner "ZelRsrc", type 1), which the loader
// maps with the module and lists in its program headers, so any loaded module can be
// searched by its handle (its base address, as dladdr reports it). The note's
// descriptor is the table
//   u32 count; per resource: u32 type offset, u32 name offset, u32 data offset,
//   u32 data size, u32 language; then the zero-terminated strings and the data,
// offsets counted from the table's start (module/ResourceTable.cpp writes it).
// The image is read as untrusted bytes all the same: every offset is bounds-checked.

namespace {

constexpr char kResourceNoteOwner[] = "ZelRsrc";
constexpr uint32_t kResourceNoteType = 1;

uint32_t loadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool sameIgnoringCase(const char* a, size_t aLength, const char* b) {
    const size_t bLength = std::strlen(b);
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A zero-terminated string at offset inside the table.
bool tableString(const uint8_t* table, size_t size, uint32_t offset, const char** text, size_t* length) {
    if (offset >= size) return false;
    const void* zero = std::memchr(table + offset, 0, size - offset);
    if (!zero) return false;
    *text = reinterpret_cast<const char*>(table + offset);
    *length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (table + offset));
    return true;
}

struct ResourceQuery {
    uintptr_t base;
    const char* name;
    const char* type;
    uint16_t language;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

bool searchResourceTable(const uint8_t* table, size_t size, ResourceQuery& query) {
    constexpr size_t kRecord = 20;
    if (size < 4) return false;
    const uint32_t count = loadU32(table);
    if (count > (size - 4) / kRecord) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* r = table + 4 + static_cast<size_t>(i) * kRecord;
        const char *type = nullptr, *name = nullptr;
        size_t typeLength = 0, nameLength = 0;
        const uint32_t offset = loadU32(r + 8), length = loadU32(r + 12), language = loadU32(r + 16);
        if (!tableString(table, size, loadU32(r), &type, &typeLength) ||
            !tableString(table, size, loadU32(r + 4), &name, &nameLength) || offset > size || length > size - offset)
            return false;
        if (sameIgnoringCase(type, typeLength, query.type) && sameIgnoringCase(name, nameLength, query.name) &&
            (query.language == kLanguageAny || language == query.language)) {
            query.data = table + offset;
            query.size = length;
            return true;
        }
    }
    return false;
}

// dl_iterate_phdr visitor: stops at the module whose mapping starts at the handle.
int searchLoadedModule(dl_phdr_info* info, size_t, void* raw) {
    auto& query = *static_cast<ResourceQuery*>(raw);
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t start = UINTPTR_MAX;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            const uintptr_t segment = (info->dlpi_addr + info->dlpi_phdr[i].p_vaddr) & ~(page - 1);
            if (segment < start) start = segment;
        }
    if (start != query.base) return 0;

    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE) continue;
        const auto* segment = reinterpret_cast<const uint8_t*>(info->dlpi_addr + ph.p_vaddr);
        const size_t segmentSize = ph.p_memsz;
        const size_t step = ph.p_align == 8 ? 8 : 4; // note fields are padded to the segment's alignment
        auto padded = [step](size_t n) { return n + (step - n % step) % step; };
        size_t at = 0;
        while (at <= segmentSize && segmentSize - at >= 12) {
            const size_t nameSize = loadU32(segment + at), descSize = loadU32(segment + at + 4);
            const uint32_t noteType = loadU32(segment + at + 8);
            const size_t nameAt = at + 12;
            if (nameSize > segmentSize - nameAt) break;
            const size_t descAt = nameAt + padded(nameSize);
            if (descAt > segmentSize || descSize > segmentSize - descAt) break;
            if (noteType == kResourceNoteType && nameSize == sizeof kResourceNoteOwner &&
                std::memcmp(segment + nameAt, kResourceNoteOwner, sizeof kResourceNoteOwner) == 0 &&
                searchResourceTable(segment + descAt, descSize, query))
                return 1;
            at = descAt + padded(descSize);
        }
    }
    return 1; // the module is found; it has no such resource
}

} // namespace

bool findResource(ModuleHandle module, const char* name, const char* type, uint16_t language,
                  const uint8_t** data, size_t* size) {
    if (!module || !name || !type || !data || !size) return false;
    ResourceQuery query{reinterpret_cast<uintptr_t>(module), name, type, language};
    dl_iterate_phdr(searchLoadedModule, &query);
    if (!query.data) return false;
    *data = query.data;
    *size = query.size;
    return true;
}

} // namespace Zel::Platform
