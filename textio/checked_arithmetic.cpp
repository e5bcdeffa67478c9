#include "textio/checked_arithmetic.h"

#include "textio/failure.h"

namespace etherm::checked {

void FailInvalid() {
  throw Failure("Invalid floating point operation");
}

void FailDivisionByZero() {
  throw Failure("Floating point division by zero");
}

void FailOverflow() {
  throw Failure("Floating point overflow");
}

}  // namespace etherm::checked
