#include "power/power_rows.h"
#include "power/power_table.h"
#include "textio/text_file.h"

namespace etherm {

DcNodeValues ComputeDcPower(const Problem& problem, TextFile& table, TextFile& power,
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

DcNodeValues ComputeDcPower(const Problem& problem, const std::string& tableName,
                            const std::string& powerTableName, DcNodeValues nodeValues) {
  TextFile table;
  TextFile power;
  table.OpenForReading(tableName);
  power.OpenForWriting(powerTableName);
  nodeValues = ComputeDcPower(problem, table, power, nodeValues);
  table.Close();
  power.Close();
  return nodeValues;
}

}  // namespace etherm
