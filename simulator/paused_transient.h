#pragma once
// The simulator's side of the continuous transient: one `etherm-sim --serve` holding one
// transient that is paused, given new device temperatures in place and resumed, never
// restarted (sim/serve_protocol.h, version 2).

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/serve_protocol.h"

namespace etherm {

class SimulatorServer;

class PausedTransient {
 public:
  // Starts the simulator program (as RunSimulator chooses it) serving and loads the transient
  // of `circuit`. Throws Failure when the program does not serve or refuses the circuit.
  // `shadow` (may be empty): each device's power heating a resistor and capacitor beside the
  // circuit, so the simulator's steps follow the heat (sim/serve_protocol.h).
  // `server`: one already started and greeted, or nothing to start one.
  PausedTransient(const std::string& circuit, double timeoutSeconds,
                  const std::vector<sim::serve::PowerShadow>& shadow = {},
                  std::unique_ptr<SimulatorServer> server = nullptr);
  // Ends the simulator and everything it started.
  ~PausedTransient();
  PausedTransient(const PausedTransient&) = delete;
  PausedTransient& operator=(const PausedTransient&) = delete;

  // Runs (or resumes) the transient up to `time` (s) and returns the points since the last
  // pause, that pause's point first, as probe data streamed over the simulator's channel (no
  // file). The simulated time goes to `progress` now and then. Throws Failure when the
  // simulator refuses, dies or overruns.
  // `guard` (may be empty) lets the simulator pause earlier where a device's power departs from
  // its last segment's mean (sim/serve_protocol.h).
  std::string RunUntil(double time, const std::function<void(double)>& progress = {},
                       const std::vector<sim::serve::PowerGuard>& guard = {});
  // Before the first RunUntil: the circuit's operating point at the devices' present
  // temperatures, as probe data of one point at time 0.
  std::string Settle();
  // Each T_ABS model's devices (by model name) at a temperature in degrees Celsius, in place.
  void SetTemperatures(const std::vector<std::pair<std::string, double>>& modelCelsius);

 private:
  // The streamed probe data of the answer, if any.
  std::string Ask(const struct PausedRequest& request, const std::function<void(double)>& progress);

  std::string circuit_;
  std::string program_;
  double timeoutSeconds_;
  std::unique_ptr<SimulatorServer> server_;
};

}  // namespace etherm
