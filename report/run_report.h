#pragma once

#include <chrono>
#include <memory>
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
//
// The files never stop a run: when one cannot be created or written, both are closed as they
// are, problem() says why, and the summary goes on. Only a row of the wrong width throws.
class RunReport {
 public:
  // Creates (empties) BASE.csv and BASE.iterations.csv in `folder`. The wall time is counted
  // from `start`, by default now.
  explicit RunReport(
      const RunDescription& run, const std::string& folder = ".",
      std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now());
  ~RunReport();

  // Throw Failure for a row of the wrong width, before anything of the call is recorded.
  void Accepted(std::span<const AcceptedRow> rows);
  void Accepted(const AcceptedRow& row) { Accepted(std::span<const AcceptedRow>(&row, 1)); }
  void Iterated(const IterationRow& row);

  // Closes both files and returns the summary text.
  std::string Finish();
  // Draws BASE.csv; call after Finish.
  PlotStatus Plot(PlotOptions options = {}) const;

  const RunSummary& summary() const { return summary_; }
  // Empty, or why the files stop short (a failure's text).
  const std::string& problem() const { return problem_; }
  // Both files were created.
  bool filesCreated() const { return filesCreated_; }

 private:
  void StopFiles(const std::string& problem);

  RunDescription run_;
  std::string folder_;
  std::unique_ptr<ResultsCsvWriter> results_;
  std::unique_ptr<IterationsCsvWriter> iterations_;
  RunSummary summary_;
  std::chrono::steady_clock::time_point start_;
  bool filesCreated_ = false;
  std::string problem_;
};

}  // namespace etherm::report
