#include "power/power_rows.h"
#include "power/power_table.h"
#include "textio/text_file.h"

namespace etherm {

void ComputeDcPower(AnalysisState& state, const std::string& tableName,
                    const std::string& powerTableName) {
  RequireDeviceCountInRange(state);
  TextFile table;
  TextFile power;
  table.OpenForReading(tableName);
  power.OpenForWriting(powerTableName);
  CopyHeaderWithNames(table, power, state, "dc ");

  Quantities q{};
  do {
    WriteReal(power, ReadReal(table));
    WriteChar(power, ' ');
    for (int i = 1; i <= state.deviceCount; ++i) {
      const double kindCode = state.deviceParameters[i][0];
      if (kindCode != 1 && kindCode != 2 && kindCode != 3) continue;
      const int kind = static_cast<int>(kindCode);
      ReadQuantities(table, QuantityCount(kindCode), q);
      state.nodeValue[1] = q[1];
      if (kind >= 2) state.nodeValue[2] = q[3];
      if (kind == 3) state.nodeValue[3] = q[5];
      WriteReal(power, DirectPower(kind, q));
      WriteChar(power, ' ');
    }
    SkipLine(table);
    WriteLineEnd(power);
  } while (!AtEnd(table));
  table.Close();
  power.Close();
}

}  // namespace etherm
