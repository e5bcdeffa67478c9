#pragma once

#include <chrono>
#include <span>
#include <string>

#include "report/iterations_csv.h"
#include "report/plot.h"
#include "report/results_csv.h"
#include "report/run_summary.h"

namespace etherm::report {

// What an analysis driver reports to: one per run, made when the run's devices and probes are
// known. Accepted rows and iterations go to BASE.csv, BASE.iterations.csv and the summary as
// they come, so a run that stops keeps everything reported so far.
class RunReport {
 public:
  // Creates (empties) BASE.csv and BASE.iterations.csv in `folder`; starts the wall clock.
  explicit RunReport(const RunDescription& run, const std::string& folder = ".");

  void Accepted(std::span<const AcceptedRow> rows);
  void Accepted(const AcceptedRow& row) { Accepted(std::span<const AcceptedRow>(&row, 1)); }
  void Iterated(const IterationRow& row);

  // Closes both files and returns the summary text.
  std::string Finish();
  // Draws BASE.csv; call after Finish.
  PlotStatus Plot(PlotOptions options = {}) const;

  const RunSummary& summary() const { return summary_; }

 private:
  RunDescription run_;
  std::string folder_;
  ResultsCsvWriter results_;
  IterationsCsvWriter iterations_;
  RunSummary summary_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace etherm::report
