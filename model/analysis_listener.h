#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace etherm {

// The three status lines an analysis keeps up to date, top to bottom.
enum class StatusLine {
  kIteration,  // "startuję" when an iteration starts
  kSimulator,  // "jest wynik" / "jest pierwszy wynik" when the simulator has run
  kPosition,   // "dc = 2.5" / "t0 =12:00:01" when a point or window is decided
};

// One accepted DC point or transient time point, with the values of the accumulated files.
struct AcceptedPoint {
  double x = 0;                      // sweep value or time (s)
  std::vector<double> temperatures;  // K, one per device
  std::vector<double> powers;        // W, one per device
  std::vector<double> probes;        // the result table's values, in the .PROBE order
};

// One finished iteration of the electrothermal loop.
struct IterationReport {
  int iteration = 0;
  double x = 0;                              // sweep value or window start (s)
  std::optional<double> acceptedEnd;         // transient: the next window start
  std::vector<double> givenTemperatures;     // K, given to the simulator, one per device
  std::vector<double> computedTemperatures;  // K, from the thermal model, one per device
  double largestDeviation = 0;               // K, between the two
  double simulatorSeconds = 0;               // wall time of the iteration's simulator run
};

// The electrothermal loop gain of an accepted DC point, estimated from its iterations.
struct LoopGainReport {
  double x = 0;                                // sweep value
  std::vector<std::optional<double>> margins;  // 1 - own loop gain per device; none unknown
  bool runaway = false;  // the loop gain reached 1 during the point's iterations
};

// What an analysis tells its front end while it runs. The analyses only report; how and where
// it shows (pixels, lines, a file) is the front end's matter. Every call has a default that
// ignores it, so a listener overrides only what it shows.
class AnalysisListener {
 public:
  virtual ~AnalysisListener() = default;
  // Status line `line` now reads text (UTF-8).
  virtual void StatusChanged(StatusLine /*line*/, std::string_view /*text*/) {}
  // Iteration `iteration` starts; its circuit file is written.
  virtual void IterationStarted(int /*iteration*/) {}
  // An iteration has been decided: settled or not, accepted up to where.
  virtual void IterationFinished(const IterationReport& /*report*/) {}
  // A note that does not stop the analysis (a device hotter than any semiconductor survives).
  virtual void Warning(std::string_view /*text*/) {}
  // Rows appended to the accumulated files, in their order.
  virtual void Accepted(std::span<const AcceptedPoint> /*rows*/) {}
  // DC: the loop gain of the point accepted next, just before its row.
  virtual void LoopGainFound(const LoopGainReport& /*report*/) {}
  // Transient: the simulator of the running window has reached `time` (s, absolute); said now
  // and then while a window is simulated, so a slow window can be told from a stalled one.
  virtual void SimulatorAdvanced(double /*time*/) {}
};

}  // namespace etherm
