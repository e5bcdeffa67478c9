#include "power/model_check.h"

#include <cmath>
#include <cstdio>

#include "power/device_models.h"
#include "power/power_rows.h"
#include "textio/failure.h"

namespace etherm {

namespace {

bool Compared(const Problem& problem, const Device& device) {
  return !problem.directPower &&
         (device.kind == DeviceKind::kDiode || device.kind == DeviceKind::kTransistorA ||
          device.kind == DeviceKind::kTransistorB);
}

// The simulator's current that the model's current stands against. Kind 3 records the channel's
// current as q4 with the opposite sign and the drain-source diode's as q6 (its plain power is
// q1 q2 - (q4 + q6) q3), so the current into the drain is -(q4 + q6).
double SimulatorCurrent(DeviceKind kind, const Quantities& q) {
  switch (kind) {
    case DeviceKind::kDiode:
      return q[2];
    case DeviceKind::kTransistorB:
      return -(q[4] + q[6]);
    default:
      return q[4];
  }
}

double ModelCurrent(const Device& device, const Quantities& q, double t) {
  switch (device.kind) {
    case DeviceKind::kDiode:
      return JunctionDiode(device.diode, q, t).current;
    case DeviceKind::kTransistorB:
      return TransistorModelB(device.transistorB, q, t).current;
    default:
      return TransistorModelA(device.transistorA, q, t).current;
  }
}

std::string Short(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", x);
  return text;
}

}  // namespace

PowerModelCheck::PowerModelCheck(const Problem& problem)
    : problem_(problem), watches_(problem.devices.size()) {}

bool PowerModelCheck::Active() const {
  for (const Device& device : problem_.devices) {
    if (Compared(problem_, device)) return true;
  }
  return false;
}

std::vector<std::string> PowerModelCheck::Check(std::span<const AcceptedPoint> rows) {
  std::vector<std::string> warnings;
  if (!Active()) return warnings;
  for (const AcceptedPoint& row : rows) {
    std::size_t at = 0;  // the device's first value among the row's probes
    for (std::size_t d = 0; d < problem_.devices.size(); ++d) {
      const Device& device = problem_.devices[d];
      const std::size_t count =
          static_cast<std::size_t>(QuantityCount(static_cast<double>(device.kind)));
      const std::size_t first = at;
      at += count;
      Watch& watch = watches_[d];
      if (!Compared(problem_, device) || watch.warned || at > row.probes.size() ||
          d >= row.temperatures.size()) {
        continue;
      }
      Quantities q{};
      for (std::size_t n = 0; n < count; ++n) q[n + 1] = row.probes[first + n];
      const double simulator = SimulatorCurrent(device.kind, q);
      watch.peak = std::max(watch.peak, std::fabs(simulator));
      if (std::fabs(simulator) < kSmallCurrent ||
          std::fabs(simulator) < kShareOfPeak * watch.peak) {
        continue;
      }
      double model;
      try {
        model = ModelCurrent(device, q, row.temperatures[d]);
      } catch (const Failure&) {
        continue;  // the power computation of this row has reported it already
      }
      const double difference = std::fabs(model - simulator) / std::fabs(simulator);
      ++watch.compared;
      if (!(difference > kTolerance)) continue;
      ++watch.off;
      if (!(difference <= watch.worst)) {
        watch.worst = difference;
        watch.worstX = row.x;
        watch.worstModel = model;
        watch.worstSimulator = simulator;
      }
      if (watch.off > kFewPoints && watch.off * kShareOfPoints >= watch.compared) {
        watch.warned = true;
        warnings.push_back(WarningText(device, watch));
      }
    }
  }
  return warnings;
}

std::string PowerModelCheck::WarningText(const Device& device, const Watch& watch) const {
  const bool diode = device.kind == DeviceKind::kDiode;
  const std::string what = diode ? "junction current" : "drain current";
  const double ratio = watch.worstModel / watch.worstSimulator;
  std::string by = std::isfinite(watch.worst) ? Short(100 * watch.worst) + " %" : "far";
  std::string text =
      "the power model of " + device.name.Trimmed() + " (kind " +
      std::to_string(static_cast<int>(device.kind)) + ") computes a " + what +
      " more than 10 % off the simulator's at " + std::to_string(watch.off) + " of " +
      std::to_string(watch.compared) + " accepted points so far, by up to " + by +
      " (at t = " + Short(watch.worstX) + " s: model " + Short(watch.worstModel) +
      " A, simulator " + Short(watch.worstSimulator) + " A, " + Short(ratio) +
      " times); its powers follow the model. Usually the model's parameters, which hold at "
      "295 K, were copied from a .MODEL line whose values hold at its TNOM (27 C unless it says "
      "otherwise; etherm gives the simulator 295 K as 22 C): give the .MODEL TNOM=22 or take "
      "the parameters at 295 K (docs/power-models.md); "
      "or the parameters do not describe the circuit's device.";
  return text;
}

}  // namespace etherm
