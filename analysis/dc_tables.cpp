#include "analysis/dc_tables.h"

#include "model/analysis_state.h"
#include "power/power_rows.h"

namespace etherm {

// The loop of ComputeDcPower (power/dc_power.cpp) on open tables, which that file's owners may
// take over; AnalysisTest.DcIterationFilesAreWrittenOnlyWhenKept holds the two to the same
// bytes (kept files go through ComputeDcPower), as do the golden outputs.
DcNodeValues ComputeDcPowerTable(const Problem& problem, TextFile& table, TextFile& power,
                                 DcNodeValues nodeValues) {
  CopyHeaderWithNames(table, power, problem, "dc ");
  Quantities q{};
  do {
    WriteReal(power, ReadReal(table));
    WriteChar(power, ' ');
    for (const Device& d : problem.devices) {
      if (d.kind == DeviceKind::kPlain) continue;
      ReadQuantities(table, QuantityCount(d.kind), q);
      nodeValues[1] = q[1];
      if (d.kind != DeviceKind::kDiode) nodeValues[2] = q[3];
      if (d.kind == DeviceKind::kTransistorB) nodeValues[3] = q[5];
      WriteReal(power, DirectPower(static_cast<int>(d.kind), q));
      WriteChar(power, ' ');
    }
    SkipLine(table);
    WriteLineEnd(power);
  } while (!AtEnd(table));
  return nodeValues;
}

std::string ThirdLine(TextFile& table) {
  SkipLine(table);
  SkipLine(table);
  return ReadString(table, kLineCapacity);
}

}  // namespace etherm
