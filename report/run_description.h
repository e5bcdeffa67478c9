#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/analysis_kind.h"

namespace etherm::report {

// What a run is about; fixed before the first row arrives.
struct RunDescription {
  AnalysisKind kind = AnalysisKind::kDc;
  std::string baseName;
  // DC: the swept source as the circuit names it ("V1", "I2"); its first letter gives the unit.
  std::string sweptSource;
  std::vector<std::string> deviceNames;
  // The .PROBE quantities in their order ("V(2)", "IB(Q1)").
  std::vector<std::string> probeNames;
  // K, the thermal ambient of the run.
  double ambient = 295.0;
  // The temperature of the circuit's devices the problem does not model: degrees Celsius given
  // to the circuit (".OPTIONS TEMP"), or the circuit's own setting as written, or neither (the
  // simulator's default).
  std::optional<double> circuitTemperature = std::nullopt;
  std::string circuitOwnTemperature = {};
  // Degrees Celsius, one per device: a peak above it is flagged in the summary.
  std::vector<double> temperatureLimits = {};
};

// The limit a device's peak is flagged above when the user set none (degrees Celsius): the
// usual rating of a silicon junction.
inline constexpr double kDefaultTemperatureLimit = 150.0;

// One accepted sweep point or time point.
struct AcceptedRow {
  double x = 0;                      // time (s) or sweep value
  std::vector<double> temperatures;  // K, one per device
  std::vector<double> powers;        // W, one per device
  std::vector<double> probes;        // one per probe name
};

// One iteration of the electrothermal loop.
struct IterationRow {
  int iteration = 0;
  double x = 0;                       // sweep value or window start (s)
  std::optional<double> acceptedEnd;  // transient: time accepted up to; none when nothing was
  std::vector<double> simulatorTemperatures;  // K, given to the simulator, one per device
  std::vector<double> modelTemperatures;      // K, computed by the thermal model, one per device
  double largestDeviation = 0;                // K
  double simulatorSeconds = 0;                // run time of this iteration's simulator run
  std::vector<double> drift;                  // K per device, the continuous engine's; or empty
};

// The x axis: {"time", "s"} or the swept source with its unit ({"V1", "V"}, {"I1", "A"}); the
// unit is empty for a source whose kind the first letter does not tell.
struct Axis {
  std::string name;
  std::string unit;
};
Axis XAxis(const RunDescription& run);
// "time_s", "V1_V"; the bare name when the unit is unknown.
std::string XColumnName(const RunDescription& run);
// "time (s)", "V1 (V)".
std::string XAxisLabel(const RunDescription& run);

// Throws Failure when a row does not have one value per device and probe of the run.
void CheckRow(const RunDescription& run, const AcceptedRow& row);
void CheckRow(const RunDescription& run, const IterationRow& row);

}  // namespace etherm::report
