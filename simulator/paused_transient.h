#pragma once
// The simulator's side of the continuous transient: one `etherm-sim --serve` holding one
// transient that is paused, given new device temperatures in place and resumed, never
// restarted (sim/serve_protocol.h, version 2).

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace etherm {

class SimulatorServer;

class PausedTransient {
 public:
  // Starts the simulator program (as RunSimulator chooses it) serving and loads the transient
  // of `circuit`. Throws Failure when the program does not serve or refuses the circuit.
  PausedTransient(const std::string& circuit, double timeoutSeconds);
  // Ends the simulator and everything it started.
  ~PausedTransient();
  PausedTransient(const PausedTransient&) = delete;
  PausedTransient& operator=(const PausedTransient&) = delete;

  // Runs (or resumes) the transient up to `time` (s) and has the points since the last pause,
  // that pause's point first, written as probe data to `probeDataName`. The simulated time goes
  // to `progress` now and then. Throws Failure when the simulator refuses, dies or overruns.
  void RunUntil(double time, const std::string& probeDataName,
                const std::function<void(double)>& progress = {});
  // Each T_ABS model's devices (by model name) at a temperature in degrees Celsius, in place.
  void SetTemperatures(const std::vector<std::pair<std::string, double>>& modelCelsius);

 private:
  void Ask(const struct PausedRequest& request, const std::function<void(double)>& progress);

  std::string circuit_;
  std::string program_;
  double timeoutSeconds_;
  std::unique_ptr<SimulatorServer> server_;
};

}  // namespace etherm
