#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/serve_protocol.h"

namespace etherm {

class SimulatorServer;
struct SimulatorPass;

// The simulator of one analysis. While a session exists, RunSimulator hands each circuit to one
// `etherm-sim --serve` started at the first pass and kept for the next ones: starting the program
// and ngspice for every iteration costs more than most iterations' own simulation. A process
// that dies, overruns the time limit or gives up on a circuit is replaced at the next pass; one
// is also replaced after many requests or when it has grown large. The session ends its process
// when it goes, so the analysis's end (normal, failed or interrupted) leaves none behind.
//
// Every pass starts the program for its one circuit, as without a session, when
// ETHERM_SIM_NO_SERVE is set (to anything but "" or "0"), or when the program does not answer
// the serve hello with its first line (an older or foreign simulator).
// True when ETHERM_SIM_NO_SERVE asks for one process per pass.
bool ServingSwitchedOff();

class SimulatorSession {
 public:
  // `recycleAfterRequests`: how many circuits one serving process runs before a fresh one takes
  // over; tests give a small number.
  explicit SimulatorSession(long recycleAfterRequests = sim::serve::kRecycleAfterRequests);
  ~SimulatorSession();
  SimulatorSession(const SimulatorSession&) = delete;
  SimulatorSession& operator=(const SimulatorSession&) = delete;

  // Starts the serving `program` now for the first pass to use, so that its start (ngspice's
  // included) overlaps what the analysis does before that pass; its ready line is awaited, at
  // most readySeconds from now, only then. Nothing when the passes go one by one; a program that
  // cannot be started or does not serve is left to the first pass to find and report.
  void Prestart(const std::string& program, double readySeconds);

 private:
  friend SimulatorPass RunSimulatorPass(const std::string& program, const std::string& circuit,
                                        double timeoutSeconds,
                                        const std::function<void(double)>& progress);
  friend struct SessionAccess;

  SimulatorSession* outer_;
  long recycleAfterRequests_;
  bool oneShot_;
  std::string program_;  // the program of server_
  std::unique_ptr<SimulatorServer> server_;
};

// How one pass of the simulator ended.
struct SimulatorPass {
  bool timedOut = false;
  int endingSignal = 0;  // the signal that ended the simulator; 0 when none did
  bool refused = false;  // the simulator refused the circuit, the listing says why
  std::string reason;    // a serving simulator's own words for the refusal
  std::string warning;   // said once: serving fell back to one process per pass
};

// A pass on a circuit held in memory (TextPass below).
struct SimulatorTextPass {
  bool served = false;  // false: nothing ran; the circuit must be run from its file
  SimulatorPass pass;
  std::string probeData;  // when the serving simulator ran it to the end
  std::string listing;    // when it did not: its listing, which no file received
};

// One pass on a circuit held in memory: the innermost session's serving process runs `text` as
// it would run the file `circuit` holding it, and hands back the probe data (or, when the run was
// not done, its listing) over its pipe; neither it nor this call writes a file. Not served (and
// nothing run) without a session, with serving switched off, with a program that does not serve
// (pass.warning then says so, once) or a circuit too long for a request line. Throws as
// RunSimulatorPass does.
SimulatorTextPass RunSimulatorTextPass(const std::string& program, const std::string& circuit,
                                       const std::string& text, double timeoutSeconds);

// One pass on `circuit`: by the innermost session's serving process when there is one, else by
// the program started for it alone. Throws Failure when the program cannot be started, and when
// a serving program answers with something that is no answer.
// A serving simulator's simulated time of a transient goes to `progress` now and then.
SimulatorPass RunSimulatorPass(const std::string& program, const std::string& circuit,
                               double timeoutSeconds,
                               const std::function<void(double)>& progress = {});

}  // namespace etherm
