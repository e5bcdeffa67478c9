#include "report/run_report.h"

namespace etherm::report {

RunReport::RunReport(const RunDescription& run, const std::string& folder)
    : run_(run),
      folder_(folder),
      results_(run, folder),
      iterations_(run, folder),
      summary_(run),
      start_(std::chrono::steady_clock::now()) {}

void RunReport::Accepted(std::span<const AcceptedRow> rows) {
  results_.Append(rows);
  summary_.Add(rows);
}

void RunReport::Iterated(const IterationRow& row) {
  iterations_.Append(row);
  summary_.AddIteration(row);
}

std::string RunReport::Finish() {
  results_.Close();
  iterations_.Close();
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start_;
  return summary_.Text(wall.count());
}

PlotStatus RunReport::Plot(PlotOptions options) const {
  options.folder = folder_;
  return PlotRun(run_, options);
}

}  // namespace etherm::report
