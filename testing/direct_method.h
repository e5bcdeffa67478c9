#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Running a transient problem by etherm-batch beside ngspice's own self-heating solution of the
// same circuit (a direct-method deck), and comparing the two. Everything runs in the current
// folder.
namespace etherm::testing {

// A finished program: its exit status (124 when `timeout` ended it, -1 when it did not end
// normally), its wall time and its standard error (etherm) or output (ngspice).
struct ProgramRun {
  int status = -1;
  double seconds = 0;
  std::string text;
};

// `etherm-batch tran --no-plot OPTIONS BASE` from ETHERM_BIN with ETHERM_SIMULATOR set to the etherm-sim
// beside it, after the assignments in `environment` (e.g. "ETHERM_SIM_TIMEOUT=60"), under
// `timeout SECONDS` when seconds > 0. A missing ETHERM_BIN is a test failure and status -1.
ProgramRun RunEthermTransient(const std::string& base, const std::string& environment = "",
                              int timeoutSeconds = 0, const std::string& options = "");

// `ngspice -b DECK`.
ProgramRun RunNgspice(const std::string& deck);

// Linear interpolation at time t in rows of (time, value, ...) as ngspice's wrdata writes them;
// before the first row its value, after the last the last one.
double Interpolate(const std::vector<std::vector<double>>& rows, std::size_t column, double t);

// The largest difference of one device over the accepted times, and where it is.
struct Difference {
  double worst = 0;
  double at = 0;
};

// For each of `devices` devices, the largest |accepted[1 + d] - (ambient + rise)| over the rows
// of `accepted` (time, temperature of each device in K, as BASE.tem holds them), the rise of
// device d being column 1 + 2d of `direct` (wrdata's time, v(tj1), time, v(tj2), ...)
// interpolated at that time. Rows of `accepted` that are too short are skipped.
std::vector<Difference> CompareWithDirect(const std::vector<std::vector<double>>& accepted,
                                          const std::vector<std::vector<double>>& direct,
                                          std::size_t devices, double ambient = 295);

// The window starts the run log (wyniki.txt) records after the first window ("t0=" lines),
// each once, in the order of the run: a start that does not move on is a window redone.
std::vector<double> WindowStarts(const std::string& runLog);

}  // namespace etherm::testing
