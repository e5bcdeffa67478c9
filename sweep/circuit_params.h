#pragma once
// Circuit .PARAM values of one case.

#include <string>
#include <string_view>

namespace etherm::sweep {

// True when `name` occurs as a word (letters, digits, '_'; compared without case, as ngspice
// does) on a line of the circuit other than its title and comments: a parameter the circuit
// neither defines nor uses would change nothing.
bool CircuitMentions(std::string_view circuit, std::string_view name);

// The circuit with parameter `name` set to `value`: the value of every top-level .PARAM entry
// of that name is replaced (so expressions after it see the new value); a circuit without one
// gets a `.PARAM name=value` line before its .END line (at its end when it has none), after
// which ngspice keeps the last definition. Line ends follow the file's (CR LF or LF).
std::string SetCircuitParameter(std::string_view circuit, std::string_view name,
                                std::string_view value);

}  // namespace etherm::sweep
