#include "thermal/arithmetic_traps.h"

namespace etherm {

double CheckedValue(double x) {
  CheckFloatFlags();
  return x;
}

long double CheckedValue(long double x) {
  CheckFloatFlags();
  return x;
}

}  // namespace etherm
