#include "analysis/hot_devices.h"

#include "analysis/run_files.h"
#include "textio/number_text.h"

namespace etherm {

void HotDeviceWarnings::CheckSweepPoint(const AnalysisState& state,
                                        const DeviceTable<double>& temperatures,
                                        double sweepValue) {
  Check(state, temperatures, "at the sweep value " + ShortNumber(sweepValue));
}

void HotDeviceWarnings::CheckTimeLine(const AnalysisState& state, std::string_view line) {
  DeviceTable<double> temperatures{};
  double time = 0;
  int column = 0;  // 0: the time
  std::size_t i = 0;
  while (column <= state.problem.deviceCount()) {
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > 32) ++i;
    if (i == start) return;
    double value;
    if (!ParseRealToken(line.substr(start, i - start), &value)) return;
    (column == 0 ? time : temperatures[column]) = value;
    ++column;
  }
  Check(state, temperatures, "at " + ShortNumber(time) + " s");
}

void HotDeviceWarnings::Check(const AnalysisState& state, const DeviceTable<double>& temperatures,
                              const std::string& where) {
  for (int i = 1; i <= state.problem.deviceCount(); ++i) {
    if (warned_[i] || !(temperatures[i] > kHotDeviceLimit)) continue;
    warned_[i] = true;
    state.ShowWarning("device " +
                      state.problem.devices[static_cast<std::size_t>(i - 1)].name.Trimmed() +
                      " reaches " + FormatReal(temperatures[i], 0, 1) + " K " + where +
                      ", above any semiconductor's limit of 1000 K; check its thermal data");
  }
}

}  // namespace etherm
