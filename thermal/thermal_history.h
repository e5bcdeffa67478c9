#pragma once

#include <deque>
#include <string>

#include "model/problem.h"
#include "model/transient_tables.h"
#include "thermal/transient_temperatures.h"

namespace etherm {

// The thermal line a transient window continues from. The accepted power history of a run is
// the rows appended to its accumulated powers, in order; a window that starts at `start`
// continues from the line reached after the history's rows up to and including the first row
// at or after `start` (every row when none is). Rows come in as they are accepted and the line
// moves on only as far as a window start asks, so it holds exactly the numbers a computation
// from time 0 over the same rows reaches there. Memory: the line and the rows accepted but not
// yet passed by a window start (about one window's).
class ThermalHistory {
 public:
  // A row appended to the accumulated powers, its values as the file's text reads back.
  void Accept(const TransientRow& row) { waiting_.push_back(row); }

  // Moves the line on to the window start `start` (never back) and returns it. Each row passed
  // on the way gets its term-rise line (AppendTermRiseLine) appended to `rises`. Without any
  // row accepted, the line is that of one row of zeros at time 0.
  const ThermalLine& MoveTo(const ThermalNetwork& network, double start, std::string& rises);

  const ThermalLine& line() const { return line_; }
  // Rows accepted but not yet passed.
  std::size_t waiting() const { return waiting_.size(); }

 private:
  ThermalLine line_;
  bool passedAny_ = false;
  std::deque<TransientRow> waiting_;
};

// The same line computed from time 0 out of the accumulated power file powerFileName: two
// header lines, then rows of a time and one power per device of the network, read as tokens
// up to and including the first row whose time is at or after `start` (or to the end of the
// file; at least one row, zeros when there are none). Appends each row's term-rise line to
// `rises`. Reads the whole history: a reference for tests and a way back when the carried
// state is lost. Failures: the I/O texts and those of AdvanceThermalLine.
ThermalLine ReplayThermalHistory(const ThermalNetwork& network, const std::string& powerFileName,
                                 double start, std::string& rises);

}  // namespace etherm
