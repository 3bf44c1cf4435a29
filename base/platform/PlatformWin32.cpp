// Win32 implementation of the platform layer (64-bit Windows).

#include "Platform.h"

#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace Zel::Platform {

// ---- Threads ---------------------------------------------------------------
// Windows creates threads suspended itself. What the thread runs is kept in a
// start record the thread frees when it returns; a thread closed before it was
// ever resumed is resumed only to return at once, without running the entry.

namespace {

struct ThreadStart {
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    std::atomic<bool> abandoned{false};
};

DWORD WINAPI threadTrampoline(LPVOID raw) {
    auto* start = static_cast<ThreadStart*>(raw);
    DWORD exitCode = 0;
    if (!start->abandoned.load(std::memory_order_acquire)) {
        // Each worker has its own apartment, as component-object code on it expects.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        exitCode = static_cast<DWORD>(start->entry(start->argument));
        if (SUCCEEDED(com)) CoUninitialize();
    }
    delete start;
    return exitCode;
}

} // namespace

struct Thread {
    HANDLE handle = nullptr;
    ThreadStart* start = nullptr; // valid until the thread is resumed
    bool resumed = false;
};

Thread* threadCreateSuspended(ThreadEntry entry, void* argument, uint32_t* threadId) {
    if (!entry) return nullptr;
    auto* thread = new (std::nothrow) Thread;
    auto* start = new (std::nothrow) ThreadStart;
    if (!thread || !start) {
        delete thread;
        delete start;
        return nullptr;
    }
    start->entry = entry;
    start->argument = argument;
    DWORD id = 0;
    thread->handle = CreateThread(nullptr, 0, threadTrampoline, start, CREATE_SUSPENDED, &id);
    if (!thread->handle) {
        delete start;
        delete thread;
        return nullptr;
    }
    thread->start = start;
    if (threadId) *threadId = id;
    return thread;
}

bool threadResume(Thread* thread) {
    if (!thread || thread->resumed) return thread != nullptr;
    if (ResumeThread(thread->handle) == static_cast<DWORD>(-1)) return false;
    thread->resumed = true;
    thread->start = nullptr; // the thread owns it now
    return true;
}

namespace {
// A thread that never ran: let it return without running its entry.
void abandonIfSuspended(Thread* thread) {
    if (thread->resumed) return;
    thread->start->abandoned.store(true, std::memory_order_release);
    threadResume(thread);
    WaitForSingleObject(thread->handle, INFINITE);
}
} // namespace

bool processPriorityIsNormal() { return GetPriorityClass(GetCurrentProcess()) == NORMAL_PRIORITY_CLASS; }

// The priority values are Windows' own (THREAD_PRIORITY_IDLE ... THREAD_PRIORITY_TIME_CRITICAL).
bool threadSetPriority(Thread* thread, int32_t priority) {
    return thread && SetThreadPriority(thread->handle, priority) != 0;
}

bool threadWait(Thread* thread, uint32_t timeoutMs) {
    if (!thread) return true;
    return WaitForSingleObject(thread->handle, timeoutMs == kWaitForever ? INFINITE : timeoutMs) == WAIT_OBJECT_0;
}

void threadTerminate(Thread* thread) {
    if (!thread) return;
    if (!thread->resumed) {
        abandonIfSuspended(thread);
        return;
    }
    if (WaitForSingleObject(thread->handle, 0) != WAIT_OBJECT_0) {
        TerminateThread(thread->handle, 0);
        WaitForSingleObject(thread->handle, INFINITE);
    }
}

void threadClose(Thread* thread) {
    if (!thread) return;
    abandonIfSuspended(thread);
    // Closing a handle never stops a running thread; it only lets it go.
    CloseHandle(thread->handle);
    delete thread;
}

// ---- Counting semaphore ------------------------------------------------------
// The opaque pointer is the semaphore's handle itself.

