#include "host/AudioThreadGuard.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/resource.h>
#endif
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace NivoloHost {

namespace {

#if defined(NIVOLO_SANITIZED) || defined(_WIN32)
// The sanitizers' allocators and shadow bookkeeping make timings meaningless;
// Windows counts no voluntary switches to tell a block's waits from preemption.
constexpr bool kTimingMeaningful = false;
#else
constexpr bool kTimingMeaningful = true;
#endif
constexpr double kMinBudgetMs = 1.0;

using Kind = AudioThreadGuard::Kind;

// Per thread; read by every allocation of the process, so plain integers in
// static TLS (no constructor, no lazy allocation of the TLS block).
struct ThreadState {
    int32_t regions;
    int32_t exempt;
    int32_t inHook;
    int64_t block;
};
#if defined(_WIN32)
thread_local ThreadState threadState;
#else
thread_local ThreadState threadState __attribute__((tls_model("initial-exec")));
#endif

// Filled from inside the hooks: fixed storage, plain values, no formatting.
struct Record {
    std::atomic<bool> ready{false};
    Kind kind = Kind::kAllocation;
    const char* function = nullptr;
    size_t size = 0; // bytes of an allocation; samples of a late block
    const void* caller = nullptr;
    int64_t block = 0;
    double elapsedMs = 0.0, cpuMs = 0.0, budgetMs = 0.0;
    int64_t waits = 0;
    char where[96] = {}; // filled when the region ends, while the caller's code is still loaded
};
Record records[AudioThreadGuard::kMaxRecorded];
std::atomic<int64_t> nextRecord{0};

std::atomic<int64_t> blockCount{0}, allocationCount{0}, blockingCount{0}, lateCount{0}, wrongThreadCount{0};
std::atomic<int> enabledState{-1};        // -1: not yet read from the environment
std::atomic<double> deadlineState{-1.0};  // < 0: not yet read from the environment
std::atomic<bool> hooksPresent{false};

Record* claimRecord() {
    const int64_t slot = nextRecord.fetch_add(1, std::memory_order_relaxed);
    return slot < AudioThreadGuard::kMaxRecorded ? &records[slot] : nullptr;
}

void store(Kind kind, const char* function, size_t size, const void* caller, double elapsedMs = 0.0,
           double cpuMs = 0.0, double budgetMs = 0.0, int64_t waits = 0) {
    if (Record* r = claimRecord()) {
        r->kind = kind;
        r->function = function;
        r->size = size;
        r->caller = caller;
        r->block = threadState.block;
        r->elapsedMs = elapsedMs;
        r->cpuMs = cpuMs;
        r->waits = waits;
        r->budgetMs = budgetMs;
        r->ready.store(true, std::memory_order_release);
    }
}

int64_t nowNs(clockid_t clock = CLOCK_MONOTONIC) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// How often this thread gave up the CPU of its own accord: waited or slept.
#if defined(_WIN32)
int64_t voluntarySwitches() { return 0; }

// "nivolo.dll+0x1a2b3": the offset in the module or the executable.
void describeCaller(const void* caller, char* out, size_t size) {
    HMODULE module = nullptr;
    char path[MAX_PATH] = {};
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<const char*>(caller), &module) &&
        GetModuleFileNameA(module, path, sizeof path) > 0) {
        const char* slash = std::strrchr(path, '\\');
        std::snprintf(out, size, "%s+0x%zx", slash ? slash + 1 : path,
                      static_cast<size_t>(static_cast<const char*>(caller) - reinterpret_cast<const char*>(module)));
    } else {
        std::snprintf(out, size, "%p", caller);
    }
}
#else
int64_t voluntarySwitches() {
    rusage usage{};
    return getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_nvcsw : 0;
}

// "nivolo.so+0x1a2b3": the offset addr2line takes for the module and for the executable.
void describeCaller(const void* caller, char* out, size_t size) {
    Dl_info info{};
    if (dladdr(caller, &info) && info.dli_fname && info.dli_fbase) {
        const char* slash = std::strrchr(info.dli_fname, '/');
        std::snprintf(out, size, "%s+0x%zx", slash ? slash + 1 : info.dli_fname,
                      static_cast<size_t>(static_cast<const char*>(caller) - static_cast<const char*>(info.dli_fbase)));
    } else {
        std::snprintf(out, size, "%p", caller);
    }
}
#endif

