// A media file as `nivolo-host measure FILE` meets it: any bytes, written to a
// file and measured in-process through this build's module. Whatever the file
// holds, the command must end with status 0 and a report (with at most one
// warning line), or status 1 and one error line (nothing else: no crash, no
// hang, no other status).

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/AudioSource.h"
#include "host/MeasureCommand.h"

namespace {

// Inputs that decode to more audio than this are skipped, to keep each run
// short: a few bytes of a compressed format can expand to minutes.
constexpr int64_t kMaxSamples = 1 << 18;  // frames x channels
constexpr int64_t kMaxTimelineSteps = 600; // 100 ms steps: one minute of audio

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

// The decoded length as the host's reader gives it, read up to the limit; -1
// when there is more (or the rate makes the measurement long).
int64_t decodedFrames(const std::string& path) {
    std::string error;
    std::unique_ptr<NivoloHost::AudioSource> source = NivoloHost::AudioSource::openFile(path, 0, error);
    if (!source) return 0;
    const int64_t channels = source->channels();
    if (channels < 1 || channels > 64) return 0;
    const int64_t limit = std::min(kMaxSamples / channels,
                                   kMaxTimelineSteps * std::max<int64_t>(1, static_cast<int64_t>(source->sampleRate()) / 10));
    std::vector<float> buffer(4096 * static_cast<size_t>(channels));
    int64_t frames = 0;
    for (int64_t got; (got = source->read(buffer.data(), 4096)) > 0;)
        if ((frames += got) > limit) return -1;
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

    if (decodedFrames(path) < 0) return -1;

    NivoloHost::MeasureOptions options;
    options.modulePath = NIVOLO_MODULE_PATH;
    options.file = path;
    std::ostringstream out, err;
    const int status = NivoloHost::runMeasure(options, out, err);
    const std::string errors = err.str();
    const bool oneLine = !errors.empty() && errors.back() == '\n' && errors.find('\n') == errors.size() - 1;
    if (status == 0) {
        // Audio damaged past its start: the readings of what decoded, and one warning.
        require(!out.str().empty());
        require(errors.empty() || (oneLine && errors.rfind("nivolo-host: warning: ", 0) == 0));
    } else {
        require(status == 1 && out.str().empty() && oneLine);
    }
    return 0;
}
