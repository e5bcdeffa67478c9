#pragma once

#include <span>
#include <string>
#include <vector>

#include "report/run_description.h"

namespace etherm::report {

// The figures of one device over the accepted rows.
struct DeviceSummary {
  std::string name;
  double peakTemperature = 0;   // K
  double peakAt = 0;            // x of the first row that reached the peak
  double finalTemperature = 0;  // K, of the last accepted row
  double peakPower = 0;         // W
  // W. DC: the plain mean over the accepted points. Transient: the mean over the accepted time,
  // each interval between rows weighted by its length (trapezoids); time accepted twice counts
  // once. A run accepted at a single instant falls back to the plain mean.
  double meanPower = 0;
};

// Running figures of a run, kept as the rows are accepted: memory does not grow with the run.
class RunSummary {
 public:
  explicit RunSummary(const RunDescription& run);

  // Throws Failure for a row of the wrong width.
  void Add(std::span<const AcceptedRow> rows);
  void Add(const AcceptedRow& row) { Add(std::span<const AcceptedRow>(&row, 1)); }
  // Counts the iteration and its simulator run.
  void AddIteration(const IterationRow& row);

  long acceptedRows() const { return rows_; }
  long iterations() const { return iterations_; }
  long simulatorRuns() const { return simulatorRuns_; }
  double simulatorSeconds() const { return simulatorSeconds_; }
  std::vector<DeviceSummary> Devices() const;

  // Plain aligned text for a terminal, UTF-8, LF line ends.
  std::string Text(double wallSeconds) const;

 private:
  struct Device {
    double peakTemperature = 0;
    double peakAt = 0;
    double finalTemperature = 0;
    double peakPower = 0;
    double powerSum = 0;
    double powerIntegral = 0;
    double lastPower = 0;
  };

  RunDescription run_;
  std::vector<Device> devices_;
  long rows_ = 0;
  double firstX_ = 0;
  double lastX_ = 0;
  double coveredTo_ = 0;  // transient: the time up to which power is integrated
  long iterations_ = 0;
  std::vector<double> drift_;  // the continuous engine's largest drift per device, K
  long simulatorRuns_ = 0;
  double simulatorSeconds_ = 0;
};

}  // namespace etherm::report
