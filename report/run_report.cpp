#include "report/run_report.h"

#include "textio/failure.h"

namespace etherm::report {

RunReport::RunReport(const RunDescription& run, const std::string& folder,
                     std::chrono::steady_clock::time_point start)
    : run_(run), folder_(folder), summary_(run), start_(start) {
  try {
    results_ = std::make_unique<ResultsCsvWriter>(run, folder);
    iterations_ = std::make_unique<IterationsCsvWriter>(run, folder);
    filesCreated_ = true;
  } catch (const Failure& failure) {
    StopFiles(failure.what());
  }
}

RunReport::~RunReport() = default;

void RunReport::Accepted(std::span<const AcceptedRow> rows) {
  summary_.Add(rows);
  if (!results_) return;
  try {
    results_->Append(rows);
  } catch (const Failure& failure) {
    StopFiles(failure.what());
  }
}

void RunReport::Iterated(const IterationRow& row) {
  CheckRow(run_, row);
  summary_.AddIteration(row);
  if (!iterations_) return;
  try {
    iterations_->Append(row);
  } catch (const Failure& failure) {
    StopFiles(failure.what());
  }
}

void RunReport::StopFiles(const std::string& problem) {
  if (problem_.empty()) problem_ = problem;
  // Closing may fail for the same cause; what was written stays.
  try {
    if (results_) results_->Close();
  } catch (const Failure&) {
  }
  try {
    if (iterations_) iterations_->Close();
  } catch (const Failure&) {
  }
  results_.reset();
  iterations_.reset();
}

std::string RunReport::Finish() {
  try {
    if (results_) results_->Close();
    if (iterations_) iterations_->Close();
  } catch (const Failure& failure) {
    StopFiles(failure.what());
  }
  results_.reset();
  iterations_.reset();
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start_;
  return summary_.Text(wall.count());
}

PlotStatus RunReport::Plot(PlotOptions options) const {
  options.folder = folder_;
  return PlotRun(run_, options);
}

}  // namespace etherm::report
