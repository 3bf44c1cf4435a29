#include "base/FThread.h"

namespace Zel {

FThread::FThread(const char* name) : name_(name ? name : "") {
    (void)affinityIndex_;
    (void)reserved_;
}

FThread::~FThread() {
    if (handle_) Platform::threadClose(handle_);
}

int32_t FThread::platformPriority(int32_t index, bool normalClass) {
    static const int32_t normalMap[6] = {
        Platform::kPriorityIdle,        Platform::kPriorityBelowNormal, Platform::kPriorityNormal,
        Platform::kPriorityAboveNormal, Platform::kPriorityHighest,     Platform::kPriorityTimeCritical};
    // A process already running above or below normal keeps its threads one step lower.
    static const int32_t otherMap[6] = {
        Platform::kPriorityIdle,   Platform::kPriorityLowest,  Platform::kPriorityBelowNormal,
        Platform::kPriorityNormal, Platform::kPriorityAboveNormal, Platform::kPriorityTimeCritical};
    return normalClass ? normalMap[index] : otherMap[index];
}

bool FThread::setPriority(int32_t index) {
    if (index < kIdle || index > kTimeCritical) return false;
    priority_ = index;
    // Before start the index waits for start; after a failed start there is no thread to set.
    if (!handle_) return !running_;
    return Platform::threadSetPriority(handle_, platformPriority(index, Platform::processPriorityIsNormal()));
}

bool FThread::start() {
    running_ = true;
    handle_ = Platform::threadCreateSuspended(&FThread::entry, this, &threadId_);
    if (!handle_) return false;
    setPriority(priority_); // a refused raise leaves the thread at the process's level
    Platform::threadResume(handle_);
    return true;
}

int32_t FThread::entry(void* self) {
    // The platform layer gives the thread its component-object initialisation where there is one.
    return static_cast<FThread*>(self)->run();
}

bool FThread::waitForEnd(uint32_t timeoutMs) {
    if (!running_ || !handle_) return true;
    return Platform::threadWait(handle_, timeoutMs);
}

void FThread::kill() {
    if (!handle_) return;
    Platform::threadTerminate(handle_);
    Platform::threadClose(handle_);
    handle_ = nullptr;
}

} // namespace Zel
