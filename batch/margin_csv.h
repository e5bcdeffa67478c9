#pragma once

#include <memory>
#include <string>

#include "model/analysis_state.h"
#include "report/csv_text.h"

namespace etherm {

// Writes BASE.margin.csv of a DC run: per accepted point the sweep value, each device's
// runaway margin 1 - g (empty where the point gave no estimate) and whether the loop gain
// reached 1 while it iterated. The file appears with the first accepted point, each row is
// handed to the system as it comes, so a run that stops keeps what it accepted.
class MarginCsv : public AnalysisListener {
 public:
  explicit MarginCsv(const AnalysisState& state) : state_(state) {}
  void LoopGainFound(const LoopGainReport& report) override;

 private:
  const AnalysisState& state_;
  std::unique_ptr<report::CsvFile> file_;
};

}  // namespace etherm
