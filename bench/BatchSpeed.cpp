// `nivolo-host measure` on four 10-minute files: one run per file one after
// another (as a user measures without the batch), one batch with --jobs 1,
// and one with a job per core; then the peak memory of a batch by jobs and by
// file length. Each figure is the best of several rounds taken in turn, so a
// neighbour's load on a shared machine disturbs all of them alike.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "PinkNoise.h"

extern char** environ;

namespace {

struct Run {
    double wall = 0.0; // s
    double cpu = 0.0;  // s, user and system of the process and its threads
    long peakKb = 0;   // peak resident set
    int status = -1;
};

// One nivolo-host run, its output thrown away.
Run host(const std::vector<std::string>& args) {
    std::vector<std::string> all = {NIVOLO_HOST_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int wait = 0;
        rusage usage{};
        if (wait4(pid, &wait, 0, &usage) == pid) {
            run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            run.peakKb = usage.ru_maxrss;
            run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

struct Way {
    const char* name;
    std::vector<std::vector<std::string>> runs; // one after another
    std::vector<double> walls, cpus;
    long peakKb = 0;
};

double best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp/nivolo-bench-batch";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::filesystem::create_directories(dir);
    std::vector<std::string> files;
    for (unsigned i = 1; i <= 4; ++i) files.push_back(dir + "/pink-10min-" + std::to_string(i) + ".wav");
    const std::string shortFile = dir + "/pink-1min.wav", longFile = dir + "/pink-30min.wav";
    for (unsigned i = 0; i < files.size(); ++i)
        if (!std::filesystem::exists(files[i]) && !Bench::writePinkNoise(files[i], 600, 11 + i)) return 1;
    if (!std::filesystem::exists(shortFile) && !Bench::writePinkNoise(shortFile, 60, 5)) return 1;
    if (!std::filesystem::exists(longFile) && !Bench::writePinkNoise(longFile, 1800, 6)) return 1;

    auto batch = [&](const char* jobs) {
        std::vector<std::string> args = {"measure"};
        args.insert(args.end(), files.begin(), files.end());
        args.insert(args.end(), {"--json", "--jobs", jobs});
        return args;
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string perCore = std::to_string(cores);
    Way ways[] = {{"one run per file, one after another", {}, {}, {}, 0},
                  {"one batch, --jobs 1", {batch("1")}, {}, {}, 0},
                  {"one batch, a job per core (the default)", {batch(perCore.c_str())}, {}, {}, 0}};
    for (const std::string& f : files) ways[0].runs.push_back({"measure", f, "--json"});

    for (int round = 0; round < rounds; ++round) {
        for (Way& way : ways) {
            double wall = 0.0, cpu = 0.0;
            for (const auto& args : way.runs) {
                const Run r = host(args);
                if (r.status != 0) {
                    std::fprintf(stderr, "nivolo-host failed (%d): %s\n", r.status, way.name);
                    return 1;
                }
                wall += r.wall;
                cpu += r.cpu;
                way.peakKb = std::max(way.peakKb, r.peakKb);
            }
            way.walls.push_back(wall);
            way.cpus.push_back(cpu);
        }
    }
    std::printf("four 10-minute stereo 48 kHz files on %u cores, best and median of %d rounds:\n", cores, rounds);
    for (const Way& way : ways)
        std::printf("  %-42s %6.2f s (median %6.2f s), %5.2f s CPU, peak %ld KB\n", way.name, best(way.walls),
                    median(way.walls), median(way.cpus), way.peakKb);
    std::printf("  speed-up of the batch over one run per file: %.2fx (best), %.2fx (median)\n",
                best(ways[0].walls) / best(ways[2].walls), median(ways[0].walls) / median(ways[2].walls));
    std::printf("  speed-up of the batch over --jobs 1:          %.2fx (best), %.2fx (median)\n",
                best(ways[1].walls) / best(ways[2].walls), median(ways[1].walls) / median(ways[2].walls));

    std::printf("peak memory (resident) of one batch:\n");
    for (const char* jobs : {"1", "2", "4"}) {
        long peak = 0;
        for (int round = 0; round < 2; ++round) peak = std::max(peak, host(batch(jobs)).peakKb);
        std::printf("  four 10-minute files, --jobs %s: %ld KB\n", jobs, peak);
    }
    for (const std::string& f : {shortFile, files[0], longFile}) {
        long peak = 0;
        for (int round = 0; round < 2; ++round) peak = std::max(peak, host({"measure", f, f, "--json", "--jobs", "1"}).peakKb);
        std::printf("  %s twice, --jobs 1: %ld KB\n", std::filesystem::path(f).filename().c_str(), peak);
    }
    return 0;
}
