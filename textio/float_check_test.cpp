#include "textio/float_check.h"

#include <gtest/gtest.h>

#include <cmath>

#include "textio/failure.h"

namespace etherm {
namespace {

// Kept out of the optimiser's reach so the operations really happen at run time.
volatile double zero = 0.0;
volatile double big = 1e300;

TEST(FloatCheck, EachTrapHasItsText) {
  struct Case {
    double (*compute)();
    const char* text;
  } cases[] = {
      {[] { return zero / zero; }, "Invalid floating point operation"},
      {[] { return std::sqrt(-1.0 - zero); }, "Invalid floating point operation"},
      {[] { return 1.0 / zero; }, "Floating point division by zero"},
      {[] { return std::log(zero); }, "Floating point division by zero"},
      {[] { return big * big; }, "Floating point overflow"},
  };
  for (const auto& c : cases) {
    try {
      WithFloatCheck(c.compute);
      ADD_FAILURE() << "no failure for " << c.text;
    } catch (const Failure& f) {
      EXPECT_STREQ(f.what(), c.text);
    }
  }
}

TEST(FloatCheck, UnderflowAndOrdinaryArithmeticPass) {
  EXPECT_EQ(WithFloatCheck([] { return 1e-300 / big; }), 0.0);
  EXPECT_EQ(WithFloatCheck([] { return 2.0 * (1.0 + zero); }), 2.0);
  // A flag raised before the check began does not count.
  volatile double stale = 1.0 / zero;
  (void)stale;
  EXPECT_NO_THROW(WithFloatCheck([] { return 1.0 + zero; }));
}

}  // namespace
}  // namespace etherm
