#pragma once
// `nivolo-host live`: the plug-in's editor in a window, metering the system's
// audio as it happens: what an input device captures, or a file as it plays
// to the output device.

#include <ostream>
#include <string>

namespace NivoloHost {

struct LiveOptions {
    std::string modulePath;
    std::string capture;        // input device; empty: the default one
    std::string play;           // a file to play instead of capturing
    double sampleRate = 48000.0; // capture
    int channels = 2;            // capture
    int blockSize = 1024;        // frames per audio callback
    int scale = 1;               // window pixels per editor pixel
    double seconds = -1.0;       // audio to meter; < 0: until the user quits
    bool json = false;           // the final readings as `measure --json` prints them
    std::string screenshot;      // PNG of the window's content at the end
};

// The arguments after "live" into options. 0, or 2 after one line on err.
int parseLiveArguments(int argc, char** argv, LiveOptions& options, std::ostream& err);

// Returns the exit status; a failure is one line on err and nothing on out.
int runLive(const LiveOptions& options, std::ostream& out, std::ostream& err);

} // namespace NivoloHost
