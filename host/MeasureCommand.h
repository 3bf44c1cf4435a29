#pragma once
// `nivolo-host measure`: the loudness of a file (or of the built-in
// programme) as the module measures it when a host plays it through.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/MeterReadings.h"
#include "host/QcVerdict.h"

namespace NivoloHost {

struct MeasureOptions {
    std::string modulePath;
    std::string file;      // empty: the built-in programme; "-": standard input
    int stream = 0;        // which audio stream of the file, counted from 0
    double rawRate = 0.0;  // > 0: file holds raw interleaved 32-bit float samples at this rate
    int rawChannels = 0;   // and with this many channels
    bool json = false;
    bool lu = false;       // readings in LU (LUFS + 23)
    int blockSize = 1024;
    std::string timeline;  // CSV path, one row per 100 ms of audio
    std::string plot;      // PNG path: loudness over time
    std::string editor;    // PNG path: the editor as it looks at the end
    bool realtime = false; // feed at the audio's own pace
    bool progress = false; // draw a progress bar (only on a terminal)
    QcTarget target;       // PASS or FAIL against it when it sets any limit

    // Several files and folders (runBatchMeasure).
    std::vector<std::string> inputs;
    bool csv = false;
    int jobs = 0;          // files measured at once; 0: one per core
};

// Exit status of a run in which a file missed its target.
constexpr int kExitQcFail = 4;

// Returns the exit status; a failure is one line on err and nothing on out.
int runMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err);

struct RenderOptions {
    MeasureOptions measure;          // file, block size, module, unit
    std::string out;                 // PNG path of the editor
    double at = -1.0;                // seconds of audio to play first; < 0: all of it
    std::vector<std::string> clicks; // skin names clicked, in order, after playing
};

// `nivolo-host render`: the editor after playing (part of) a file and clicking
// named controls. Returns the exit status, as runMeasure.
int runRender(const RenderOptions& options, std::ostream& out, std::ostream& err);

} // namespace NivoloHost
