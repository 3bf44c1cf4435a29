#pragma once
// The threads a module starts (its window workers), found by comparing the
// process's threads before and after the module set itself up, and a bounded
// wait until they sleep. A host that feeds audio faster than real time waits
// so: a worker has then taken every window it was handed, and the module
// drops no window for want of room. Linux: read from /proc.

#include <chrono>
#include <vector>

namespace NivoloHost {

class ModuleThreads {
public:
    // The threads alive now belong to someone else.
    void markBefore();
    // Adds the threads started since markBefore.
    void collectStarted();
    // Until every collected thread waits (or has ended), at most limit.
    void waitUntilIdle(std::chrono::milliseconds limit) const;
    void clear() { before_.clear(), started_.clear(); }
    size_t count() const { return started_.size(); }

private:
    std::vector<long> before_, started_;
};

} // namespace NivoloHost
