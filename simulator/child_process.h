#pragma once
// The names under which the simulator's one-shot runs and the interrupt are known to
// simulator_session, paused_transient and the tests of analysis/ (other work is under way
// there). The code is process/child.h and RunSimulatorOnce; once those files name them, this
// header goes.

#include <string>
#include <vector>

#include "process/child.h"
#include "simulator/simulator_server.h"

namespace etherm {

using process::ChildResult;
using ChildOutcome = process::ChildResult::Outcome;
using process::InterruptChild;
using process::InterruptSignal;

inline ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                            double timeoutSeconds) {
  return RunSimulatorOnce(program, args, timeoutSeconds);
}

}  // namespace etherm
