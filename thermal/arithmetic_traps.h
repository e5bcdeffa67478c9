#pragma once

#include <type_traits>

#include "textio/failure.h"
#include "textio/float_check.h"

namespace etherm {

// The floating-point flags say which failures a computation raised, not which came first:
// an overflow to infinity is usually followed by an invalid inf - inf, which the flags would
// report first. A trap stops at the first failing operation, so a computation that raised any
// flag is run again with a check after every operation it routes through TrapAfter.

// Checks the flags and passes x on; out of line, so the operation that produced x cannot be
// moved past the check.
double CheckedValue(double x);
long double CheckedValue(long double x);

using Unchecked = std::false_type;
using Checked = std::true_type;

template <class Mode, class T>
inline T TrapAfter(Mode, T x) {
  if constexpr (Mode::value) {
    return CheckedValue(x);
  } else {
    return x;
  }
}

// Runs compute(Unchecked{}) between clearing and checking the flags; when a flag was raised,
// runs compute(Checked{}) again to throw the failure of the first failing operation.
// compute must give the same results when run twice.
template <class F>
void ComputeWithTraps(F&& compute) {
  ClearFloatFlags();
  compute(Unchecked{});
  try {
    CheckFloatFlags();
  } catch (const Failure&) {
    ClearFloatFlags();
    compute(Checked{});
    throw;
  }
}

}  // namespace etherm
