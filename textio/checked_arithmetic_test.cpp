#include "textio/checked_arithmetic.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>

#include "textio/failure.h"

namespace etherm {
namespace {

TEST(CheckedArithmetic, EachFailureHasItsText) {
  using namespace checked;
  const char* invalid = "Invalid floating point operation";
  const char* byZero = "Floating point division by zero";
  const char* overflow = "Floating point overflow";
  struct Case {
    std::function<double()> compute;
    const char* text;
  } cases[] = {
      {[] { return Div(0.0, 0.0); }, invalid},
      {[] { return Sqrt(-1.0); }, invalid},
      {[] { return Log(-1.0); }, invalid},
      {[] { return Pow(-2.0, 0.5); }, invalid},
      {[] { return Div(1.0, 0.0); }, byZero},
      {[] { return Div(-1.0, -0.0); }, byZero},
      {[] { return Log(0.0); }, byZero},
      {[] { return Pow(0.0, -1.5); }, byZero},
      {[] { return Mul(1e300, 1e300); }, overflow},
      {[] { return Add(DBL_MAX, DBL_MAX); }, overflow},
      {[] { return Sub(-DBL_MAX, DBL_MAX); }, overflow},
      {[] { return Div(1e300, 1e-300); }, overflow},
      {[] { return Exp(710.0); }, overflow},
      {[] { return Pow(10.0, 400.0); }, overflow},
      {[] { return Narrow(1e400L); }, overflow},
  };
  for (const auto& c : cases) {
    try {
      c.compute();
      ADD_FAILURE() << "no failure for " << c.text;
    } catch (const Failure& f) {
      EXPECT_STREQ(f.what(), c.text);
    }
  }
}

TEST(CheckedArithmetic, UnderflowAndOrdinaryArithmeticPass) {
  using namespace checked;
  EXPECT_EQ(Div(1e-300, 1e300), 0.0);
  EXPECT_EQ(Exp(-1000.0), 0.0);
  EXPECT_EQ(Mul(2.0, Add(1.0, 0.0)), 2.0);
  EXPECT_EQ(Pow(-2.0, 3.0), -8.0);
  EXPECT_EQ(Pow(0.0, 0.0), 1.0);
  EXPECT_EQ(Sqrt(-0.0), 0.0);
  EXPECT_EQ(Log(1.0L), 0.0L);
}

}  // namespace
}  // namespace etherm
