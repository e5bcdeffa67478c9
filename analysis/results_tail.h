#pragma once

#include <deque>
#include <string>

namespace etherm {

// The last data lines of a run's accumulated results, from which the circuit of the next window
// takes its carried values, so that no window reads the whole file back. The writer takes the
// first line whose time lies within 1e-10 s of the window start; lines further before the
// start than kMargin can never be it, for this start or a later one.
class ResultsTail {
 public:
  static constexpr double kMargin = 1e-9;  // s, well beyond the writer's 1e-10 s

  // A data line appended to the accumulated results: its time and its bytes with the line end,
  // whole (the file may hold it cut).
  void Add(double time, std::string line);
  // Drops the lines from the front that lie more than kMargin before `start`; window starts
  // never move back.
  void KeepFrom(double start);

  // The text the circuit writer reads: two empty lines in place of the header lines (it only
  // skips them), then the kept lines.
  std::string Text() const;
  // The line number of the text's first line in the file, for failure texts.
  int FirstLine() const { return dropped_ + 1; }
  std::size_t size() const { return lines_.size(); }

 private:
  struct Line {
    double time;
    std::string bytes;
  };
  std::deque<Line> lines_;
  int dropped_ = 0;
};

}  // namespace etherm
