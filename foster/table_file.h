#pragma once

#include <string>
#include <vector>

#include "foster/cauer.h"
#include "foster/foster_network.h"

namespace etherm {

// Files of two numbers a line, as exported from a spreadsheet or typed by hand: commas,
// blanks or tabs between the numbers, '#' starts a comment, blank lines are ignored, and the
// first line may be a header (it is one when none of its words looks like a number: "O.5" or
// "le-5" is a mistyped number, refused as one). The file must be a regular file of at most
// 64 MiB. Every failure names the file and, where there is one, the line.

// Time (s) and Zth (K/W): times above 0 and rising, Zth above 0 and never falling.
Curve ReadCurve(const std::string& path);

// A maker's Foster table: R (K/W) and tau (s) per term, both above 0.
FosterNetwork ReadFosterTable(const std::string& path);

// A Cauer ladder from the junction outwards: R (K/W) and C (J/K) per stage, both above 0, at
// most kMaxCauerStages stages.
std::vector<CauerStage> ReadCauerLadder(const std::string& path);

}  // namespace etherm
