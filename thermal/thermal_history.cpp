#include "thermal/thermal_history.h"

#include "textio/failure.h"
#include "textio/text_file.h"

namespace etherm {

const ThermalLine& ThermalHistory::MoveTo(const ThermalNetwork& network, double start,
                                          std::string& rises) {
  // The line already stands on the first row at or after the start: a window start never
  // moves back, and every row passed before that one lay before an earlier start.
  if (passedAny_ && line_.time >= start) return line_;
  if (!passedAny_) {
    line_ = ThermalLine{};
    if (waiting_.empty()) {
      // A history without rows reads as one row of zeros; it stays out of the history.
      AdvanceThermalLine(network, line_, TransientRow{});
      AppendTermRiseLine(rises, network, line_);
      return line_;
    }
  }
  while (!waiting_.empty()) {
    AdvanceThermalLine(network, line_, waiting_.front());
    waiting_.pop_front();
    passedAny_ = true;
    AppendTermRiseLine(rises, network, line_);
    if (line_.time >= start) break;
  }
  return line_;
}

ThermalLine ReplayThermalHistory(const ThermalNetwork& network, const std::string& powerFileName,
                                 double start, std::string& rises) {
  if (network.pair.size() > static_cast<std::size_t>(kMaxDevices)) {
    throw Failure(std::to_string(network.pair.size()) + " devices; at most " +
                  std::to_string(kMaxDevices) + " can be modelled");
  }
  TextFile history;
  history.OpenForReading(powerFileName);
  SkipLine(history);
  SkipLine(history);
  ThermalLine line;
  TransientRow row;
  do {
    // The rows pass through a table file again before the temperatures are computed from them.
    row.time = AsWritten(ReadReal(history));
    for (std::size_t j = 1; j <= network.pair.size(); ++j) {
      row.value[j] = AsWritten(ReadReal(history));
    }
    SkipLine(history);
    AdvanceThermalLine(network, line, row);
    AppendTermRiseLine(rises, network, line);
  } while (!(row.time >= start) && !AtEnd(history));
  history.Close();
  return line;
}

}  // namespace etherm
