#include "report/iterations_csv.h"

#include "report/results_csv.h"

namespace etherm::report {

std::string IterationsHeader(const RunDescription& run) {
  std::string header = "iteration,";
  if (run.kind == AnalysisKind::kTransient) {
    header += "window_start_s,accepted_end_s";
  } else {
    header += CsvField(XColumnName(run));
  }
  for (const auto& device : run.deviceNames) {
    header += "," + CsvField("Tsim_" + device + "_K") + "," + CsvField("Tmodel_" + device + "_K");
  }
  return header + ",max_deviation_K,sim_time_s";
}

IterationsCsvWriter::IterationsCsvWriter(const RunDescription& run, const std::string& folder)
    : run_(run), file_(ReportFileName(folder, run.baseName, ".iterations.csv")) {
  file_.WriteLine(IterationsHeader(run_));
  file_.Flush();
}

void IterationsCsvWriter::Append(const IterationRow& row) {
  CheckRow(run_, row);
  line_ = std::to_string(row.iteration);
  AppendNumber(line_ += ',', row.x);
  if (run_.kind == AnalysisKind::kTransient) {
    line_ += ',';
    if (row.acceptedEnd) AppendNumber(line_, *row.acceptedEnd);
  }
  for (size_t i = 0; i < run_.deviceNames.size(); ++i) {
    AppendNumber(line_ += ',', row.simulatorTemperatures[i]);
    AppendNumber(line_ += ',', row.modelTemperatures[i]);
  }
  AppendNumber(line_ += ',', row.largestDeviation);
  AppendNumber(line_ += ',', row.simulatorSeconds);
  file_.WriteLine(line_);
  file_.Flush();
}

}  // namespace etherm::report
