#pragma once
// What a plug-in instance may leave behind in the process: threads (each
// processor runs two collector workers) and open file descriptors, counted
// from /proc/self.

#include <dirent.h>

#include <chrono>
#include <thread>

namespace NivoloStress {

// Entries of a /proc directory, without "." and "..".
inline int countEntries(const char* path) {
    DIR* dir = opendir(path);
    if (!dir) return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}

inline int threadCount() { return countEntries("/proc/self/task"); }
// Less the descriptor that lists them.
inline int openFileCount() { return countEntries("/proc/self/fd") - 1; }

// A thread that has been joined can linger in /proc for a moment: the count is
// polled until it matches or the time is up. Returns the last count seen.
template <typename Count>
int settledCount(Count count, int expected, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int seen = count();
    while (seen != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seen = count();
    }
    return seen;
}

} // namespace NivoloStress
