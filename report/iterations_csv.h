#pragma once

#include <string>

#include "report/csv_text.h"
#include "report/run_description.h"

namespace etherm::report {

// BASE.iterations.csv: one line per iteration of the electrothermal loop, written as it ends.
// Columns: iteration, the sweep value (DC) or window_start_s and accepted_end_s (transient; empty
// when the iteration accepted nothing), Tsim_<device>_K and Tmodel_<device>_K for every device,
// max_deviation_K, sim_time_s.
class IterationsCsvWriter {
 public:
  IterationsCsvWriter(const RunDescription& run, const std::string& folder = ".");

  // Throws Failure for a row of the wrong width, before it is written.
  void Append(const IterationRow& row);
  void Close() { file_.Close(); }

 private:
  RunDescription run_;
  CsvFile file_;
  std::string line_;
};

std::string IterationsHeader(const RunDescription& run);

}  // namespace etherm::report
