#pragma once

#include <string>
#include <string_view>

#include "model/analysis_state.h"

namespace etherm {

// No semiconductor survives above this; a device computed hotter points at wrong thermal data
// (a resistance of 1E4 K/W gives tens of thousands of kelvin) rather than a result.
inline constexpr double kHotDeviceLimit = 1000.0;  // K

// Warns through the state's display, once per device and run, when a device's temperature
// passes kHotDeviceLimit. The run goes on.
class HotDeviceWarnings {
 public:
  // temperatures[1..deviceCount] of a settled DC point at the sweep value.
  void CheckSweepPoint(const AnalysisState& state, const DeviceTable<double>& temperatures,
                       double sweepValue);
  // A line of the accepted transient temperatures: its time, then the temperatures of devices
  // 1..deviceCount, as blank-separated numbers. Text that is not such a line is passed over.
  void CheckTimeLine(const AnalysisState& state, std::string_view line);

 private:
  void Check(const AnalysisState& state, const DeviceTable<double>& temperatures,
             const std::string& where);
  DeviceTable<bool> warned_{};
};

}  // namespace etherm
