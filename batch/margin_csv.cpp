#include "batch/margin_csv.h"

#include <cstdio>

#include "netlist/circuit_names.h"
#include "report/run_description.h"

namespace etherm {

void MarginCsv::LoopGainFound(const LoopGainReport& report) {
  if (!file_) {
    file_ = std::make_unique<report::CsvFile>(state_.baseName + ".margin.csv");
    // The sweep column as BASE.csv names it ("V1_V"), so the two tables join on it.
    report::RunDescription run;
    run.sweptSource = ReadCircuitNames(state_.baseName + ".cir").sweptSource;
    std::string header = report::CsvField(report::XColumnName(run));
    for (const Device& device : state_.problem.devices) {
      header += "," + report::CsvField("margin_" + device.name.Trimmed());
    }
    file_->WriteLine(header + ",runaway");
  }
  // The sweep value as stepped carries the step's rounding (0.6000000000000001); the results
  // tables show it to far fewer digits.
  char x[32];
  std::snprintf(x, sizeof x, "%.12g", report.x);
  std::string line = x;
  for (const auto& margin : report.margins) {
    line += ",";
    if (margin) report::AppendNumber(line, *margin);
  }
  line += report.runaway ? ",1" : ",0";
  file_->WriteLine(line);
  file_->Flush();
}

}  // namespace etherm
