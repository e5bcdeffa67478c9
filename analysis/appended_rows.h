#pragma once

#include <cstdint>
#include <string>

#include "model/analysis_state.h"

namespace etherm {

// The rows one step of a run appends to the accumulated files (results, powers, temperatures),
// read back from the files themselves once they are closed, so the listener hears exactly the
// values a reader of the files gets.
class AppendedRows {
 public:
  // Notes where each file ends now; a missing file counts as empty.
  AppendedRows(std::string results, std::string powers, std::string temperatures);

  // Reads what was appended since, leaves out the first `headerLines` lines of each file's
  // part, and hands the rows to the state's listener: x and the probe values from the results
  // line, the numbers after x of the power and the temperature line. Nothing is read without a
  // listener. Throws Failure when a file cannot be read.
  void Report(const AnalysisState& state, int headerLines) const;

 private:
  struct Part {
    std::string name;
    std::uintmax_t start = 0;
  };
  Part results_, powers_, temperatures_;
};

}  // namespace etherm
