#include "analysis/dc_tables.h"

#include "model/analysis_state.h"

namespace etherm {

std::string ThirdLine(TextFile& table) {
  SkipLine(table);
  SkipLine(table);
  return ReadString(table, kLineCapacity);
}

}  // namespace etherm