Semaphore* semaphoreCreate(int32_t initialCount, int32_t maximumCount) {
    if (initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount) return nullptr;
    return reinterpret_cast<Semaphore*>(CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr));
}

bool semaphoreWait(Semaphore* s, int32_t timeoutMs) {
    if (!s) return false;
    const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(reinterpret_cast<HANDLE>(s), timeout) == WAIT_OBJECT_0;
}

bool semaphoreRelease(Semaphore* s, int32_t count) {
    if (!s || count <= 0) return false;
    return ReleaseSemaphore(reinterpret_cast<HANDLE>(s), count, nullptr) != 0;
}

void semaphoreClose(Semaphore* s) {
    if (s) CloseHandle(reinterpret_cast<HANDLE>(s));
}

// ---- Recursive lock ----------------------------------------------------------

struct Lock {
    CRITICAL_SECTION section;
};

Lock* lockCreate() {
    auto* l = new (std::nothrow) Lock;
    if (l) InitializeCriticalSection(&l->section);
    return l;
}

void lockEnter(Lock* l) { EnterCriticalSection(&l->section); }
void lockLeave(Lock* l) { LeaveCriticalSection(&l->section); }
bool lockTryEnter(Lock* l) { return TryEnterCriticalSection(&l->section) != 0; }

void lockDestroy(Lock* l) {
    if (!l) return;
    DeleteCriticalSection(&l->section);
    delete l;
}

// ---- Identifiers ---------------------------------------------------------------
// A GUID's bytes in memory are the identifier's bytes: its first three fields are
// the little-endian numbers the text form starts with.

bool generateGuid(uint8_t bytes[16]) {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) return false;
    static_assert(sizeof guid == 16);
    std::memcpy(bytes, &guid, 16);
    return true;
}

// ---- Module ----------------------------------------------------------------------

namespace {
HMODULE gModule = nullptr;
std::string gModulePath;
bool gPathKnown = false;

// Code linked into an executable gets no DLL notification: the handle of
// whatever binary holds this function.
HMODULE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &module);
    return module;
}

std::string utf8(const wchar_t* text, int length) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring wide(const char* text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(units > 0 ? static_cast<size_t>(units) : 1, L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), units);
    out.resize(out.size() - 1); // the terminator the conversion wrote
    return out;
}
} // namespace

ModuleHandle moduleHandle() {
    if (!gModule) gModule = ownModule();
    return reinterpret_cast<ModuleHandle>(gModule);
}

const char* modulePath() {
    if (!gPathKnown) {
        wchar_t path[MAX_PATH * 4];
        const DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(moduleHandle()), path, MAX_PATH * 4);
        if (length > 0 && length < MAX_PATH * 4) gModulePath = utf8(path, static_cast<int>(length));
        gPathKnown = true;
    }
    return gModulePath.c_str();
}

// ---- Resources -------------------------------------------------------------------

bool findResource(ModuleHandle module, const char* name, const char* type, uint16_t language,
                  const uint8_t** data, size_t* size) {
    if (!module || !name || !type || !data || !size) return false;
    const auto hmodule = reinterpret_cast<HMODULE>(module);
    const std::wstring wideName = wide(name);
    const std::wstring wideType = wide(type);
    // The standard type by its number; any other by its name.
    const LPCWSTR typeId = _wcsicmp(wideType.c_str(), L"RCDATA") == 0 ? MAKEINTRESOURCEW(10) : wideType.c_str();
    HRSRC found = language == kLanguageAny ? FindResourceW(hmodule, wideName.c_str(), typeId)
                                           : FindResourceExW(hmodule, typeId, wideName.c_str(), language);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(hmodule, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    *data = static_cast<const uint8_t*>(bytes);
    *size = SizeofResource(hmodule, found);
    return true;
}

} // namespace Zel::Platform

// The loader's process-attach notification: remember which module we are.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Zel::Platform::gModule = instance;
    return TRUE;
}
