#pragma once

// Pieces the DC and the transient power routines share.

#include <string_view>

#include "model/analysis_state.h"
#include "power/device_models.h"
#include "textio/text_file.h"

namespace etherm {

// The number of result-table values a device of this kind code takes (kinds 0..3), else 0:
// such a device reads nothing and gets no power column.
int QuantityCount(double kindCode);

// Reads q[1..count] with ReadReal.
void ReadQuantities(TextFile& table, int count, Quantities& q);

// The plain product of the recorded quantities: q2 q1 (kinds 0 and 1), q2 q1 + q3 q4 (kind 2),
// q1 q2 - (q6 + q4) q3 (kind 3). Failure with the arithmetic text of the first operation that
// overflows or is invalid.
double DirectPower(int kind, const Quantities& q);

// The power table's two header lines from the result table's: its title (first 120 bytes) and
// word followed by each device's 8-byte name and a blank. Leaves the table after its names line.
void CopyHeaderWithNames(TextFile& table, TextFile& power, const Problem& problem,
                         std::string_view word);

}  // namespace etherm
