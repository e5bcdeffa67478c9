#include "textio/float_check.h"

#include <cfenv>

#include "textio/failure.h"

namespace etherm {

namespace {
constexpr int kTrappedFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
}

void ClearFloatFlags() {
  std::feclearexcept(kTrappedFlags);
}

void CheckFloatFlags() {
  const int raised = std::fetestexcept(kTrappedFlags);
  if (raised == 0) return;
  std::feclearexcept(kTrappedFlags);
  if (raised & FE_INVALID) throw Failure("Invalid floating point operation");
  if (raised & FE_DIVBYZERO) throw Failure("Floating point division by zero");
  throw Failure("Floating point overflow");
}

}  // namespace etherm
