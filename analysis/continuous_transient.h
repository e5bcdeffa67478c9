#pragma once

#include <memory>
#include <string>

#include "analysis/analysis.h"
#include "analysis/run_files.h"
#include "analysis/run_outputs.h"
#include "model/analysis_state.h"
#include "simulator/simulator_server.h"

namespace etherm {

// The continuous engine's run, after PrepareRun: one simulator transient from time 0 to the end
// time, paused at segment ends. Each segment's points are all accepted, written to the
// accumulated files as a window's accepted lines are (one "window" per segment), and the devices'
// temperatures at its end are set in place before the next. The next segment ends where the
// window-end prediction says; a segment whose computed temperatures left those simulated by
// more than options.tolerance makes the next one shorter. historyName: the term-rise history.
// `server`: a simulator already started and greeted, or nothing to start one.
void RunContinuousTransient(AnalysisState& state, const TransientOptions& options,
                            RunOutputs& outputs, const AccumulatedNames& accumulated,
                            const std::string& historyName,
                            std::unique_ptr<SimulatorServer> server = nullptr);

}  // namespace etherm
