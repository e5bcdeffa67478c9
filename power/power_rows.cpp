#include "power/power_rows.h"

#include <vector>

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

namespace {

// The names go as their 8 bytes, each followed by a blank.
template <class Names>
void CopyHeaderWithNameList(TextFile& table, TextFile& file, std::string_view word,
                            const Names& names) {
  WriteText(file, ReadString(table, 120));
  WriteLineEnd(file);
  SkipLine(table);
  SkipLine(table);  // the result table's names are not used
  WriteText(file, word);
  for (const NameField& name : names) {
    WriteText(file, std::string_view(name.chars.data(), 8));
    WriteChar(file, ' ');
  }
  WriteLineEnd(file);
}

}  // namespace

void CopyHeaderWithNames(TextFile& table, TextFile& file, const Problem& problem,
                         std::string_view word) {
  std::vector<NameField> names;
  for (const Device& d : problem.devices) names.push_back(d.name);
  CopyHeaderWithNameList(table, file, word, names);
}

}  // namespace etherm
