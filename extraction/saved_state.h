#pragma once

#include <string>

#include "model/circuit_state.h"

namespace etherm {

// What the simulator saved of the circuit's state beside a transient window's probe data
// (etherm-sim writes it as the circuit file's name with ".stan").
struct SavedState {
  enum class Kind {
    kMissing,   // no file: a simulator that saves none
    kTooLarge,  // the circuit has more state values than the simulator saves
    kFound,
  } kind = Kind::kMissing;
  int count = 0;  // the state values the circuit has
  CircuitState state;
};

// The state at the window's new start: the first saved point whose time, moved by offset and
// written as the result table writes it, lies at or after start; the same row the accepted
// results end with. A file without such a point, or not of this layout, is a failure naming it.
SavedState ReadSavedState(const std::string& name, double offset, double start);

}  // namespace etherm
