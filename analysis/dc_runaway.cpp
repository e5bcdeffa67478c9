#include "analysis/dc_runaway.h"

#include <cstdio>

#include "analysis/run_files.h"
#include "netlist/circuit_names.h"

namespace etherm {

void DcRunawayWatch::NewPoint() {
  *this = DcRunawayWatch();
}

std::optional<LoopGain> DcRunawayWatch::Add(const Problem& problem,
                                            const DeviceTable<double>& given,
                                            const DeviceTable<double>& powers) {
  const int n = problem.deviceCount();
  if (havePrevious_) {
    slopes_.resize(static_cast<std::size_t>(n));
    std::vector<double> known(static_cast<std::size_t>(n), 0.0);
    bool any = false;
    for (int i = 1; i <= n; ++i) {
      const auto slope = PowerSlope(previousGiven_[i], previousPowers_[i], given[i], powers[i]);
      // A device whose temperature stood still keeps its slope from before.
      if (slope) slopes_[static_cast<std::size_t>(i - 1)] = slope;
      if (slopes_[static_cast<std::size_t>(i - 1)]) {
        known[static_cast<std::size_t>(i - 1)] = *slopes_[static_cast<std::size_t>(i - 1)];
        any = true;
      }
    }
    if (any) {
      last_ = LargestLoopGain(problem.network, known);
      if (last_->gain >= 1 && (!runaway_ || last_->gain > peak_.gain)) peak_ = *last_;
      if (last_->gain >= 1) runaway_ = true;
    }
  }
  previousGiven_ = given;
  previousPowers_ = powers;
  havePrevious_ = true;
  return last_;
}

LoopGainReport DcRunawayWatch::Report(const Problem& problem, double x) const {
  LoopGainReport report;
  report.x = x;
  report.runaway = runaway_;
  std::vector<std::optional<double>> slopes = slopes_;
  slopes.resize(static_cast<std::size_t>(problem.deviceCount()));
  report.margins = OwnMargins(problem.network, slopes);
  return report;
}

namespace {

std::string GainNumber(double gain) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", gain);
  return text;
}

std::string GainText(const AnalysisState& state, const std::string& where, const LoopGain& g) {
  std::string devices;
  for (int d : g.devices) {
    if (!devices.empty()) devices += ", ";
    devices += state.problem.devices[static_cast<std::size_t>(d - 1)].name.Trimmed();
  }
  return "thermal runaway of " + devices + " at " + where + ": loop gain " + GainNumber(g.gain);
}

}  // namespace

std::string DcRunawayWatch::RunawayWarning(const AnalysisState& state,
                                           const std::string& sweepName) const {
  return GainText(state, sweepName + " = " + ShortNumber(state.sweepValue), peak_) +
         "; the point settled at " + TemperatureList(state, state.deviceTemperature);
}

std::string DcRunawayWatch::UnsettledText(const AnalysisState& state, const std::string& sweepName,
                                          const DeviceTable<double>& given,
                                          const DeviceTable<double>& obtained,
                                          int iterations) const {
  const std::string where = sweepName + " = " + ShortNumber(state.sweepValue);
  if (last_ && last_->gain >= 1) return GainText(state, where, *last_);
  std::string text = "The DC point at the sweep value " + ShortNumber(state.sweepValue) +
                     " has not settled after " + std::to_string(iterations) +
                     " iterations; the simulator was given " + TemperatureList(state, given) +
                     " and its results gave " + TemperatureList(state, obtained) +
                     ". The iteration oscillates";
  if (last_) text += " (loop gain " + GainNumber(last_->gain) + ")";
  return text + "; etherm-batch dc --accelerate may settle it";
}

std::string SweptSourceName(const std::string& circuitFileName) {
  std::string source = ReadCircuitNames(circuitFileName).sweptSource;
  return source.empty() ? "the sweep value" : source;
}

}  // namespace etherm
