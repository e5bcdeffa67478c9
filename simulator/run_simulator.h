#pragma once

#include <string>

#include "model/analysis_kind.h"
#include "model/analysis_listener.h"

namespace etherm {

// The former name, for the callers in analysis/ and simulator_session's tests until they name
// AnalysisKind.
using SimulationKind = AnalysisKind;

// Runs the circuit simulator on the iteration's circuit file, iterationName + ".cir", and
// returns once its probe-data file (the same name with ".csd") exists, with the wall time in
// seconds of the pass that wrote it.
//
// Each pass: copies the circuit file to "a1.cir"; removes a probe-data file left from an
// earlier run, so only this run's results count; has the simulator run the circuit file (within
// a SimulatorSession, its serving process; else the program started with the circuit file name
// as its one argument) and waits for it; (transient) copies "a1.bsp" to
// "a2.bsp" and deletes "a1.bsp"; appends "pierwszy" to the run log runLogName (normally
// "wyniki.txt"); sets the listener's (when there is one) simulator status line to "jest wynik"
// (DC) or "jest pierwszy wynik" (transient); appends the clock text to the run log.
//
// The simulator is "etherm-sim" beside the running program, or the program named by
// ETHERM_SIMULATOR. A pass may last ETHERM_SIM_TIMEOUT seconds (default 120); a simulator still
// running then is terminated and the pass counts as failed.
//
// Failures: a simulator that cannot be started ends the run at once; so does a refusal (exit
// status 1 with a reason in its listing, or a serving simulator's `refused` answer), whose reason
// the failure quotes, and an answer of a serving simulator outside its protocol. A crash, a
// time-out or an exit without results is tried again: after 3 passes without a probe-data file the
// run ends with a failure naming the file, the signal that ended the simulator (if one did), and
// quoting the simulator's listing (".out") when there is one. A run log that cannot be appended to
// is an I/O error. After InterruptChild the running pass ends and the run fails with "interrupted".
// While a serving simulator runs a transient, the listener hears its simulated time, plus
// `timeOffset` (the window's start), now and then.
double RunSimulator(const std::string& iterationName, const std::string& runLogName,
                    AnalysisKind kind, AnalysisListener* listener, double timeOffset = 0);

// RunSimulator for an iteration's circuit held in memory, `circuitText`, the bytes the file
// iterationName + ".cir" would hold; returns its probe data (the bytes of the ".csd" file) with
// the wall time of the pass that gave them. Each pass logs, shows and fails as RunSimulator's.
// Where a SimulatorSession's serving simulator runs it, the text and the probe data go over its
// pipe and the pass writes no file at all ("a1.cir" included: the caller writes it when it
// stays). Otherwise, and on every pass after one that ended without results, the circuit file
// is written and the pass is RunSimulator's; the files it leaves (the circuit, its probe data
// and listing) are removed once the probe data are read. A circuit the serving simulator
// refuses is written with its listing (iterationName + ".cir", ".out") before the failure,
// which names the listing as RunSimulator's does.
struct SimulatorResults {
  double seconds = 0;
  std::string probeData;
};
SimulatorResults RunSimulatorOnText(const std::string& iterationName,
                                    const std::string& circuitText, const std::string& runLogName,
                                    SimulationKind kind, AnalysisListener* listener);

// Throws the failure the environment would give RunSimulator at its first pass: a bad
// ETHERM_SIM_TIMEOUT, or a simulator program that is missing or cannot be run. The drivers call
// it before they touch any file.
void CheckSimulatorSetup();

// The simulator program RunSimulator starts.
std::string SimulatorProgram();
// The time limit of one simulator run, ETHERM_SIM_TIMEOUT (s). Throws Failure when it is bad.
double SimulatorTimeoutSeconds();
// What a pass leaves in the run log and on the status line: "pierwszy", the simulator status
// ("jest wynik", "jest pierwszy wynik"), the clock.
void LogSimulatorPass(const std::string& runLogName, AnalysisKind kind, AnalysisListener* listener);

}  // namespace etherm
