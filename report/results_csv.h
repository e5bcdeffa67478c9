#pragma once

#include <span>
#include <string>

#include "report/csv_text.h"
#include "report/run_description.h"

namespace etherm::report {

// BASE.csv: the accepted rows, one line each, under a header naming every column with its unit.
// Rows go to the file as they come; nothing is held back beyond one call.
class ResultsCsvWriter {
 public:
  // Creates (empties) `folder`/BASE.csv and writes the header.
  ResultsCsvWriter(const RunDescription& run, const std::string& folder = ".");

  // Throws Failure for a row of the wrong width, before anything of the call is written.
  void Append(std::span<const AcceptedRow> rows);
  void Append(const AcceptedRow& row) { Append(std::span<const AcceptedRow>(&row, 1)); }
  void Close() { file_.Close(); }

 private:
  RunDescription run_;
  CsvFile file_;
  std::string line_;
};

// The header line of BASE.csv.
std::string ResultsHeader(const RunDescription& run);
// `folder`/`baseName` + `extension`.
std::string ReportFileName(const std::string& folder, const std::string& baseName,
                           const std::string& extension);

}  // namespace etherm::report
