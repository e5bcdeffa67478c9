#include "batch/temperature_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/dc_runaway.h"
#include "analysis/run_files.h"
#include "batch/celsius_argument.h"
#include "model/problem_file.h"
#include "textio/failure.h"

namespace etherm {

TemperatureLimits ParseTemperatureLimits(std::string_view text) {
  TemperatureLimits limits;
  const std::string usage = "--tmax needs degrees Celsius: 150, or Q1=175,Q2=150";
  if (text.empty()) throw Failure(usage);
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view item = text.substr(start, comma - start);
    const std::size_t equals = item.find('=');
    const auto value =
        CelsiusArgument(equals == std::string_view::npos ? item : item.substr(equals + 1));
    if (!value) throw Failure(usage + " (not a temperature: \"" + std::string(item) + "\")");
    if (equals == std::string_view::npos) {
      if (limits.everyDevice) throw Failure(usage + " (two limits for every device)");
      limits.everyDevice = value;
    } else {
      const std::string name(item.substr(0, equals));
      if (name.empty() || !limits.byName.emplace(name, *value).second) {
        throw Failure(usage + " (a device named twice or not at all: \"" + std::string(item) +
                      "\")");
      }
    }
    start = comma + 1;
  }
  return limits;
}

TemperatureLimitWatch::TemperatureLimitWatch(TemperatureLimits limits,
                                             std::vector<std::string> names, std::string xName,
                                             std::string xUnit)
    : limits_(std::move(limits)),
      names_(std::move(names)),
      xName_(std::move(xName)),
      xUnit_(std::move(xUnit)),
      excess_(names_.size()) {}

std::optional<double> TemperatureLimitWatch::LimitOf(const std::string& name) const {
  const auto named = limits_.byName.find(name);
  if (named != limits_.byName.end()) return named->second;
  return limits_.everyDevice;
}

std::vector<std::string> TemperatureLimitWatch::UnknownNames() const {
  std::vector<std::string> unknown;
  for (const auto& [name, limit] : limits_.byName) {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) unknown.push_back(name);
  }
  return unknown;
}

void TemperatureLimitWatch::Accepted(std::span<const AcceptedPoint> rows) {
  for (const AcceptedPoint& row : rows) {
    for (std::size_t i = 0; i < names_.size() && i < row.temperatures.size(); ++i) {
      const auto limit = LimitOf(names_[i]);
      const double celsius = row.temperatures[i] - kCelsiusZero;
      if (!limit || !(celsius > *limit)) continue;
      Excess& e = excess_[i];
      if (e.points == 0) {
        e.firstX = row.x;
        e.peak = celsius;
        e.peakX = row.x;
      }
      e.limit = *limit;
      ++e.points;
      if (celsius > e.peak) {
        e.peak = celsius;
        e.peakX = row.x;
      }
    }
  }
}

bool TemperatureLimitWatch::Exceeded() const {
  return std::any_of(excess_.begin(), excess_.end(), [](const Excess& e) { return e.points > 0; });
}

void TemperatureLimitWatch::Print(std::FILE* out) const {
  if (!Exceeded()) return;
  std::fputs("temperature limits exceeded:\n", out);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const Excess& e = excess_[i];
    if (e.points == 0) continue;
    std::fprintf(out, "  %s above %s °C at %d point%s from %s = %s%s; peak %.1f °C at %s = %s%s\n",
                 names_[i].c_str(), ShortNumber(e.limit).c_str(), e.points,
                 e.points == 1 ? "" : "s", xName_.c_str(), ShortNumber(e.firstX).c_str(),
                 xUnit_.c_str(), e.peak, xName_.c_str(), ShortNumber(e.peakX).c_str(),
                 xUnit_.c_str());
  }
}

std::unique_ptr<TemperatureLimitWatch> MakeTemperatureLimitWatch(const TemperatureLimits& limits,
                                                                 const std::string& baseName,
                                                                 bool dc) {
  std::vector<std::string> names;
  try {
    for (const Device& d : ReadProblemFile(baseName).devices) names.push_back(d.name.Trimmed());
  } catch (const Failure&) {
    return nullptr;
  }
  auto watch = std::make_unique<TemperatureLimitWatch>(
      limits, names, dc ? SweptSourceName(baseName + ".cir") : "t", dc ? "" : " s");
  const auto unknown = watch->UnknownNames();
  if (!unknown.empty()) {
    std::string known;
    for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
    throw Failure("--tmax names " + unknown.front() + ", which " + baseName +
                  ".par does not have; its devices are " + known);
  }
  return watch;
}

}  // namespace etherm
