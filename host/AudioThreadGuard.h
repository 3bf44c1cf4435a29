#pragma once
// A debug mode of the host: while its audio thread is inside a processor's
// process call, anything that allocates, takes a lock that can block or
// sleeps is a violation, and so is a block that takes longer than the audio
// it carries. The interposer (AudioThreadGuardHooks.cpp, linked only into the
// programs that run the guard) reports allocations and blocking calls here.
// The host's own code that may run on the audio thread during process (the
// message objects, the text control the controller sets from there) opens an
// exempt scope; module code cannot.
//
// Off unless NIVOLO_AUDIO_GUARD=1 is in the environment or enable() is called.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace NivoloHost {

class AudioThreadGuard {
public:
    enum class Kind : int32_t { kAllocation, kBlockingCall, kLateBlock, kWrongThread };

    struct Violation {
        Kind kind;
        std::string what;  // e.g. "malloc of 64 bytes", "pthread_mutex_lock"
        std::string where; // the caller as "file+0xoffset" (for addr2line); empty when unknown
        int64_t block;     // 1-based number of the guarded block it happened in
    };

    struct Counts {
        int64_t blocks = 0;
        int64_t allocations = 0;
        int64_t blockingCalls = 0;
        int64_t lateBlocks = 0;
        int64_t wrongThreads = 0;
        int64_t violations() const { return allocations + blockingCalls + lateBlocks + wrongThreads; }
    };

    // Only this many violations are kept in detail; all are counted.
    static constexpr int32_t kMaxRecorded = 256;

    // [any thread] On (or off) for every block from now on, whatever the environment says.
    static void enable(bool on = true);
    static bool enabled();
    // True when the interposer is linked into this program: without it only
    // late blocks and calls from a wrong thread are seen.
    static bool hooksInstalled();
    // A block may take factor times its own duration; 0 turns the check off.
    // Default 1, or NIVOLO_AUDIO_GUARD_DEADLINE. Builds under sanitizers never check.
    // A host runs its audio thread above every other thread: time the scheduler
    // gave to other threads while the block neither waited nor slept is not
    // counted, only the thread's own CPU time then.
    static void setDeadlineFactor(double factor);
    static double deadlineFactor();

    // One guarded process call on the calling thread: from construction to
    // destruction every allocation and blocking call of this thread counts.
    class Region {
    public:
        Region(int32_t numSamples, double sampleRate);
        ~Region();
        Region(const Region&) = delete;
        Region& operator=(const Region&) = delete;

    private:
        int32_t numSamples_;
        double sampleRate_;
        int64_t startNs_;
        int64_t startCpuNs_;
        int64_t startWaits_;
        int64_t firstRecord_;
        int64_t block_;
    };

    // Host code that may run on the audio thread inside a region.
    class Exempt {
    public:
        Exempt();
        ~Exempt();
        Exempt(const Exempt&) = delete;
        Exempt& operator=(const Exempt&) = delete;
    };

    static Counts counts();
    // The recorded violations, oldest first. Allocates: not for the audio thread.
    static std::vector<Violation> violations();
    // Clears counts and records (no region may be open).
    static void reset();
    // "audio-thread guard: N blocks checked, A allocations, L blocking calls, D late blocks"
    static std::string report(const Counts& counts);
    // The recorded violations, one per line, then the report line. False when there was any.
    static bool finish(std::ostream& err);
    // A program run under the guard reports only when something was wrong
    // (NIVOLO_AUDIO_GUARD_QUIET=1: for test programs that start the host).
    static bool quietWhenClean();

    // [any thread] A process call from another thread than the session's audio thread.
    static void noteWrongThread();

    // ---- For the interposer ----
    // True on a thread inside a region and outside exempt scopes and the hooks themselves.
    static bool watching();
    // Both never allocate; function must be a literal, caller a return address.
    static void noteAllocation(const char* function, size_t size, const void* caller);
    static void noteBlockingCall(const char* function, const void* caller);
    static void markHooksInstalled();
};

} // namespace NivoloHost
