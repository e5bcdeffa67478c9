#include "batch/batch_report.h"

#include <string>

namespace etherm {

void ShowRunReport(report::RunRecorder& recorder, bool completed, bool plot, std::FILE* out,
                   std::FILE* err, report::StartedGnuplot* gnuplot) {
  const auto result = recorder.Finish(completed);
  if (!result) return;
  std::fputs(result->summary.c_str(), out);
  if (!result->problem.empty()) {
    std::fprintf(err, "etherm-batch: warning: the CSV files stop short: %s\n",
                 result->problem.c_str());
  }
  if (!result->filesWritten) return;
  std::fprintf(out, "results written: %s\n", result->files.c_str());
  std::fflush(out);
  if (!plot) return;
  report::PlotOptions options;
  options.started = gnuplot;
  const report::PlotStatus status = recorder.Plot(options);
  if (status.kind == report::PlotStatus::Kind::kFailed) {
    std::fprintf(err, "etherm-batch: warning: %s\n", status.message.c_str());
  } else {
    std::fprintf(out, "%s\n", status.message.c_str());
  }
  std::fflush(out);
}

}  // namespace etherm
