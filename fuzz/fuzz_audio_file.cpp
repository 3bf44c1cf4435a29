// An audio file as `nivolo-host measure FILE` meets it: any bytes, written to a
// file and measured in-process through this build's module. Whatever the file
// holds, the command must end with status 0 and a report, or status 1 and one
// error line (nothing else: no crash, no hang, no other status).

#include <dlfcn.h>
#include <sys/mman.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "host/MeasureCommand.h"

namespace {

// Inputs that decode to more audio than this are skipped, to keep each run
// short: a few bytes of a compressed format can expand to minutes.
constexpr sf_count_t kMaxSamples = 1 << 18;  // frames x channels
constexpr sf_count_t kMaxTimelineSteps = 600; // 100 ms steps: one minute of audio

void require(bool condition) {
    if (!condition) __builtin_trap();
}

std::string& scratchPath() {
    static std::string path;
    return path;
}

int& scratchFd() {
    static int fd = -1;
    return fd;
}

// The decoded length as libsndfile gives it, read up to the limit; -1 when
// there is more.
sf_count_t decodedFrames(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return 0;
    sf_count_t frames = -1;
    if (info.channels >= 1 && info.channels <= 64) {
        const sf_count_t limit = kMaxSamples / info.channels;
        std::vector<float> buffer(4096 * static_cast<size_t>(info.channels));
        frames = 0;
        for (sf_count_t got; (got = sf_readf_float(file, buffer.data(), 4096)) > 0;) {
            frames += got;
            if (frames > limit) {
                frames = -1;
                break;
            }
        }
    }
    sf_close(file);
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Loaded once for the whole run and never unloaded: the module's coverage
    // counters must stay mapped while libFuzzer reads them; runMeasure's own
    // load and unload then only count references.
    if (!dlopen(NIVOLO_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {
        std::fprintf(stderr, "fuzz_audio_file: cannot load %s: %s\n", NIVOLO_MODULE_PATH, dlerror());
        std::exit(1);
    }
    // The input's file lives in memory and goes with the process, even one that a crash ends.
    scratchFd() = memfd_create("nivolo-fuzz-audio", 0);
    if (scratchFd() < 0) {
        std::perror("fuzz_audio_file: memfd_create");
        std::exit(1);
    }
    scratchPath() = "/proc/self/fd/" + std::to_string(scratchFd());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchPath();
    require(ftruncate(scratchFd(), 0) == 0);
    require(size == 0 || pwrite(scratchFd(), data, size, 0) == static_cast<ssize_t>(size));

    SF_INFO info;
    const sf_count_t frames = decodedFrames(path, info);
    if (frames < 0) return -1;
    if (info.samplerate > 0 && frames / std::max(1, info.samplerate / 10) > kMaxTimelineSteps) return -1;

    NivoloHost::MeasureOptions options;
    options.modulePath = NIVOLO_MODULE_PATH;
    options.file = path;
    std::ostringstream out, err;
    const int status = NivoloHost::runMeasure(options, out, err);
    const std::string errors = err.str();
    if (status == 0) {
        require(errors.empty() && !out.str().empty());
    } else {
        require(status == 1 && out.str().empty());
        require(!errors.empty() && errors.back() == '\n' && errors.find('\n') == errors.size() - 1);
    }
    return 0;
}
