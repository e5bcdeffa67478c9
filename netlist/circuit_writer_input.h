#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/analysis_state.h"
#include "model/problem.h"

namespace etherm {

// The node quantities a ".PROBE" line names, each followed by one blank, from position 1.
using ProbeNodeNames = LineText<kLineCapacity>;

// What both circuit writers read: the problem, the user's circuit baseName + ".cir", the
// iteration, the temperatures the devices get (K, device 1..) and the node quantities an
// earlier call took from the ".PROBE" line.
struct CircuitWriterInput {
  const Problem& problem;
  const std::string& baseName;
  std::int32_t iterationNumber = 0;
  const DeviceTable<double>& temperatures;
  const ProbeNodeNames& probeNodeNames;
  // Degrees Celsius for the circuit's devices the problem does not model (an ".OPTIONS TEMP"
  // line after the title); none leaves them at the circuit's or the simulator's own.
  std::optional<double> circuitTemperature = std::nullopt;
};

// What a writer call leaves for the driver.
struct WrittenCircuit {
  std::string iterationText;  // the digits of the iteration's file names
  // Those given, with a ".PROBE" line's node quantities written over them.
  ProbeNodeNames probeNodeNames;
  // Transient: the window start as the sources received it; empty when no source was shifted.
  std::string startTimeText;
};

}  // namespace etherm
