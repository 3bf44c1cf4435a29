#pragma once
// `measure` through the processor alone, for a host without the view framework
// (the Windows build): the source is played offline through one processor whose
// message peer is the host's stand-in for the controller, and the readings are
// reported as the editor would show them, in the same text and JSON as
// runMeasure. Sources: the built-in programme and raw samples (--raw).

#include <ostream>

#include "host/MeasureCommand.h"

namespace NivoloHost {

// Returns the exit status; a failure is one line on err and nothing on out.
// Only the module, file, raw format, block size, unit and JSON options apply.
int runProcessorMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err);

} // namespace NivoloHost
