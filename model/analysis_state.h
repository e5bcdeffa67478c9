#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "model/analysis_listener.h"
#include "model/file_names.h"
#include "model/name_field.h"
#include "model/problem.h"

namespace etherm {

// Limits of the system: the sizes of the tables below.
inline constexpr int kMaxDevices = 10;
inline constexpr int kMaxTerms = 4;
inline constexpr int kMaxDeviceParameters = 16;
inline constexpr int kMaxNameLength = 7;
inline constexpr int kLineCapacity = 200;
inline constexpr int kMaxDcNodeValues = 4;
inline constexpr int kMaxCarriedValues = 10;
// More points than a sweep could finish in any sensible time; a bigger count is a typing error.
inline constexpr double kMaxSweepPoints = 1000000;

inline constexpr double TemperatureTolerance = 1.0;  // K

// Tables are indexed from 1 (device numbers, term numbers), as the analyses count; entry 0 is
// unused unless a field's comment says otherwise.
template <class T>
using DeviceTable = std::array<T, kMaxDevices + 1>;
template <class T>
using PairTable = std::array<std::array<T, kMaxDevices + 1>, kMaxDevices + 1>;
using TermTable =
    std::array<std::array<std::array<double, kMaxTerms + 1>, kMaxDevices + 1>, kMaxDevices + 1>;

// The run's position and the names the front ends and the drivers share. At program start
// everything is zero, false or empty.
struct AnalysisState {
  // The problem of the run, read once by the run's checks.
  Problem problem;

  // Iteration, sweep and time.
  std::int32_t iterationNumber = 0;
  std::string iterationText;
  double sweepValue = 0.0;
  double windowStartTime = 0.0;
  // Transient: set once the window start has moved beyond 0 in the run; the windows from then
  // on start from the accepted history, whatever their start time.
  bool laterWindow = false;
  double previousWindowStartTime = 0.0;
  double windowEndTime = 0.0;
  double sampleTime = 0.0;
  std::string startTimeText;  // at most 12 characters

  // Temperatures (K) and powers (W).
  DeviceTable<double> deviceTemperature{};
  DeviceTable<double> previousTemperature{};
  DeviceTable<long double> powerSample{};

  // The node quantities of the circuit's ".PROBE" line, as the circuit writers return them.
  LineText<kLineCapacity> probeNodeNames;

  // File names and files.
  std::string baseName;
  // K, the ambient of the next run; every problem read takes it.
  double ambientTemperature = AmbientTemperature;
  // The user gave the ambient (etherm-batch --ambient): the circuit's devices the problem does
  // not model get it too, unless the circuit sets their temperature itself.
  bool ambientForCircuit = false;
  // Set when a run starts: degrees Celsius for those devices (an ".OPTIONS TEMP" line in every
  // iteration's circuit), or the circuit's own setting as written ("TEMP=50"), or neither.
  std::optional<double> circuitTemperature;
  std::string circuitOwnTemperature;
  // Where run log lines go: "wyniki.txt", or its staged name while a run has accepted nothing.
  std::string runLogName = kRunLogName;
  // Who hears what the analysis reports; none when null.
  AnalysisListener* listener = nullptr;

  // Tells the listener, when there is one, that a status line now reads utf8Text.
  void ShowStatus(StatusLine line, std::string_view utf8Text) const {
    if (listener != nullptr) listener->StatusChanged(line, utf8Text);
  }
  // Passes a warning on to the listener, when there is one.
  void ShowWarning(std::string_view utf8Text) const {
    if (listener != nullptr) listener->Warning(utf8Text);
  }
};

}  // namespace etherm
