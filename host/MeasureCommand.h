#pragma once
// `nivolo-host measure`: the loudness of a file (or of the built-in
// programme) as the module measures it when a host plays it through.

#include <ostream>
#include <string>

namespace NivoloHost {

struct MeasureOptions {
    std::string modulePath;
    std::string file;      // empty: the built-in programme
    bool json = false;
    bool lu = false;       // readings in LU (LUFS + 23)
    int blockSize = 1024;
    std::string timeline;  // CSV path, one row per 100 ms of audio
    std::string plot;      // PNG path: loudness over time
    bool realtime = false; // feed at the audio's own pace
    bool progress = false; // draw a progress bar (only on a terminal)
};

// Returns the exit status; a failure is one line on err and nothing on out.
int runMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err);

} // namespace NivoloHost
