#pragma once

#include <string>

#include "textio/text_file.h"

namespace etherm {

// Refuses probe data whose result table would not hold what the simulator computed: a file cut
// short (before its names line or its end record "#;"), no data record, a record header
// without a number, a value that is not a finite number (nan, inf, stray bytes), a record
// whose value count differs from the quantities named on line 13, an index suffix without its
// blank on the same line, a line end other than CR LF, text after the end record.
// Throws Failure naming the file (as `name`) and the line; returns quietly for good data.
// Reads the loaded bytes of `in` without moving its position.
void CheckProbeData(const TextFile& in, const std::string& name);

}  // namespace etherm
