#include "testing/direct_method.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "testing/scratch_folder.h"

namespace etherm::testing {
namespace {

ProgramRun RunCommand(const std::string& command, const std::string& textFile) {
  ProgramRun run;
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system((command + " 2>" + textFile).c_str());
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.text = ReadBytes(textFile);
  return run;
}

}  // namespace

ProgramRun RunEthermTransient(const std::string& base, const std::string& environment,
                              int timeoutSeconds, const std::string& options) {
  const char* bin = std::getenv("ETHERM_BIN");
  EXPECT_NE(bin, nullptr) << "ETHERM_BIN names the folder of etherm-batch and etherm-sim";
  if (bin == nullptr) return {};
  std::string command = environment + " ETHERM_SIMULATOR=" + bin + "/etherm-sim ";
  if (timeoutSeconds > 0) command += "timeout " + std::to_string(timeoutSeconds) + " ";
  command += std::string(bin) + "/etherm-batch tran --no-plot " + options + " " + base +
             " >/dev/null";
  return RunCommand(command, "etherm-batch.err");
}

ProgramRun RunNgspice(const std::string& deck) {
  return RunCommand("ngspice -b " + deck + " >ngspice.out", "ngspice.err");
}

double Interpolate(const std::vector<std::vector<double>>& rows, std::size_t column, double t) {
  auto later = std::upper_bound(rows.begin(), rows.end(), t,
                                [](double x, const std::vector<double>& r) { return x < r[0]; });
  if (later == rows.begin()) return (*later)[column];
  if (later == rows.end()) return rows.back()[column];
  const std::vector<double>& a = *(later - 1);
  const std::vector<double>& b = *later;
  const double w = b[0] > a[0] ? (t - a[0]) / (b[0] - a[0]) : 0;
  return a[column] + w * (b[column] - a[column]);
}

std::vector<Difference> CompareWithDirect(const std::vector<std::vector<double>>& accepted,
                                          const std::vector<std::vector<double>>& direct,
                                          std::size_t devices, double ambient) {
  std::vector<Difference> differences(devices);
  if (direct.empty()) return differences;
  for (const auto& row : accepted) {
    if (row.size() < 1 + devices) continue;
    for (std::size_t d = 0; d < devices; ++d) {
      const double expected = ambient + Interpolate(direct, 1 + 2 * d, row[0]);
      const double difference = std::abs(row[1 + d] - expected);
      if (difference > differences[d].worst) differences[d] = {difference, row[0]};
    }
  }
  return differences;
}

std::vector<double> WindowStarts(const std::string& runLog) {
  std::vector<double> starts;
  std::istringstream lines(runLog);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("t0=")) continue;
    const double start = std::strtod(line.c_str() + 3, nullptr);
    if (start > 0 && (starts.empty() || start > starts.back())) starts.push_back(start);
  }
  return starts;
}

}  // namespace etherm::testing
