#pragma once

#include <type_traits>
#include <utility>

namespace etherm {

// Arithmetic of the analysis routines must end the analysis on an invalid operation, a
// division by zero or an overflow, with the texts "Invalid floating point operation",
// "Floating point division by zero" and "Floating point overflow". Underflow is silent.
// The hardware flags stand in for traps: clear them, compute, then check.

// Clears the invalid, division-by-zero and overflow flags.
void ClearFloatFlags();

// Throws Failure with the text of the first raised flag (invalid, then division by zero, then
// overflow) and clears the flags; returns quietly when none is raised.
void CheckFloatFlags();

// Runs f with the flags cleared before and checked after; returns what f returns.
template <class F>
decltype(auto) WithFloatCheck(F&& f) {
  ClearFloatFlags();
  if constexpr (std::is_void_v<decltype(f())>) {
    std::forward<F>(f)();
    CheckFloatFlags();
  } else {
    decltype(auto) result = std::forward<F>(f)();
    CheckFloatFlags();
    return result;
  }
}

}  // namespace etherm
