#pragma once
// The operating-system layer under the framework: threads, semaphores, locks,
// identifier generation and the module handle. Only opaque handles cross this
// header, so one implementation file per platform sits behind it
// (PlatformPosix.cpp now; a Win32 one beside it).

#include <cstddef>
#include <cstdint>

namespace Zel::Platform {

// ---- Threads ---------------------------------------------------------------

struct Thread; // opaque
using ThreadEntry = int32_t (*)(void* argument);

inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// Windows-style thread priority values; the index map of FThread yields them.
enum ThreadPriority : int32_t {
    kPriorityIdle = -15,
    kPriorityLowest = -2,
    kPriorityBelowNormal = -1,
    kPriorityNormal = 0,
    kPriorityAboveNormal = 1,
    kPriorityHighest = 2,
    kPriorityTimeCritical = 15,
};

// Creates a thread that does not run entry until threadResume. Null on failure.
Thread* threadCreateSuspended(ThreadEntry entry, void* argument, uint32_t* threadId);
bool threadResume(Thread* thread);
// True when the process runs at its normal scheduling class (selects the priority map).
bool processPriorityIsNormal();
bool threadSetPriority(Thread* thread, int32_t priority);
// True once the thread has ended; waits at most timeoutMs (kWaitForever: no limit).
// Can be asked again after it returned true.
bool threadWait(Thread* thread, uint32_t timeoutMs);
// Stops the thread at once if it still runs; its exit code becomes 0.
void threadTerminate(Thread* thread);
// Releases the handle (joins a thread that has ended).
void threadClose(Thread* thread);

// ---- Counting semaphore ------------------------------------------------------

struct Semaphore; // opaque

Semaphore* semaphoreCreate(int32_t initialCount, int32_t maximumCount);
// timeoutMs < 0: without limit. True when a count was taken.
bool semaphoreWait(Semaphore* semaphore, int32_t timeoutMs);
// Never blocks, so the audio thread may call it.
bool semaphoreRelease(Semaphore* semaphore, int32_t count);
void semaphoreClose(Semaphore* semaphore);

// ---- Recursive lock ----------------------------------------------------------

struct Lock; // opaque

Lock* lockCreate();
void lockEnter(Lock* lock);
void lockLeave(Lock* lock);
bool lockTryEnter(Lock* lock);
void lockDestroy(Lock* lock);

// ---- Identifiers ---------------------------------------------------------------

// A new random (version 4) identifier. False when the system had no randomness to give.
bool generateGuid(uint8_t bytes[16]);

// ---- Module ----------------------------------------------------------------------

struct ModuleHandleTag; // opaque
using ModuleHandle = ModuleHandleTag*;

// The binary this code was loaded as, captured at load (process attach).
ModuleHandle moduleHandle();
// Its file path; empty when unknown.
const char* modulePath();

// ---- Resources -------------------------------------------------------------------
// Data linked into a module (the skin file), found the way a host finds a Windows
// resource: by module, type, name and language, names and types without regard to case.

inline constexpr const char* kResourceTypeRcData = "RCDATA";
inline constexpr uint16_t kLanguageEnglishUS = 1033;
inline constexpr uint16_t kLanguageAny = 0; // the first resource of that type and name

// Looks in the loaded module whose handle is given (moduleHandle() of that module).
// On success data points into the module's image, valid while it stays loaded.
bool findResource(ModuleHandle module, const char* name, const char* type, uint16_t language,
                  const uint8_t** data, size_t* size);

} // namespace Zel::Platform
