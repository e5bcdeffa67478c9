#include "testing/line_difference.h"

#include <gtest/gtest.h>

#include <string>

namespace etherm::testing {
namespace {

struct Case {
  const char* what;
  std::string recorded;
  std::string written;
  int context;
  std::string expected;
};

TEST(FirstDifference, ShowsTheLineNumberAndBothSidesWithContext) {
  const Case cases[] = {
      {"equal texts", "a\nb\n", "a\nb\n", 3, ""},
      {"a changed line among others", "1\n2\n3\n4\n5\n6\n", "1\n2\n3\nX\n5\n6\n", 2,
       "first difference at line 4 (recorded 6 lines, written 6 lines):\n"
       "  2\n  3\n- 4\n- 5\n- 6\n+ X\n+ 5\n+ 6\n"},
      {"the first line", "a\nb\n", "z\nb\n", 0,
       "first difference at line 1 (recorded 2 lines, written 2 lines):\n- a\n+ z\n"},
      {"written stops early", "a\nb\nc\n", "a\n", 1,
       "first difference at line 2 (recorded 3 lines, written 1 lines):\n"
       "  a\n- b\n- c\n+ <end of file>\n"},
      {"written goes on", "a\n", "a\nb\n", 1,
       "first difference at line 2 (recorded 1 lines, written 2 lines):\n"
       "  a\n- <end of file>\n+ b\n"},
      {"a lost carriage return is visible", "a\r\n", "a\n", 3,
       "first difference at line 1 (recorded 1 lines, written 1 lines):\n- a\\r\n+ a\n"},
      {"a lost final newline is visible", "a\nb\n", "a\nb", 3,
       "first difference at line 2 (recorded 2 lines, written 2 lines):\n"
       "  a\n- b\n+ b<no newline at end>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstDifference(c.recorded, c.written, c.context), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace etherm::testing
