#pragma once
// Circuit .PARAM values of one case.

#include <optional>
#include <string>
#include <string_view>

namespace etherm::sweep {

// True when `name` occurs as a word (letters, digits, '_'; compared without case, as ngspice
// does) on a line of the circuit other than its title and comments: a parameter the circuit
// neither defines nor uses would change nothing.
bool CircuitMentions(std::string_view circuit, std::string_view name);

// None when a value set for parameter `name` by SetCircuitParameter reaches the circuit: it is
// read in a {name} expression outside any subcircuit that has a parameter of that name of its
// own (on its .SUBCKT line or a .PARAM inside it), or read in a .PARAM value there, or a
// top-level .PARAM defines it, or a top-level subcircuit call gives it (`PARAMS: name=...`).
// Otherwise the refusal, naming fileName and the first line where the name stands (a model
// parameter `RS=` is no circuit parameter), or saying the circuit never names it.
std::optional<std::string> ParameterRefusal(std::string_view circuit, std::string_view name,
                                            std::string_view fileName);

// The circuit with parameter `name` set to `value`: the value of every top-level .PARAM entry
// of that name and of every top-level subcircuit call's entry of that name is replaced (so
// expressions after it see the new value); a circuit without either gets a `.PARAM name=value`
// line before its .END line (at its end when it has none), after which ngspice keeps the last
// definition. Line ends follow the file's (CR LF or LF).
std::string SetCircuitParameter(std::string_view circuit, std::string_view name,
                                std::string_view value);

}  // namespace etherm::sweep
