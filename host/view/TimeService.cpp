#include "host/view/TimeService.h"

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

TimeService::TimeService() : origin_(std::chrono::steady_clock::now()) {}

tresult TimeService::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<ITimeService>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

double TimeService::nowLocked() const {
    if (audioClock_) return audioSeconds_;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
}

double TimeService::currentSeconds() {
    std::lock_guard<std::mutex> guard(lock_);
    return nowLocked();
}

void TimeService::setAudioClockSeconds(double seconds, double sampleRate) {
    std::lock_guard<std::mutex> guard(lock_);
    audioClock_ = true;
    audioSeconds_ = seconds;
    if (sampleRate > 0.0) sampleRate_ = sampleRate;
}

void TimeService::useWallClock() {
    std::lock_guard<std::mutex> guard(lock_);
    audioClock_ = false;
    sampleRate_ = 0.0;
}

tresult TimeService::isAudioClock() {
    std::lock_guard<std::mutex> guard(lock_);
    return audioClock_ ? kResultTrue : kResultFalse;
}

double TimeService::sampleRate() {
    std::lock_guard<std::mutex> guard(lock_);
    return audioClock_ ? sampleRate_ : 0.0;
}

double TimeService::resolutionMilliseconds() {
    std::lock_guard<std::mutex> guard(lock_);
    if (audioClock_) return sampleRate_ > 0.0 ? 1000.0 / sampleRate_ : 0.0;
    using Period = std::chrono::steady_clock::period;
    return 1000.0 * static_cast<double>(Period::num) / static_cast<double>(Period::den);
}

tresult TimeService::startTimer(int32_t id, int32_t milliseconds) {
    if (milliseconds < 0) return kInvalidArgument;
    std::lock_guard<std::mutex> guard(lock_);
    timers_[id] = Timer{nowLocked(), milliseconds};
    return kResultOk;
}

tresult TimeService::stopTimer(int32_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    return timers_.erase(id) ? kResultOk : kResultFalse;
}

tresult TimeService::isTimerRunning(int32_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    return timers_.count(id) ? kResultTrue : kResultFalse;
}

double TimeService::timerElapsed(int32_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = timers_.find(id);
    return it == timers_.end() ? 0.0 : nowLocked() - it->second.start;
}

tresult TimeService::resetTimer(int32_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = timers_.find(id);
    if (it == timers_.end()) return kResultFalse;
    it->second.start = nowLocked();
    return kResultOk;
}

int32_t TimeService::timerCount() {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int32_t>(timers_.size());
}

} // namespace NivoloHost
