#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "netlist/circuit_writer.h"
#include "testing/scratch_folder.h"

namespace etherm::testing {

// What a driver hands the circuit writers and keeps of what they return, for tests.
struct WriterSetup {
  Problem problem;
  std::string baseName;
  std::int32_t iterationNumber = 0;
  DeviceTable<double> deviceTemperature{};
  ProbeNodeNames probeNodeNames;
  double sweepValue = 0;
  std::array<double, kMaxDcNodeValues + 1> previousNodeValue{};
  double windowStartTime = 0;
  double windowEndTime = 0;
  const CircuitState* state = nullptr;  // the whole state carried into a later window
  // From the last call, as a driver keeps them.
  std::string iterationText;
  std::string startTimeText;
};

// The writers over a setup: the probe names and start time text they return replace the
// setup's (the start time text only when one was set).
void WriteDcCircuitFile(WriterSetup& setup);
void WriteTransientCircuitFile(WriterSetup& setup);

// Gives the problem's devices terminal counts that make n node quantities.
void SetProbeNodeCount(Problem& problem, int n);

// A setup as the drivers leave it before a writer runs: devices QN (295 K) and QSUB
// (350.5 K), 2 node quantities with names V(3) and V(5) stored, one inductor and one capacitor
// carried, iteration 3, DC sweep from 5 at 7.5 step 0.5, window 9e-05 .. 2e-04.
void SetUpState(WriterSetup& state, const std::filesystem::path& folder);

// Accumulated results with two header lines and lines at 0 and at windowStartTime; the line at
// the window start carries V(3) = 0.71, V(5) = -2.5, the inductor 0.125 A, the capacitor 3.3 V.
void WriteResults(const WriterSetup& state);

}  // namespace etherm::testing
