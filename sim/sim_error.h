#pragma once
// A run of etherm-sim that cannot go on. The text is meant for the circuit designer: it names
// the line and what is wrong with it.

#include <stdexcept>
#include <string>

namespace etherm::sim {

class SimError : public std::runtime_error {
 public:
  explicit SimError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace etherm::sim
