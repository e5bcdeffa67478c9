#pragma once

#include <string_view>
#include <vector>

#include "model/analysis_state.h"

namespace etherm {

// The bytes one step of a run appended to each accumulated file (results, powers,
// temperatures), as the files got them, so the listener hears exactly the values a reader of
// the files gets.
struct AppendedText {
  std::string results;
  std::string powers;
  std::string temperatures;
};

// The rows of the appended text, less the first `headerLines` lines of each part: x and the
// probe values from the results line, the numbers after x of the power and the temperature line.
std::vector<AcceptedPoint> AppendedPoints(const AppendedText& appended, int headerLines);

// Leaves out the first `headerLines` lines of each part and hands the rows to the state's
// listener: x and the probe values from the results line, the numbers after x of the power
// and the temperature line. Nothing happens without a listener.
void ReportAppendedRows(const AnalysisState& state, const AppendedText& appended, int headerLines);

}  // namespace etherm