// The callers of the records one block made, named while their code is loaded
// (a module may be gone by the time anyone reads them).
void describeCallers(int64_t first, int64_t block) {
    const int64_t end = std::min<int64_t>(nextRecord.load(), AudioThreadGuard::kMaxRecorded);
    for (int64_t i = first; i < end; ++i) {
        Record& r = records[i];
        if (r.ready.load(std::memory_order_acquire) && r.block == block && r.caller && !r.where[0])
            describeCaller(r.caller, r.where, sizeof r.where);
    }
}

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::kAllocation: return "allocation";
    case Kind::kBlockingCall: return "blocking call";
    case Kind::kLateBlock: return "late block";
    case Kind::kWrongThread: return "wrong thread";
    }
    return "?";
}

} // namespace

void AudioThreadGuard::enable(bool on) { enabledState.store(on ? 1 : 0); }

bool AudioThreadGuard::enabled() {
    int state = enabledState.load(std::memory_order_relaxed);
    if (state < 0) {
        const char* value = std::getenv("NIVOLO_AUDIO_GUARD");
        state = value && std::strcmp(value, "1") == 0 ? 1 : 0;
        int expected = -1;
        enabledState.compare_exchange_strong(expected, state); // an enable() meanwhile wins
        state = enabledState.load();
    }
    return state == 1;
}

bool AudioThreadGuard::hooksInstalled() { return hooksPresent.load(); }
void AudioThreadGuard::markHooksInstalled() { hooksPresent.store(true); }

void AudioThreadGuard::setDeadlineFactor(double factor) { deadlineState.store(factor > 0.0 ? factor : 0.0); }

double AudioThreadGuard::deadlineFactor() {
    double factor = deadlineState.load(std::memory_order_relaxed);
    if (factor < 0.0) {
        factor = 1.0;
        if (const char* value = std::getenv("NIVOLO_AUDIO_GUARD_DEADLINE")) {
            char* end = nullptr;
            const double parsed = std::strtod(value, &end);
            if (end != value && *end == '\0' && parsed >= 0.0) factor = parsed;
        }
        double expected = -1.0;
        deadlineState.compare_exchange_strong(expected, factor);
        factor = deadlineState.load();
    }
    return factor;
}

AudioThreadGuard::Region::Region(int32_t numSamples, double sampleRate)
    : numSamples_(numSamples), sampleRate_(sampleRate) {
    ThreadState& state = threadState;
    state.block = blockCount.fetch_add(1, std::memory_order_relaxed) + 1;
    block_ = state.block;
    firstRecord_ = nextRecord.load();
    ++state.regions;
    // The thread's own CPU time and its waits tell work and waiting from time
    // the scheduler gave to other threads.
    startWaits_ = voluntarySwitches();
    startCpuNs_ = nowNs(CLOCK_THREAD_CPUTIME_ID);
    startNs_ = nowNs();
}

AudioThreadGuard::Region::~Region() {
    const int64_t elapsedNs = nowNs() - startNs_;
    const int64_t cpuNs = nowNs(CLOCK_THREAD_CPUTIME_ID) - startCpuNs_;
    const int64_t waits = voluntarySwitches() - startWaits_;
    --threadState.regions;
    ++threadState.inHook;
    describeCallers(firstRecord_, block_);
    --threadState.inHook;
    const double factor = deadlineFactor();
    if (!kTimingMeaningful || numSamples_ <= 0 || !(sampleRate_ > 0.0) || factor <= 0.0) return;
    // A block shorter than a millisecond is judged against one: below that, refilling
    // the caches after the scheduler ran another thread outlasts the audio, whatever
    // the code does.
    const double budgetMs = std::max(1000.0 * numSamples_ / sampleRate_, kMinBudgetMs) * factor;
    const double elapsedMs = static_cast<double>(elapsedNs) / 1e6;
    const double cpuMs = static_cast<double>(cpuNs) / 1e6;
    // The CPU clock may run ahead of the wall clock by its accounting granularity:
    // a block is late only when the wall clock says so too.
    if (elapsedMs > budgetMs && (cpuMs > budgetMs || waits > 0)) {
        lateCount.fetch_add(1, std::memory_order_relaxed);
        store(Kind::kLateBlock, nullptr, static_cast<size_t>(numSamples_), nullptr, elapsedMs, cpuMs, budgetMs, waits);
    }
}

AudioThreadGuard::Exempt::Exempt() { ++threadState.exempt; }
AudioThreadGuard::Exempt::~Exempt() { --threadState.exempt; }

bool AudioThreadGuard::watching() {
    const ThreadState& state = threadState;
    return state.regions > 0 && state.exempt == 0 && state.inHook == 0;
}

