#pragma once
// The circuit's state at every point of a transient run, saved beside the probe data so the
// next time window can start from the whole state at any accepted time: every node voltage an
// initial value may be given to and the ic= value of every top-level inductor and capacitor.
//
// The file (CR LF line ends, numbers that read back exactly):
//   etherm-stan 1 N             N: how many state values the circuit has
//   v(in) v(x1.n3) ic(l1) ...   their names, lower case
//   TIME VALUE ...              one line per point of the run, TIME as the probe data has it
// A circuit of more than kMaxStateValues values gets the first line alone: the file would grow
// with the circuit times the points of a window.

#include <cstddef>
#include <string>
#include <vector>

#include "translate.h"

namespace etherm::sim {

inline constexpr std::size_t kMaxStateValues = 1000;

// One value of the state: vector a minus vector b (either may be null, for ground).
struct StateColumn {
  std::string name;
  const std::vector<double>* a = nullptr;
  const std::vector<double>* b = nullptr;
};

// The nodes of the run as vector names lower case (top-level and subcircuit ones, "x1.n3"),
// with their values; and the inductor currents by inductor name lower case ("l1").
struct RunVectors {
  std::vector<std::pair<std::string, const std::vector<double>*>> nodes;
  std::vector<std::pair<std::string, const std::vector<double>*>> inductorCurrents;
};

// The state's values: the nodes no voltage source fixes (ngspice would fight a value held on
// them), then per top-level inductor its current and per top-level capacitor its voltage.
std::vector<StateColumn> StateColumns(const Translation& t, const RunVectors& vectors);

// The whole file for the points x.
std::string StateFileText(const std::vector<StateColumn>& columns, const std::vector<double>& x);

}  // namespace etherm::sim
