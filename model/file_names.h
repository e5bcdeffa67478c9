#pragma once

#include <cstddef>
#include <string>

namespace etherm {

// Every file a run reads or writes, by name; the routines take their names from here.

// In the working directory, whatever the base name.
inline constexpr char kRunLogName[] = "wyniki.txt";
inline constexpr char kSimulatorCircuitName[] = "a1.cir";  // copy of the iteration's circuit
inline constexpr char kBiasFileName[] = "a1.bsp";          // the simulator's bias point
inline constexpr char kBiasCopyName[] = "a2.bsp";
inline constexpr char kTermRiseFileName[] = "temp.txt";  // term rises of the last window

// What the longest file name a run makes has beyond the base name: an iteration's number (at
// most 10 digits) and the simulator's ".stan.part" of the state file it is writing.
inline constexpr std::size_t kLongestRunNameTail = 10 + sizeof(".stan.part") - 1;

// The files named after the base name: the inputs, the accumulated outputs and each
// iteration's files (the base name, the iteration number, an extension).
struct RunFileNames {
  std::string base;

  std::string Problem() const { return base + ".par"; }
  std::string Circuit() const { return base + ".cir"; }
  std::string Results() const { return base + ".wyn"; }
  std::string Powers() const { return base + ".moc"; }
  std::string Temperatures() const { return base + ".tem"; }
  std::string TermRiseHistory() const { return base + ".spl"; }

  // The iteration's name without an extension.
  std::string Iteration(const std::string& iterationText) const { return base + iterationText; }
  std::string IterationCircuit(const std::string& it) const { return Iteration(it) + ".cir"; }
  std::string IterationProbeData(const std::string& it) const { return Iteration(it) + ".csd"; }
  std::string IterationListing(const std::string& it) const { return Iteration(it) + ".out"; }
  std::string IterationResults(const std::string& it) const { return Iteration(it) + ".txt"; }
  std::string IterationPowers(const std::string& it) const { return Iteration(it) + ".moc"; }
  std::string IterationTemperatures(const std::string& it) const { return Iteration(it) + ".tem"; }
};

}  // namespace etherm
