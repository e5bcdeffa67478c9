#pragma once
// Runs of etherm-sim on circuit files: translate, simulate, write the probe data, the bias file
// and the listing.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "in_place.h"
#include "serve_protocol.h"
#include "temperature.h"

namespace etherm::sim {

class Listing;
class NgspiceSession;

struct RunOutcome {
  RunOutcome(int runStatus = 0, std::string why = {}) : status(runStatus), reason(std::move(why)) {}

  int status = 0;      // as exit_status.h
  std::string reason;  // why, when not a success; the listing's last "etherm-sim:" line says it too
  std::string data;    // probe data asked for as "-" (streamed, not written)
  std::string listing;  // RunText, when not a success: the listing no file received
};

// Runs circuit files one after another in this process, on one ngspice started at the first
// run (ngspice allows one per process).
class CircuitRunner {
 public:
  // `reportOnStandardError`: a failure is also written on standard error, as the one-shot
  // program does.
  explicit CircuitRunner(bool reportOnStandardError);
  ~CircuitRunner();
  CircuitRunner(const CircuitRunner&) = delete;
  CircuitRunner& operator=(const CircuitRunner&) = delete;

  // ngspice, started now when not yet. Throws SimError when it cannot start.
  NgspiceSession& Ngspice();

  // One circuit file, as `etherm-sim CIRCUIT.cir` runs it. Status: success; refused, when the
  // circuit cannot be run; usage, when not even the listing could be written; unexpected for
  // anything else (memory running out). Applies the memory limit first. The listing is the one a
  // fresh process writes, so each run asks ngspice about its model cards again and repeats what
  // ngspice printed when it started. A transient that stalls is refused, saying where; its
  // simulated time goes to `progress` now and then.
  RunOutcome Run(const std::string& circuitPath,
                 const std::function<void(double time)>& progress = {});
  // The same run of `text`, the bytes of a circuit file named circuitPath (which need not
  // exist; files it includes are read beside it), writing no listing or probe-data file: the
  // probe data go to the outcome's data, and when the run is not a success the listing to its
  // listing. A transient's state and bias files are written as Run writes them.
  RunOutcome RunText(const std::string& circuitPath, const std::string& text,
                     const std::function<void(double time)>& progress = {});

  // A transient paused and resumed in place (the continuous engine), never restarted.
  // BeginTransient loads the circuit file's transient as Run would and runs nothing; its
  // listing stays open for the session. RunUntil runs or resumes it up to `time` (to its end
  // when `time` is at or beyond the .TRAN's final time) and writes, as Run writes its probe
  // data, the points from the last pause on (that pause's point first) to `csdPath`.
  // SetTemperatures sets the devices of each T_ABS model (by name) to a temperature in degrees
  // Celsius in place and has ngspice update what depends on it. EndTransient closes the session.
  // With shadows the circuit gains, apart from it, each device's power heating a resistor and
  // capacitor (serve_protocol.h says why); a device whose probes ngspice cannot name in an
  // expression gets none.
  RunOutcome BeginTransient(const std::string& circuitPath,
                            const std::vector<serve::PowerShadow>& shadow = {});
  // With a guard it pauses early where a device's power departs from its last segment's mean
  // (serve_protocol.h says how); no guard holds in the first segment or the last.
  RunOutcome RunUntil(double time, const std::string& csdPath,
                      const std::vector<serve::PowerGuard>& guard = {});
  // Before the transient has started: its operating point at the devices' present
  // temperatures, written to `csdPath` as one point at time 0.
  RunOutcome Settle(const std::string& csdPath);
  RunOutcome SetTemperatures(const std::vector<std::pair<std::string, double>>& modelCelsius);
  void EndTransient();

  // Removes every plot the runs left in ngspice, and every circuit but a DC one the next run may
  // alter in place (which Run removes first when the next circuit differs in more). Either way
  // the next run's outputs are those of a fresh process. Throws SimError when it cannot.
  void Clear();
  // True once ngspice has stopped itself; it can run nothing more in this process.
  bool NgspiceStopped() const;

 private:
  bool reportOnStandardError_;
  std::unique_ptr<NgspiceSession> session_;
  std::vector<std::string> startLines_;  // what ngspice printed while it started
  bool starting_ = false;
  Listing* listing_ = nullptr;  // of the run in progress; ngspice's lines go there
  InPlaceState inPlace_;        // the DC circuit kept loaded for the next run
  struct Paused;
  std::unique_ptr<Paused> paused_;  // the transient of BeginTransient
  // Run and RunText once the listing is open: `text` stands for the circuit file, `streamed`
  // receives the probe data instead of csdPath (both may be null).
  RunOutcome RunListed(const std::string& circuitPath, Listing& listing, const std::string& csdPath,
                       const std::function<void(double)>& progress, const std::string* circuitText,
                       std::string* streamed);
  // A step of the paused transient with its listing attached; a SimError ends the transient.
  RunOutcome InPausedTransient(
      bool mustHaveStarted, bool mustWait,
      const std::function<RunOutcome(Paused&, Listing&, NgspiceSession&)>& step);
};

// Returns the exit status of one run (CircuitRunner::Run), failures reported on standard error.
int RunCircuitFile(const std::string& circuitPath);

}  // namespace etherm::sim