void AudioThreadGuard::noteAllocation(const char* function, size_t size, const void* caller) {
    ++threadState.inHook;
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    store(Kind::kAllocation, function, size, caller);
    --threadState.inHook;
}

void AudioThreadGuard::noteBlockingCall(const char* function, const void* caller) {
    ++threadState.inHook;
    blockingCount.fetch_add(1, std::memory_order_relaxed);
    store(Kind::kBlockingCall, function, 0, caller);
    --threadState.inHook;
}

void AudioThreadGuard::noteWrongThread() {
    ++threadState.inHook;
    wrongThreadCount.fetch_add(1, std::memory_order_relaxed);
    store(Kind::kWrongThread, nullptr, 0, nullptr);
    // A strict host stops here; the guard says so at once and fails the run at its end.
    std::fputs("audio-thread guard: process called on another thread than the session's audio thread\n", stderr);
    --threadState.inHook;
}

AudioThreadGuard::Counts AudioThreadGuard::counts() {
    Counts c;
    c.blocks = blockCount.load();
    c.allocations = allocationCount.load();
    c.blockingCalls = blockingCount.load();
    c.lateBlocks = lateCount.load();
    c.wrongThreads = wrongThreadCount.load();
    return c;
}

std::vector<AudioThreadGuard::Violation> AudioThreadGuard::violations() {
    std::vector<Violation> out;
    const int64_t n = std::min<int64_t>(nextRecord.load(), kMaxRecorded);
    for (int64_t i = 0; i < n; ++i) {
        const Record& r = records[i];
        if (!r.ready.load(std::memory_order_acquire)) continue;
        char what[160];
        switch (r.kind) {
        case Kind::kAllocation: std::snprintf(what, sizeof what, "%s of %zu bytes", r.function, r.size); break;
        case Kind::kBlockingCall: std::snprintf(what, sizeof what, "%s", r.function); break;
        case Kind::kLateBlock:
            std::snprintf(what, sizeof what,
                          "a block of %zu samples took %.3f ms (%.3f ms on the CPU, %lld waits), more than its %.3f ms",
                          r.size, r.elapsedMs, r.cpuMs, static_cast<long long>(r.waits), r.budgetMs);
            break;
        case Kind::kWrongThread: std::snprintf(what, sizeof what, "process called on another thread"); break;
        }
        out.push_back(Violation{r.kind, what, r.where, r.block});
    }
    return out;
}

void AudioThreadGuard::reset() {
    const int64_t n = std::min<int64_t>(nextRecord.load(), kMaxRecorded);
    for (int64_t i = 0; i < n; ++i) {
        records[i].ready.store(false);
        records[i].where[0] = '\0';
    }
    nextRecord.store(0);
    blockCount.store(0);
    allocationCount.store(0);
    blockingCount.store(0);
    lateCount.store(0);
    wrongThreadCount.store(0);
}

bool AudioThreadGuard::quietWhenClean() {
    const char* value = std::getenv("NIVOLO_AUDIO_GUARD_QUIET");
    return value && std::strcmp(value, "1") == 0;
}

std::string AudioThreadGuard::report(const Counts& c) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "audio-thread guard: %lld blocks checked, %lld allocations, %lld blocking calls, %lld late blocks",
                  static_cast<long long>(c.blocks), static_cast<long long>(c.allocations),
                  static_cast<long long>(c.blockingCalls), static_cast<long long>(c.lateBlocks));
    return line;
}

bool AudioThreadGuard::finish(std::ostream& err) {
    constexpr size_t kShown = 20;
    const Counts c = counts();
    const std::vector<Violation> list = violations();
    for (size_t i = 0; i < std::min(list.size(), kShown); ++i) {
        const Violation& v = list[i];
        err << "audio-thread guard: " << kindName(v.kind) << " in block " << v.block << ": " << v.what;
        if (!v.where.empty()) err << " (from " << v.where << ")";
        err << "\n";
    }
    if (c.violations() > static_cast<int64_t>(std::min(list.size(), kShown)))
        err << "audio-thread guard: ... " << c.violations() - static_cast<int64_t>(std::min(list.size(), kShown))
            << " more\n";
    if (c.wrongThreads > 0)
        err << "audio-thread guard: " << c.wrongThreads << " blocks processed on another thread than the audio thread\n";
    if (!hooksInstalled()) err << "audio-thread guard: allocations and blocking calls are not watched in this program\n";
    err << report(c) << "\n";
    return c.violations() == 0;
}

} // namespace NivoloHost
