#pragma once
// `measure` through the processor alone, for a host without the view framework
// (the Windows build): the source is played offline through one processor whose
// message peer is the host's stand-in for the controller, and the readings are
// reported as the editor would show them, in the same text and JSON as
// runMeasure. Sources: the built-in programme and raw samples (--raw).
// Batch measurement plays each file the same way, one processor per file.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "host/AudioSource.h"
#include "host/MeasureCommand.h"
#include "host/MeterReadings.h"
#include "interfaces/IPluginFactory.h"

namespace NivoloHost {

// Returns the exit status; a failure is one line on err and nothing on out.
// Only the module, file, raw format, block size, unit, JSON and target options apply.
int runProcessorMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err);

// One source played offline through a new processor of the module's factory.
struct ProcessorPass {
    int32_t blockSize = 1024;
    bool lu = false;
    // Held while the processor is created and torn down: a host does that on
    // one thread, whatever threads then process.
    std::mutex* setupLock = nullptr;
    // The frames played so far, for a progress bar (may be null).
    std::atomic<int64_t>* framesDone = nullptr;
};

struct ProcessorResult {
    MeterReadings readings;
    int64_t frames = 0;
};

// The final readings of the whole source; false with a one-line reason (a
// source the meter cannot measure, a processor that fails, no audio).
bool playThroughProcessor(Zel::IPluginFactory* factory, AudioSource& source, const ProcessorPass& pass,
                          ProcessorResult& result, std::string& error);

} // namespace NivoloHost
