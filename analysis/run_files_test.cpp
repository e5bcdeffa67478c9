#include "analysis/run_files.h"

#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

TEST_F(AnalysisTest, TimedLinesAreCopiedRebuiltAndATableThatEndsEarlyFails) {
  WriteLines("t.txt", "title\nnames\n 1.0E-0004 a b\n2.5e-4  c\n\n");
  TextFile table, out;
  table.OpenForReading("t.txt");
  out.OpenForWriting("o.txt");
  SkipLine(table);
  SkipLine(table);
  std::string rest;
  EXPECT_EQ(ReadTimedLine(table, &rest, 3e-4), 1e-4);
  WriteRebuiltLine(out, 1e-4, rest);
  EXPECT_EQ(ReadTimedLine(table, &rest, 3e-4), 2.5e-4);
  WriteRebuiltLine(out, 2.5e-4, rest);
  out.Close();
  EXPECT_EQ(ReadFile("o.txt"), " 1.00000000000000E-0004  a b\r\n 2.50000000000000E-0004   c\r\n");
  // Only an empty line is left: the wait for a line at 3e-4 ends with a failure, not zeros.
  EXPECT_EQ(FailureOf([&] { ReadTimedLine(table, &rest, 3e-4); }),
            "The table \"t.txt\" ends before a line at time 3.00000000000000E-0004 s");
}

}  // namespace
}  // namespace etherm
