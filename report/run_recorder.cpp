#include "report/run_recorder.h"

#include <algorithm>
#include <cmath>

#include "netlist/circuit_names.h"
#include "report/results_csv.h"

namespace etherm::report {

namespace {

// Values cut or filled (NaN) to the width of their columns. The files' rows have these widths
// unless a line was cut at its 200 characters; the report must hold what the files hold and
// never stop the run for it.
std::vector<double> Fitted(const std::vector<double>& values, std::size_t width) {
  std::vector<double> fitted(values.begin(), values.begin() + std::min(values.size(), width));
  fitted.resize(width, std::nan(""));
  return fitted;
}

}  // namespace

RunRecorder::RunRecorder(const AnalysisState& state, AnalysisKind kind, AnalysisListener* next,
                         std::string folder)
    : state_(state),
      kind_(kind),
      next_(next),
      folder_(std::move(folder)),
      start_(std::chrono::steady_clock::now()) {}

RunRecorder::~RunRecorder() = default;

void RunRecorder::StatusChanged(StatusLine line, std::string_view text) {
  if (next_ != nullptr) next_->StatusChanged(line, text);
}

void RunRecorder::IterationStarted(int iteration) {
  if (!run_) Describe();
  if (next_ != nullptr) next_->IterationStarted(iteration);
}

void RunRecorder::IterationFinished(const IterationReport& report) {
  if (!run_) Describe();
  iterated_ = true;
  const std::size_t devices = run_->deviceNames.size();
  IterationRow row{report.iteration,
                   report.x,
                   kind_ == AnalysisKind::kTransient ? report.acceptedEnd : std::nullopt,
                   Fitted(report.givenTemperatures, devices),
                   Fitted(report.computedTemperatures, devices),
                   report.largestDeviation,
                   report.simulatorSeconds};
  if (report_) {
    report_->Iterated(row);
  } else {
    pending_.push_back(std::move(row));
  }
  if (next_ != nullptr) next_->IterationFinished(report);
}

void RunRecorder::Warning(std::string_view text) {
  if (next_ != nullptr) next_->Warning(text);
}

void RunRecorder::Accepted(std::span<const AcceptedPoint> rows) {
  if (!run_) Describe();
  if (!rows.empty() && !report_) {
    // The probe names stand for the values the files hold; a circuit read otherwise than the
    // simulator read it gets numbered names rather than names over the wrong columns.
    const std::size_t width = rows.front().probes.size();
    if (run_->probeNames.size() != width) {
      run_->probeNames.clear();
      for (std::size_t k = 1; k <= width; ++k) {
        run_->probeNames.push_back("probe" + std::to_string(k));
      }
    }
    OpenReport();
  }
  if (report_) {
    const std::size_t devices = run_->deviceNames.size();
    std::vector<AcceptedRow> converted;
    converted.reserve(rows.size());
    for (const AcceptedPoint& point : rows) {
      converted.push_back({point.x, Fitted(point.temperatures, devices),
                           Fitted(point.powers, devices),
                           Fitted(point.probes, run_->probeNames.size())});
    }
    report_->Accepted(std::span<const AcceptedRow>(converted));
  }
  if (next_ != nullptr) next_->Accepted(rows);
}

void RunRecorder::Describe() {
  RunDescription run;
  run.kind = kind_;
  run.baseName = state_.baseName;
  for (const Device& device : state_.problem.devices) {
    run.deviceNames.push_back(device.name.Trimmed());
  }
  CircuitNames names = ReadCircuitNames(ReportFileName(folder_, state_.baseName, ".cir"));
  run.sweptSource = names.sweptSource;
  run.ambient = state_.ambientTemperature;
  run.circuitTemperature = state_.circuitTemperature;
  run.circuitOwnTemperature = state_.circuitOwnTemperature;
  for (const std::string& device : run.deviceNames) {
    const auto named = limitsByName_.find(device);
    run.temperatureLimits.push_back(named != limitsByName_.end() ? named->second
                                    : everyDeviceLimit_          ? *everyDeviceLimit_
                                                                 : kDefaultTemperatureLimit);
  }
  run.probeNames = std::move(names.probeNames);
  run_ = std::move(run);
}

void RunRecorder::OpenReport() {
  report_ = std::make_unique<RunReport>(*run_, folder_, start_);
  for (const IterationRow& row : pending_) report_->Iterated(row);
  pending_.clear();
}

std::optional<RunRecorder::Result> RunRecorder::Finish(bool completed) {
  if (!run_ || (!iterated_ && !report_)) return std::nullopt;
  if (completed && !report_) OpenReport();
  Result result;
  if (report_) {
    result.summary = report_->Finish();
    result.filesWritten = report_->filesCreated();
    if (result.filesWritten) {
      result.files = ReportFileName(folder_, run_->baseName, ".csv") + ", " +
                     ReportFileName(folder_, run_->baseName, ".iterations.csv");
    }
    result.problem = report_->problem();
  } else {
    // Stopped before its first row: a summary of the iterations, no files.
    RunSummary summary(*run_);
    for (const IterationRow& row : pending_) summary.AddIteration(row);
    result.summary = summary.Text(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
  }
  return result;
}

PlotStatus RunRecorder::Plot(PlotOptions options) const {
  if (!report_ || !report_->filesCreated()) {
    return {PlotStatus::Kind::kSkipped, "plot skipped: the run wrote no results"};
  }
  return report_->Plot(options);
}

}  // namespace etherm::report
