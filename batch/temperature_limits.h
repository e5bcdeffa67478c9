#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/analysis_listener.h"

namespace etherm {

// The limits of --tmax in degrees Celsius: one for every device, one per named device, or both
// ("150", "Q1=175,Q2=150", "150,Q1=175").
struct TemperatureLimits {
  std::optional<double> everyDevice;
  std::map<std::string, double> byName;
};

// Reads the text of --tmax; throws Failure with a message for the user where it cannot.
TemperatureLimits ParseTemperatureLimits(std::string_view text);

// Watches the accepted rows for devices above their limits and keeps, per device, the first
// row over it and the peak.
class TemperatureLimitWatch : public AnalysisListener {
 public:
  // names: the devices in their order; xName: "V1" for a sweep, "t" for a transient.
  TemperatureLimitWatch(TemperatureLimits limits, std::vector<std::string> names, std::string xName,
                        std::string xUnit);

  // Names of the limits that match no device.
  std::vector<std::string> UnknownNames() const;
  void Accepted(std::span<const AcceptedPoint> rows) override;
  bool Exceeded() const;
  // One block: per device over its limit, the first value, how many points, the peak.
  void Print(std::FILE* out) const;

 private:
  struct Excess {
    double limit = 0;  // °C
    int points = 0;
    double firstX = 0;
    double peak = 0;  // °C
    double peakX = 0;
  };
  std::optional<double> LimitOf(const std::string& name) const;

  TemperatureLimits limits_;
  std::vector<std::string> names_;
  std::string xName_;
  std::string xUnit_;
  std::vector<Excess> excess_;
};

// The watch for a run of baseName: its devices from the problem file, the sweep's source from
// the circuit. None where the problem file cannot be read (the run itself will say why).
// Throws Failure naming any limit's device that the problem does not have.
std::unique_ptr<TemperatureLimitWatch> MakeTemperatureLimitWatch(const TemperatureLimits& limits,
                                                                 const std::string& baseName,
                                                                 bool dc);

}  // namespace etherm
