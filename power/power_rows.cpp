#include "power/power_rows.h"

#include "textio/checked_arithmetic.h"
#include "textio/failure.h"

namespace etherm {

int QuantityCount(double kindCode) {
  if (kindCode == 0 || kindCode == 1) return 2;
  if (kindCode == 2) return 4;
  if (kindCode == 3) return 6;
  return 0;
}

void ReadQuantities(TextFile& table, int count, Quantities& q) {
  for (int n = 1; n <= count; ++n) q[static_cast<std::size_t>(n)] = ReadReal(table);
}

double DirectPower(int kind, const Quantities& q) {
  using checked::Add;
  using checked::Mul;
  using checked::Sub;
  switch (kind) {
    case 2: {
      const double gate = Mul(q[2], q[1]);
      return Add(gate, Mul(q[3], q[4]));
    }
    case 3: {
      const double gate = Mul(q[1], q[2]);
      return Sub(gate, Mul(Add(q[6], q[4]), q[3]));
    }
    default:
      return Mul(q[2], q[1]);
  }
}

void CopyHeaderWithNames(TextFile& table, TextFile& file, const AnalysisState& state,
                         std::string_view word) {
  WriteText(file, ReadString(table, 120));
  WriteLineEnd(file);
  SkipLine(table);
  SkipLine(table);  // the result table's names are not used
  WriteText(file, word);
  for (int i = 1; i <= state.deviceCount; ++i) {
    WriteText(file, std::string_view(state.deviceName[i].chars.data(), 8));
    WriteChar(file, ' ');
  }
  WriteLineEnd(file);
}

void CopyHeaderWithNames(TextFile& table, TextFile& file, const Problem& problem,
                         std::string_view word) {
  WriteText(file, ReadString(table, 120));
  WriteLineEnd(file);
  SkipLine(table);
  SkipLine(table);  // the result table's names are not used
  WriteText(file, word);
  for (const Device& d : problem.devices) {
    WriteText(file, std::string_view(d.name.chars.data(), 8));
    WriteChar(file, ' ');
  }
  WriteLineEnd(file);
}

void RequireDeviceCountInRange(const AnalysisState& state) {
  if (state.deviceCount < 0 || state.deviceCount > kMaxDevices) {
    throw Failure(std::to_string(state.deviceCount) + " devices; at most " +
                  std::to_string(kMaxDevices) + " can be modelled");
  }
}

}  // namespace etherm
