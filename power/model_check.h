#pragma once

#include <span>
#include <string>
#include <vector>

#include "model/analysis_listener.h"
#include "model/problem.h"

namespace etherm {

// Watches whether a device's power model describes the device the simulator computes: at every
// accepted point it compares the model's junction current (kind 1, against the current through
// the diode) or drain current (kinds 2 and 3, channel less drain-source diode, against the
// simulator's current into the drain: q4 for kind 2, -(q4 + q6) for kind 3) with the
// simulator's. A device whose currents differ by more than 10 % at more than a few points (and
// at more than one point in twenty compared) gets one warning for the whole run, saying by how
// much and why that usually happens. Points where the simulator's current is below 1 uA or
// below 1 % of the largest seen so far are not compared: there a relative difference means
// nothing. Nothing is compared when the problem asks for plain products.
class PowerModelCheck {
 public:
  explicit PowerModelCheck(const Problem& problem);

  // False when no device's power comes from a model: Check would do nothing.
  bool Active() const;
  // rows: accepted points, their probes the result table's values in device order and their
  // temperatures the devices' (K). Returns the warnings due now, each device at most once a run.
  std::vector<std::string> Check(std::span<const AcceptedPoint> rows);

  static constexpr double kTolerance = 0.10;     // relative difference of the currents
  static constexpr int kFewPoints = 5;           // more off points than this warn ...
  static constexpr int kShareOfPoints = 20;      // ... when at least one in this many is off
  static constexpr double kSmallCurrent = 1e-6;  // A, below it no comparison
  static constexpr double kShareOfPeak = 0.01;   // of the largest current seen so far

 private:
  struct Watch {
    int compared = 0;
    int off = 0;
    double worst = 0;  // the largest relative difference
    double worstX = 0, worstModel = 0, worstSimulator = 0;
    double peak = 0;  // A, the largest |simulator current| seen
    bool warned = false;
  };
  std::string WarningText(const Device& device, const Watch& watch) const;

  const Problem& problem_;
  std::vector<Watch> watches_;  // one per device
};

}  // namespace etherm
