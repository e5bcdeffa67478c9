#include "power/power_table.h"
#include "power/power_test_support.h"

namespace etherm {
namespace {

using DcPowerTest = PowerTest;

const std::string kResultHead = "TITLE='t'\r\ndc 'V(1)' 'I(D1)'\r\n";

TEST_F(DcPowerTest, TableAndNodeValues) {
  Devices({1, 3});
  Write(txt_, kResultHead +
                  " 1.00000000000000E+0000 5   0.002   1 2 3 4 5 6 \r\n"
                  "-1.00000000000000E+0000 5   -0.00000000e+000   1   2   3   4   5   6   \r\n");
  const DcNodeValues nodes = ComputeDcPower(state_->problem, txt_, moc_, {0, 9, 9, 9, 7});
  EXPECT_EQ(Read(moc_),
            "TITLE='t'\r\ndc D1       D2       \r\n"
            " 1.00000000000000E+0000  1.00000000000000E-0002 -2.80000000000000E+0001 \r\n"
            "-1.00000000000000E+0000 -0.00000000000000E+0000 -2.80000000000000E+0001 \r\n");
  EXPECT_EQ(nodes, (DcNodeValues{0, 1, 3, 5, 7}));
}

TEST_F(DcPowerTest, ShortTables) {
  struct Case {
    const char* what;
    std::initializer_list<double> kinds;
    std::string rows;
    std::string powerRows;
  } cases[] = {
      {"no data line: one line of zeros",
       {1, 2},
       "",
       " 0.00000000000000E+0000  0.00000000000000E+0000  0.00000000000000E+0000 \r\n"},
      {"values missing at the end read as 0",
       {2},
       " 1 2 3",
       " 1.00000000000000E+0000  6.00000000000000E+0000 \r\n"},
      {"values missing on a line come from the next",
       {2},
       " 1 2 3\r\n 4 5\r\n",
       " 1.00000000000000E+0000  2.60000000000000E+0001 \r\n"},
      // Kind codes other than 1..3 are refused before a DC analysis starts; should one come
      // through, it takes no values and gets no column.
      {"a kind-0 device gets no column",
       {1, 0, 1},
       " 1 2 3 4 5\r\n",
       " 1.00000000000000E+0000  6.00000000000000E+0000  2.00000000000000E+0001 \r\n"},
  };
  for (const Case& c : cases) {
    Devices(c.kinds);
    Write(txt_, kResultHead + c.rows);
    ComputeDcPower(state_->problem, txt_, moc_, {});
    const std::string moc = Read(moc_);
    EXPECT_EQ(moc.substr(moc.find("\r\n", 12) + 2), c.powerRows) << c.what;
  }
  // The empty table stored zeros as node values.
  Devices({2});
  Write(txt_, kResultHead);
  EXPECT_EQ(ComputeDcPower(state_->problem, txt_, moc_, {0, 9, 9, 9, 9}),
            (DcNodeValues{0, 0, 0, 9, 9}));
}

TEST_F(DcPowerTest, Failures) {
  Devices({1});
  EXPECT_EQ(FailureText([&] { ComputeDcPower(state_->problem, txt_, moc_, {}); }),
            "File not found: " + txt_);
  Write(txt_, kResultHead + " 1 2 3\r\n 2 4 x5\r\n");
  EXPECT_EQ(FailureText([&] { ComputeDcPower(state_->problem, txt_, moc_, {}); }),
            "Invalid numeric input: \"x5\" in " + txt_ + ", line 4");
  // The lines before the failure stay in the power table.
  EXPECT_EQ(Read(moc_),
            "TITLE='t'\r\ndc D1       \r\n"
            " 1.00000000000000E+0000  6.00000000000000E+0000 \r\n"
            " 2.00000000000000E+0000 ");
  Write(txt_, kResultHead + " 1 1e200 1e200\r\n");
  EXPECT_EQ(FailureText([&] { ComputeDcPower(state_->problem, txt_, moc_, {}); }),
            "Floating point overflow");
  // Both products overflow and their difference is inf - inf: the overflow came first.
  Devices({3});
  Write(txt_, kResultHead + " 1 1e200 1e200 1e200 1e200 0 0\r\n");
  EXPECT_EQ(FailureText([&] { ComputeDcPower(state_->problem, txt_, moc_, {}); }),
            "Floating point overflow");
}

}  // namespace
}  // namespace etherm
