#pragma once
// The client's side of one `etherm-sim --serve` (sim/serve_protocol.h): one process kept for many
// circuits.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "process/child.h"
#include "sim/serve_protocol.h"

namespace etherm {

struct ServedRun {
  enum class Kind {
    kAnswered,    // `answer` holds the server's answer
    kUnreadable,  // `line` came instead of an answer
    kEnded,       // the process ended without an answer; `ended` says how
    kTimedOut,    // no answer within the time limit; the process group was ended
  };
  Kind kind = Kind::kAnswered;
  sim::serve::Answer answer;
  std::string line;
  std::string problem;  // kUnreadable: what is wrong with `line`
  std::string data;     // streamed probe data that came before the answer
  std::string listing;  // a text request's listing that came before the answer
  process::ChildResult ended;
};

// Runs the simulator once with `args`, interruptible (process::InterruptChild), its group ended
// after timeoutSeconds. Throws Failure("interrupted") after an interrupt, and a Failure naming
// the program when it cannot be started.
process::ChildResult RunSimulatorOnce(const std::string& program,
                                      const std::vector<std::string>& args, double timeoutSeconds);

class SimulatorServer {
 public:
  // Starts `program --serve` and greets it. Nothing when no ready line came within readySeconds:
  // the program is no server of this protocol, and whatever it was doing has been ended.
  static std::unique_ptr<SimulatorServer> Start(const std::string& program, double readySeconds);
  // The same in two steps: Launch starts and greets it and returns at once (nothing when it
  // cannot be started); AwaitReady then waits for the ready line, until readySeconds after the
  // launch, and is false (the program ended) when none came.
  static std::unique_ptr<SimulatorServer> Launch(const std::string& program, double readySeconds);
  bool AwaitReady();
  bool ready() const { return ready_; }
  // Ends the process: its input closed, a short wait, then its group killed.
  ~SimulatorServer();
  SimulatorServer(const SimulatorServer&) = delete;
  SimulatorServer& operator=(const SimulatorServer&) = delete;

  // Runs one circuit file; the simulated time of a transient goes to `progress` now and then.
  // Unless the kind is kAnswered, the process has ended and been waited for.
  ServedRun Run(const std::string& circuit, double timeoutSeconds,
                const std::function<void(double)>& progress = {});
  // Any request of the protocol (its id is set here).
  ServedRun Ask(sim::serve::Request request, double timeoutSeconds,
                const std::function<void(double)>& progress = {});

  // True once the process has ended (it is then waited for).
  bool Gone();

  // Ends the process and its group now, without waiting for it to end by itself.
  void Kill();

  // True when a fresh process should take the next request: after `requestLimit` requests or
  // when the process has grown large (ngspice keeps part of every circuit).
  bool DueForRecycling(long requestLimit) const;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Read { kLine, kEnded, kTimedOut };

  SimulatorServer(pid_t pid, int socket) : pid_(pid), socket_(socket) {}
  bool Send(const std::string& line);
  Read ReadLine(Clock::time_point deadline, std::string* line);
  // After the process closed its end: waits for it, killing it when it lingers.
  process::ChildResult Reap();
  long ResidentMegabytes() const;

  pid_t pid_;
  int socket_;
  bool running_ = true;
  bool ready_ = false;
  Clock::time_point readyDeadline_{};
  long requests_ = 0;
  std::string pending_;  // read beyond the last line
};

}  // namespace etherm
