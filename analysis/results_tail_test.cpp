#include "analysis/results_tail.h"

#include <gtest/gtest.h>

namespace etherm {
namespace {

// The writer takes the first line within 1e-10 s of a window start: the tail keeps every line
// that can be it, for this start or a later one, and numbers them as the file does.
TEST(ResultsTailTest, KeepsTheLinesAWindowStartCanTakeItsValuesFrom) {
  ResultsTail tail;
  for (double t : {0.0, 1e-4, 2e-4 - 5e-10, 2e-4, 3e-4}) {
    tail.Add(t, std::to_string(t) + "\r\n");
  }
  struct Case {
    const char* what;
    double start;
    std::size_t kept;
    int firstLine;  // of the text, whose two empty lines stand for the header lines
  } cases[] = {
      {"a start on a line keeps the line a hair before it", 2e-4, 3, 3},
      {"a start between lines keeps the line after it", 2.5e-4, 1, 5},
      {"the same start again keeps the same", 2.5e-4, 1, 5},
      {"a start past every line keeps none", 1, 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tail.KeepFrom(c.start);
    EXPECT_EQ(tail.size(), c.kept);
    EXPECT_EQ(tail.FirstLine(), c.firstLine);
  }
  tail.Add(2, "2\r\n");
  EXPECT_EQ(tail.Text(), "\r\n\r\n2\r\n");
}

}  // namespace
}  // namespace etherm
