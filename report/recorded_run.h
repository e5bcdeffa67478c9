#pragma once

#include <string>

#include "report/run_description.h"
#include "report/run_summary.h"

namespace etherm::report {

// The summary of a run read back from the BASE.csv and BASE.iterations.csv it left in `folder`:
// the figures it printed, by the same arithmetic, at full precision. The devices and probes
// come from the header of BASE.csv. Throws Failure naming the file (and line) when a file is
// missing or is no such report: a header without the devices' columns, a row of another width,
// a cell that is no number, a file that is no regular file or holds more than 4 GiB.
RunSummary ReadRecordedRun(AnalysisKind kind, const std::string& folder,
                           const std::string& baseName);

}  // namespace etherm::report
