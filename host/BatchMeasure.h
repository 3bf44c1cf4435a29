#pragma once
// `nivolo-host measure A B DIR ...`: every file through a processor of its own,
// several files at once, the results in the order given: a table and a summary
// line, JSON Lines or CSV. Folders are walked recursively in sorted order;
// files that hold no audio are skipped, files that fail do not stop the rest.

#include <ostream>

#include "host/MeasureCommand.h"

namespace NivoloHost {

// Exit status: 0 every file measured (and passed), 1 a file could not be
// measured (or nothing could), 4 a file missed the target; 1 wins over 4.
int runBatchMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err);

} // namespace NivoloHost
