#include "report/results_csv.h"

#include <filesystem>

namespace etherm::report {

std::string ReportFileName(const std::string& folder, const std::string& baseName,
                           const std::string& extension) {
  if (folder.empty() || folder == ".") return baseName + extension;
  return (std::filesystem::path(folder) / (baseName + extension)).string();
}

std::string ResultsHeader(const RunDescription& run) {
  std::string header = CsvField(XColumnName(run));
  for (const auto& device : run.deviceNames) header += "," + CsvField("T_" + device + "_K");
  for (const auto& device : run.deviceNames) header += "," + CsvField("P_" + device + "_W");
  for (const auto& probe : run.probeNames) header += "," + CsvField(probe);
  return header;
}

ResultsCsvWriter::ResultsCsvWriter(const RunDescription& run, const std::string& folder)
    : run_(run), file_(ReportFileName(folder, run.baseName, ".csv")) {
  file_.WriteLine(ResultsHeader(run_));
  file_.Flush();
}

void ResultsCsvWriter::Append(std::span<const AcceptedRow> rows) {
  for (const auto& row : rows) CheckRow(run_, row);
  for (const auto& row : rows) {
    line_.clear();
    AppendNumber(line_, row.x);
    for (double t : row.temperatures) AppendNumber(line_ += ',', t);
    for (double p : row.powers) AppendNumber(line_ += ',', p);
    for (double v : row.probes) AppendNumber(line_ += ',', v);
    file_.WriteLine(line_);
  }
  file_.Flush();
}

}  // namespace etherm::report
