#pragma once

#include <cmath>

namespace etherm {

// Arithmetic of the analysis that must end the analysis where it fails, with the texts
// "Invalid floating point operation", "Floating point division by zero" and "Floating point
// overflow". Each operation checks its own operands and result, so the failure reported is
// that of the first failing operation in the order the caller writes them, whatever the
// optimiser does. Operands are finite (the number readers refuse anything else, and every
// result is checked before it is used), so a result that is not finite can only be an
// overflow. Underflow to zero or a subnormal is not a failure.
namespace checked {

[[noreturn]] void FailInvalid();
[[noreturn]] void FailDivisionByZero();
[[noreturn]] void FailOverflow();

template <class T>
T Finite(T x) {
  if (!std::isfinite(x)) FailOverflow();
  return x;
}
template <class T>
T Add(T a, T b) {
  return Finite(a + b);
}
template <class T>
T Sub(T a, T b) {
  return Finite(a - b);
}
template <class T>
T Mul(T a, T b) {
  return Finite(a * b);
}
// 0/0 is invalid; any other number over 0 a division by zero.
template <class T>
T Div(T a, T b) {
  if (b == 0) {
    if (a == 0) FailInvalid();
    FailDivisionByZero();
  }
  return Finite(a / b);
}
template <class T>
T Exp(T x) {
  return Finite(std::exp(x));
}
// The logarithm of 0 is a division by zero, of a negative number invalid.
template <class T>
T Log(T x) {
  if (x < 0) FailInvalid();
  if (x == 0) FailDivisionByZero();
  return std::log(x);
}
template <class T>
T Sqrt(T x) {
  if (x < 0) FailInvalid();
  return std::sqrt(x);
}
// A negative base with an exponent that is not whole is invalid; 0 to a negative power a
// division by zero.
template <class T>
T Pow(T base, T exponent) {
  if (base < 0 && std::trunc(exponent) != exponent) FailInvalid();
  if (base == 0 && exponent < 0) FailDivisionByZero();
  return Finite(std::pow(base, exponent));
}
// An extended value narrowed to a double that does not hold it.
inline double Narrow(long double x) {
  return Finite(static_cast<double>(x));
}

}  // namespace checked
}  // namespace etherm
