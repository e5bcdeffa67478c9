#pragma once

#include <optional>
#include <vector>

#include "model/analysis_state.h"

namespace etherm {

// Chooses the temperatures given to the simulator in the next DC iteration. The plain step
// averages the given and the computed temperatures. The accelerated one takes a Newton step on
// the fixed point T = ambient + M·P(T) with each device's dP/dT estimated from the iterations
// (the previous point's estimate starts a point), and falls back to the plain step where the
// estimate is missing or the step would not be trustworthy.
class DcStep {
 public:
  explicit DcStep(bool accelerate) : accelerate_(accelerate) {}

  // A device's latest slope estimate; kept across points as the start of the next.
  void NoteSlope(int device, double slope);
  // Overwrites given with the next temperatures (devices 1..kMaxDevices).
  void Next(const Problem& problem, DeviceTable<double>& given,
            const DeviceTable<double>& computed) const;

 private:
  std::optional<DeviceTable<double>> NewtonStep(const Problem& problem,
                                                const DeviceTable<double>& given,
                                                const DeviceTable<double>& computed) const;

  bool accelerate_;
  std::vector<std::optional<double>> slopes_ = std::vector<std::optional<double>>(kMaxDevices + 1);
};

}  // namespace etherm
