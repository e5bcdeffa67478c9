#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "netlist/circuit_line.h"

namespace etherm {

// Where the user's circuit sets the temperature of its devices itself: the text of the first
// top-level ".TEMP" line or "TEMP=" entry of an ".OPTION(S)"/".OPT" line (continuation lines
// included), as written ("TEMP=50", ".TEMP 50"); none when it does not, or when the file cannot
// be read (the run itself will say why). Files it includes are not read.
std::optional<std::string> CircuitTemperatureSetting(const std::string& circuitFile);

// The line that gives the circuit's other devices the temperature celsius: ".OPTIONS TEMP=40.15".
std::string CircuitTemperatureLine(double celsius);

// Copies the title line; when lines.circuitTemperature is set, the ".OPTIONS TEMP" line of it
// follows, so every device the problem does not model sits at the run's ambient.
void CopyTitleLine(CircuitLines& lines);

}  // namespace etherm
