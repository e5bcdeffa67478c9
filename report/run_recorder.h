#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/analysis_state.h"
#include "report/plot.h"
#include "report/run_report.h"

namespace etherm::report {

// Listens to one analysis for its report (BASE.csv, BASE.iterations.csv, the summary) and
// passes every call on to `next`, the front end's own display, so a front end adds the report
// to what it shows instead of repeating it. Made just before the run starts.
//
// The run is described at its first iteration, once the problem and the circuit are checked:
// the devices from the problem, the swept source and the probe names from the circuit file.
// The files are created when the run accepts its first row (or ends without one), so a run
// that stops before leaves an earlier run's files as they were, as the accumulated files do.
// Writing the report never stops the analysis (see RunReport).
class RunRecorder : public AnalysisListener {
 public:
  RunRecorder(const AnalysisState& state, AnalysisKind kind, AnalysisListener* next,
              std::string folder = ".");
  ~RunRecorder() override;

  void StatusChanged(StatusLine line, std::string_view text) override;
  void IterationStarted(int iteration) override;
  void IterationFinished(const IterationReport& report) override;
  void Warning(std::string_view text) override;
  void Accepted(std::span<const AcceptedPoint> rows) override;

  struct Result {
    std::string summary;        // plain text, UTF-8, LF line ends
    bool filesWritten = false;  // BASE.csv and BASE.iterations.csv are this run's
    std::string files;          // their names, "r.csv, r.iterations.csv", when written
    std::string problem;        // empty, or why the files stop short
  };
  // Closes the files; `completed` tells that the analysis ended normally. Nothing when the run
  // never finished an iteration (its checks refused it, or its first simulator run failed):
  // its failure says all there is. Call once, after the run.
  std::optional<Result> Finish(bool completed);
  // Degrees Celsius above which the summary flags a device's peak: one for every device and
  // one per device name; kDefaultTemperatureLimit for a device neither names. Before the run.
  void SetTemperatureLimits(std::optional<double> everyDevice,
                            std::map<std::string, double> byName) {
    everyDeviceLimit_ = everyDevice;
    limitsByName_ = std::move(byName);
  }
  // Draws BASE.csv into BASE.svg and BASE.png; a skip when Finish wrote no files.
  PlotStatus Plot(PlotOptions options = {}) const;

 private:
  void Describe();
  void OpenReport();

  const AnalysisState& state_;
  AnalysisKind kind_;
  AnalysisListener* next_;
  std::string folder_;
  std::chrono::steady_clock::time_point start_;
  std::optional<RunDescription> run_;
  std::vector<IterationRow> pending_;  // iterations before the report has its files
  std::unique_ptr<RunReport> report_;
  bool iterated_ = false;
  std::optional<double> everyDeviceLimit_;
  std::map<std::string, double> limitsByName_;
};

}  // namespace etherm::report
