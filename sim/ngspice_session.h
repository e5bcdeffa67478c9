#pragma once
// Shared ngspice, run in this process. ngspice keeps global state, so there is one session per
// process: one circuit file's run, or every run of etherm-sim --serve with Clear() between them.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim_error.h"

struct vecvaluesall;  // ngspice/sharedspice.h
struct vecinfoall;

namespace etherm::sim {

// A transient run that stopped advancing; what() says where and why.
class Stalled : public SimError {
 public:
  using SimError::SimError;
};

// How NgspiceSession::Run watches a transient. A run stalls when it takes kStallSteps accepted
// steps in a row each shorter than a millionth of its length and than 10 fs, or advances less
// than a thousandth of its length in kStallCpuSeconds of CPU time (ETHERM_SIM_STALL_SECONDS, for
// tests); it is then halted and Run throws Stalled.
struct RunWatch {
  double length = 0;  // of the run, s; 0 runs it unwatched (a DC sweep, an operating point)
  // Called now and then (about twice a second) with the simulated time, on this thread.
  std::function<void(double time)> progress;
};

class NgspiceSession {
 public:
  // Everything ngspice says goes to `sink`, a line at a time.
  explicit NgspiceSession(std::function<void(const std::string&)> sink);
  ~NgspiceSession();
  NgspiceSession(const NgspiceSession&) = delete;
  NgspiceSession& operator=(const NgspiceSession&) = delete;

  // Where ngspice's lines go from now on.
  void SetSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  // Parses and sets up a deck (title first, .end last). Throws SimError with ngspice's own
  // complaint when it rejects the deck.
  // `origins` names, per deck line, where it comes from, for ngspice's "Error on line N".
  void Load(const std::vector<std::string>& deck, const std::vector<std::string>& origins = {});
  using Watch = RunWatch;
  static constexpr long kStallSteps = 1000;
  static constexpr double kStallCpuSeconds = 10;

  // Runs the loaded deck's analysis. Throws SimError when it fails or stops early, Stalled when
  // a watched run stalls.
  void Run(const Watch& watch = {});
  // A command of our own (never one from a circuit file). Throws SimError when it fails.
  void Command(const std::string& command);
  // Runs the loaded transient (resume: goes on with the paused one) until it ends or a stop
  // condition pauses it; a pause is no failure. True when the run paused rather than ended.
  bool RunOrResume(bool resume);

  // The value ngspice reads from the circuit's source kGuardSource (a source with the keyword
  // EXTERNAL): 0 until `watch`, shown each collected point, returns true; 1 from then on, until
  // the next Guard. A stop condition on the source's node then pauses the run at the next point.
  static constexpr const char* kGuardSource = "vetherm_guard";
  static constexpr const char* kGuardNode = "etherm_guard";
  void Guard(std::function<bool(const std::vector<double>& row)> watch) {
    watch_ = std::move(watch);
    guard_ = 0;
  }

  // While collecting, every accepted point of the running analysis is kept: its vectors'
  // values in the order of CollectedNames (lower case). TakeCollected hands them over and
  // starts afresh; a new analysis's names replace the old ones.
  void Collect(bool on) { collecting_ = on; }
  const std::vector<std::string>& CollectedNames() const { return collectedNames_; }
  std::vector<std::vector<double>> TakeCollected() { return std::exchange(collected_, {}); }

  // Removes every loaded circuit and every plot, so the next Load starts as in a fresh process:
  // no option, parameter or vector of an earlier circuit stays. Throws SimError when ngspice
  // refuses; the session is then unfit for another circuit.
  void Clear();
  // True once ngspice has stopped itself (its controlled exit); nothing more can run.
  bool Stopped() const { return exited_; }

  // Vectors of the current plot: lower-case name -> name as ngspice spells it.
  std::map<std::string, std::string> PlotVectors() const;
  struct Vector {
    std::string name;
    int type = 0;  // 1 time, 3 voltage, 4 current (ngspice's own type codes)
    std::vector<double> data;
  };
  std::optional<Vector> Get(const std::string& name) const;
  // Asks a device for an instance parameter (`@q1[temp]`): whether the device has it.
  bool HasInstanceParameter(const std::string& device, const std::string& parameter) const;

 private:
  static int OnText(char* text, int id, void* self);
  static int OnExit(int status, bool immediate, bool quit, int id, void* self);
  static int OnData(::vecvaluesall* values, int count, int id, void* self);
  static int OnExternalSource(double* value, double time, char* name, int id, void* self);
  static int OnInitData(::vecinfoall* info, int id, void* self);
  static int OnThread(bool finished, int id, void* self);
  void RunWatched(const Watch& watch);
  void Begin();
  void Check(const std::string& what, int rc);
  std::string Explain() const;

  std::function<void(const std::string&)> sink_;
  std::vector<std::string> said_;     // ngspice's lines since the last Load, Run or Command
  std::vector<std::string> origins_;  // of the loaded deck
  int circuits_ = 0;                  // loaded since the last Clear
  bool failed_ = false;
  bool exited_ = false;
  int exitStatus_ = 0;

  bool collecting_ = false;
  std::function<bool(const std::vector<double>&)> watch_;
  double guard_ = 0;  // read by ngspice in its own thread only while a synchronous run waits
  std::vector<std::string> collectedNames_;
  std::vector<std::vector<double>> collected_;
  // The background thread of a watched run, and what its points say.
  std::mutex threadMutex_;
  std::condition_variable threadChanged_;
  long threadsEnded_ = 0;  // guarded by threadMutex_
  std::atomic<double> time_{0};
  std::atomic<double> step_{0};
  std::atomic<double> shortStep_{0};  // steps below it count towards a stall; 0 counts none
  std::atomic<long> shortSteps_{0};
};

}  // namespace etherm::sim
