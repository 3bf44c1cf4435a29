#include "host/ModuleThreads.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace NivoloHost {

namespace {

std::vector<long> threadIds() {
    std::vector<long> ids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ids.push_back(std::atol(entry->d_name));
        closedir(tasks);
    }
    return ids;
}

// Running or ready to run; a thread that waits (or has ended) is not.
bool threadBusy(long id) {
    std::ifstream stat("/proc/self/task/" + std::to_string(id) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t name = text.rfind(')');
    if (name == std::string::npos || name + 2 >= text.size()) return false;
    return text[name + 2] == 'R' || text[name + 2] == 'D';
}

} // namespace

void ModuleThreads::markBefore() { before_ = threadIds(); }

void ModuleThreads::collectStarted() {
    for (long id : threadIds())
        if (std::find(before_.begin(), before_.end(), id) == before_.end() &&
            std::find(started_.begin(), started_.end(), id) == started_.end())
            started_.push_back(id);
}

void ModuleThreads::waitUntilIdle(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::any_of(started_.begin(), started_.end(), threadBusy) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(20));
}

} // namespace NivoloHost
