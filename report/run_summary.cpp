#include "report/run_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace etherm::report {

RunSummary::RunSummary(const RunDescription& run) : run_(run), devices_(run.deviceNames.size()) {}

void RunSummary::Add(std::span<const AcceptedRow> rows) {
  for (const auto& row : rows) CheckRow(run_, row);
  bool transient = run_.kind == AnalysisKind::kTransient;
  for (const auto& row : rows) {
    bool first = rows_ == 0;
    // Only time beyond what is already integrated counts: a repeated window may hand in rows
    // at or before times accepted earlier. The previous row lies at or before coveredTo_.
    bool advances = transient && !first && row.x > coveredTo_;
    for (size_t i = 0; i < devices_.size(); ++i) {
      Device& d = devices_[i];
      double t = row.temperatures[i];
      double p = row.powers[i];
      if (first || t > d.peakTemperature || std::isnan(d.peakTemperature)) {
        d.peakTemperature = t;
        d.peakAt = row.x;
      }
      if (first || p > d.peakPower || std::isnan(d.peakPower)) d.peakPower = p;
      d.finalTemperature = t;
      d.powerSum += p;
      if (advances) {
        // The power at coveredTo_ on the line between the previous row and this one.
        double pFrom = d.lastPower + (p - d.lastPower) * (coveredTo_ - lastX_) / (row.x - lastX_);
        d.powerIntegral += 0.5 * (pFrom + p) * (row.x - coveredTo_);
      }
      d.lastPower = p;
    }
    if (first) {
      firstX_ = row.x;
      coveredTo_ = row.x;
    }
    if (advances) coveredTo_ = row.x;
    lastX_ = row.x;
    ++rows_;
  }
}

void RunSummary::AddIteration(const IterationRow& row) {
  ++iterations_;
  ++simulatorRuns_;
  simulatorSeconds_ += row.simulatorSeconds;
}

std::vector<DeviceSummary> RunSummary::Devices() const {
  std::vector<DeviceSummary> result;
  if (rows_ == 0) return result;
  double span = coveredTo_ - firstX_;
  bool weighted = run_.kind == AnalysisKind::kTransient && span > 0;
  for (size_t i = 0; i < devices_.size(); ++i) {
    const Device& d = devices_[i];
    result.push_back({run_.deviceNames[i], d.peakTemperature, d.peakAt, d.finalTemperature,
                      d.peakPower,
                      weighted ? d.powerIntegral / span : d.powerSum / static_cast<double>(rows_)});
  }
  return result;
}

namespace {

// Kelvin to degrees Celsius for the reader (the circuit files use 273 on purpose; a person
// reading a summary expects the true scale).
constexpr double kCelsiusZero = 273.15;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Terminal columns of UTF-8 text: one per character.
size_t Columns(const std::string& text) {
  return std::count_if(text.begin(), text.end(),
                       [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

// Rows of cells, the first column left-aligned and the others right-aligned, two blanks apart.
std::string Table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      std::string pad(widths[c] - Columns(row[c]), ' ');
      if (c > 0) line += "  ";
      line += c == 0 ? row[c] + pad : pad + row[c];
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + '\n';
  }
  return text;
}

}  // namespace

std::string RunSummary::Text(double wallSeconds) const {
  bool transient = run_.kind == AnalysisKind::kTransient;
  Axis axis = XAxis(run_);
  std::string unit = axis.unit.empty() ? "" : " " + axis.unit;
  std::string text =
      (transient ? "Transient analysis \"" : "DC analysis \"") + run_.baseName + "\": ";
  if (rows_ == 0) {
    text += transient ? "no time was accepted\n" : "no point was accepted\n";
  } else {
    text += std::to_string(rows_) + (transient ? " accepted time points, " : " accepted points, ") +
            axis.name + " " + Format("%g", firstX_) + " to " + Format("%g", lastX_) + unit + "\n";
    std::vector<std::vector<std::string>> table = {{"device", "peak T (K)", "peak T (°C)",
                                                    "at " + XAxisLabel(run_), "final T (K)",
                                                    "peak P (W)", "mean P (W)"}};
    for (const auto& d : Devices()) {
      table.push_back({d.name, Format("%.2f", d.peakTemperature),
                       Format("%.2f", d.peakTemperature - kCelsiusZero), Format("%g", d.peakAt),
                       Format("%.2f", d.finalTemperature), Format("%.4g", d.peakPower),
                       Format("%.4g", d.meanPower)});
    }
    text += Table(table);
    text += transient && coveredTo_ > firstX_
                ? "mean power weighted by time over the accepted time\n"
                : "mean power over the accepted points\n";
    std::size_t i = 0;
    for (const auto& d : Devices()) {
      const double limit =
          i < run_.temperatureLimits.size() ? run_.temperatureLimits[i] : kDefaultTemperatureLimit;
      ++i;
      const double peak = d.peakTemperature - kCelsiusZero;
      if (!(peak > limit)) continue;
      text += "too hot         " + d.name + " peaks at " + Format("%.2f", peak) + " °C, above " +
              Format("%g", limit) + " °C\n";
    }
  }
  text += "ambient         " + Format("%.2f K", run_.ambient) + " (" +
          Format("%.2f", run_.ambient - kCelsiusZero) + " °C); ";
  if (run_.circuitTemperature) {
    text += "the circuit's other devices at " + Format("%g", *run_.circuitTemperature) +
            " °C (.OPTIONS TEMP)\n";
  } else if (!run_.circuitOwnTemperature.empty()) {
    text += "the circuit's other devices as it sets them (" + run_.circuitOwnTemperature + ")\n";
  } else {
    text += "the circuit's other devices at the simulator's 27 °C\n";
  }
  text += "iterations      " + std::to_string(iterations_) + "\n";
  text += "simulator runs  " + std::to_string(simulatorRuns_) + ", " +
          Format("%.1f", simulatorSeconds_) + " s in all\n";
  text += "wall time       " + Format("%.1f", wallSeconds) + " s\n";
  return text;
}

}  // namespace etherm::report
