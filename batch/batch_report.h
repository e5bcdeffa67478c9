#pragma once

#include <cstdio>

#include "report/run_recorder.h"

namespace etherm {

// After a run, for a run that began iterating: the summary and the names of the files written
// on `out`, then the plot (unless `plot` is false) and one line saying how it went; a report
// that stops short and a plot that fails are warnings on `err`. `completed`: the analysis
// ended normally.
// `gnuplot`, when given, draws the plot (started ahead, StartedGnuplot).
void ShowRunReport(report::RunRecorder& recorder, bool completed, bool plot, std::FILE* out,
                   std::FILE* err, report::StartedGnuplot* gnuplot = nullptr);

}  // namespace etherm
