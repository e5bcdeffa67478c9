#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/analysis_listener.h"
#include "model/analysis_state.h"
#include "thermal/loop_gain.h"

namespace etherm {

// Follows the loop gain through the iterations of one DC point: each iteration's given
// temperatures and resulting powers give each device's dP/dT against the iteration before.
class DcRunawayWatch {
 public:
  // Forgets the point before; the next iteration starts a new one.
  void NewPoint();
  // One finished iteration; returns the loop gain when it could be estimated.
  std::optional<LoopGain> Add(const Problem& problem, const DeviceTable<double>& given,
                              const DeviceTable<double>& powers);
  bool Runaway() const { return runaway_; }
  // Each device's slope dP/dT at this point so far, index 0 for device 1.
  const std::vector<std::optional<double>>& Slopes() const { return slopes_; }
  // The warning of a point that settled after its loop gain reached 1: the largest gain, the
  // devices carrying it, the temperatures it settled at.
  std::string RunawayWarning(const AnalysisState& state, const std::string& sweepName) const;
  // The report of the point as it stands.
  LoopGainReport Report(const Problem& problem, double x) const;
  // Why a point that would not settle failed: runaway where the gain reached 1, otherwise an
  // oscillation with the temperatures given and obtained last.
  std::string UnsettledText(const AnalysisState& state, const std::string& sweepName,
                            const DeviceTable<double>& given, const DeviceTable<double>& obtained,
                            int iterations) const;

 private:
  bool havePrevious_ = false;
  DeviceTable<double> previousGiven_{};
  DeviceTable<double> previousPowers_{};
  std::vector<std::optional<double>> slopes_;
  std::optional<LoopGain> last_;
  bool runaway_ = false;
  LoopGain peak_;
};

// The swept source as the circuit's .DC line names it ("V1"); "the sweep value" without one.
std::string SweptSourceName(const std::string& circuitFileName);

}  // namespace etherm
