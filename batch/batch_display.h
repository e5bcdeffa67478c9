#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "model/analysis_kind.h"
#include "model/analysis_state.h"

namespace etherm {

// etherm-batch's stand-in for the window. Status lines (three per iteration) become lines on the
// stream only when verbose; the run log keeps them all anyway. On a terminal a one-line progress
// display (iteration, sweep value or accepted time against the end; for a transient run also the
// rate and the time left) stays below the lines; elsewhere (a log file, a pipe) the progress
// text is written as a line of its own at most once a minute, so a long run shows it is alive
// without burying its warnings.
class BatchDisplay : public AnalysisListener {
 public:
  // Seconds of wall time since the display was made; tests give their own.
  using Clock = std::function<double()>;

  // The wall clock of the rate starts here.
  BatchDisplay(const AnalysisState& state, AnalysisKind analysis, std::FILE* out, bool terminal,
               bool verbose = true, Clock clock = {});

  void StatusChanged(StatusLine line, std::string_view text) override;
  void IterationStarted(int iteration) override;
  // On a terminal the progress line shows where the running window's simulator has got to.
  void SimulatorAdvanced(double time) override;
  // "etherm-batch: warning: " and the text on a line of its own, verbose or not.
  void Warning(std::string_view text) override;
  // Removes the progress display before the final words.
  void Finish();
  // The progress text for the current state of the analysis.
  std::string ProgressText() const;
  // The same after `wallSeconds` of the run: a transient run that has accepted time adds its
  // rate (accepted time per second of wall time) and the time left at that rate, once the
  // run is long enough for the rate to mean something.
  std::string ProgressText(double wallSeconds) const;

  // Off a terminal: wall seconds between two progress lines.
  static constexpr double kProgressLineInterval = 60.0;

 private:
  double Now() const;

  const AnalysisState& state_;
  AnalysisKind analysis_;
  std::FILE* out_;
  bool terminal_;
  bool verbose_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  bool progressShown_ = false;
  std::optional<double> simulated_;  // of the running window, once its simulator has said it
  double lastProgressLine_ = 0;      // wall seconds, off a terminal
};

}  // namespace etherm
