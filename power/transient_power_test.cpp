#include <cstdio>
#include <sstream>
#include <vector>

#include "power/power_table.h"
#include "power/power_test_support.h"

namespace etherm {
namespace {

class TransientPowerTest : public PowerTest {
 protected:
  void SetUp() override {
    PowerTest::SetUp();
    state_->analysisEnd = 1;
    for (double& t : state_->deviceTemperature) t = 295;
  }
  // Device i's model parameters in the problem file's order.
  void Parameters(int i, std::initializer_list<double> values) {
    AssignModelParameters(state_->problem.devices.at(static_cast<std::size_t>(i - 1)), values);
  }
  // The numbers of the power table's rows, without the two header lines.
  std::vector<std::vector<std::string>> Rows() {
    std::istringstream moc(Read(moc_));
    std::string line;
    std::getline(moc, line);
    std::getline(moc, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(moc, line)) {
      std::istringstream words(line);
      rows.emplace_back();
      for (std::string w; words >> w;) rows.back().push_back(w);
    }
    return rows;
  }
  std::string PowerFileName() const { return state_->baseName + ".moc"; }
};

const std::string kResultHead = "TITLE='t'\r\ntime 'V(1)' 'I(D1)'\r\n";

TEST_F(TransientPowerTest, FirstWindowWithDirectProducts) {
  Devices({0, 1, 2, 3});
  state_->directPowerFlag = true;
  state_->analysisEnd = 1e-5;
  Write(PowerFileName(), "");
  Write(txt_, kResultHead +
                  " 0.00000000000000E+0000 1 2  1 2  1 2 3 4  1 2 3 4 5 6 \r\n"
                  " 1.00000000000000E-0005 -0.0 5  2 2  1 1 1 1  1 1 1 1 1 1 \r\n"
                  " 2.00000000000000E-0005 9 9  9 9  9 9 9 9  9 9 9 9 9 9 \r\n");
  ComputeTransientPower(*state_, txt_, moc_, PowerFileName());
  // The row that reaches the end time is the last one.
  EXPECT_EQ(Read(moc_),
            "TITLE='t'\r\nczas D1       D2       D3       D4       \r\n"
            " 0.00000000000000E+0000  2.00000000000000E+0000  2.00000000000000E+0000 "
            " 1.40000000000000E+0001 -2.80000000000000E+0001 \r\n"
            " 1.00000000000000E-0005 -0.00000000000000E+0000  4.00000000000000E+0000 "
            " 2.00000000000000E+0000 -1.00000000000000E+0000 \r\n");
  EXPECT_EQ(state_->sampleTime, 1e-5);
}

TEST_F(TransientPowerTest, ModelsWithTheirLimits) {
  Devices({1, 2, 3, 3});
  Parameters(1, {1e-14, 1, 0.1, 1, 3, 0, 1e-12, 2, 0.5, 0.7, 0.004});
  Parameters(2, {0, 0, 0, 0.05, 2e-5, 1e-4, 2e-6, 2, 0.2, 10, 1e-14, 0, 0.01});
  for (int i = 3; i <= 4; ++i) {
    Parameters(i, {2e-5, 1e-4, 2e-6, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0});
  }
  state_->deviceTemperature[4] = 1200;
  Write(PowerFileName(), "");
  Write(txt_, kResultHead +
                  " 0 10.7 100  4 0 10 50  5 0 10 25 0 0  5 0 10 -0.1 0 0\r\n"
                  " 1 0.7 0.05  4 0 10 0.005  5 0 10 -0.1 0 0  5 0 10 -0.1 0 0\r\n");
  ComputeTransientPower(*state_, txt_, moc_, PowerFileName());
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  // A diode is never limited; models A and B give 625 W and 313 W, limited to 100 W.
  EXPECT_GT(std::stod(rows[0][1]), 1000);
  EXPECT_EQ(rows[0][2], "1.00000000000000E+0002");
  EXPECT_EQ(rows[0][3], "1.00000000000000E+0002");
  // Below the limit the model values stand; at 1200 K model B computes as at 1000 K.
  EXPECT_EQ(rows[1][1], "5.37977414104587E-0003");
  EXPECT_EQ(rows[1][2], "2.22285837136959E-0002");
  EXPECT_EQ(rows[1][3], "5.38512824280688E-0002");
  EXPECT_EQ(rows[1][4], "9.02690997374133E+0001");
  EXPECT_EQ(state_->deviceTemperature[4], 1200);
}

TEST_F(TransientPowerTest, LaterWindowsStartWithTheHistory) {
  Devices({0});
  state_->directPowerFlag = true;
  const std::string historyHead = "TITLE='h'\r\nczas D1       \r\n";
  const std::string fourRows =
      " 0.00000000000000E+0000  1.00000000000000E+0000 \r\n"
      " 1.00000000000000E-0003  2.00000000000000E+0000 \r\n"
      " 2.00000000000000E-0003  3.00000000000000E+0000 \r\n"
      " 3.00000000000000E-0003  4.00000000000000E+0000 \r\n";
  const std::string newRow = " 2.00000000000000E-0003  6.00000000000000E+0000 \r\n";
  struct Case {
    const char* what;
    double windowStart;
    std::string historyRows;
    std::size_t rowsKept;  // of fourRows
  } cases[] = {
      {"up to the first row after the start", 1.5e-3, fourRows, 3},
      {"up to the row at the start", 2e-3, fourRows, 3},
      {"every row when none reaches the start", 5e-3, fourRows, 4},
      {"a start of exactly 1E-12 is a later window", 1e-12, fourRows, 2},
      {"so is any start after the first window, however small", 1e-13, fourRows, 2},
      {"no rows: one row of zeros", 1e-3, "", 0},
  };
  state_->laterWindow = true;
  for (const Case& c : cases) {
    state_->windowStartTime = c.windowStart;
    Write(PowerFileName(), historyHead + c.historyRows);
    Write(txt_, kResultHead + " 2.00000000000000E-0003 2 3 \r\n");
    ComputeTransientPower(*state_, txt_, moc_, PowerFileName());
    std::string history;
    for (std::size_t n = 0; n < c.rowsKept; ++n) history += fourRows.substr(n * 50, 50);
    if (c.historyRows.empty()) {
      history = " 0.00000000000000E+0000  0.00000000000000E+0000 \r\n";
    }
    EXPECT_EQ(Read(moc_), historyHead + history + newRow) << c.what;
  }
}

TEST_F(TransientPowerTest, Failures) {
  Devices({1});
  EXPECT_EQ(FailureText([&] { ComputeTransientPower(*state_, txt_, moc_, PowerFileName()); }),
            "File not found: " + txt_);
  Write(txt_, kResultHead + " 0 1 1\r\n");
  EXPECT_EQ(FailureText([&] { ComputeTransientPower(*state_, txt_, moc_, PowerFileName()); }),
            "File not found: " + PowerFileName())
      << "the accumulated power file must exist";
  Write(PowerFileName(), "");

  struct Case {
    const char* what;
    double kind;
    std::initializer_list<double> parameters;
    const char* values;
    const char* text;
  } cases[] = {
      {"channel length 0",
       2,
       {0, 0, 0, 0.05, 2e-5, 1e-4, 0, 2, 0.2, 10, 1e-14, 0, 0.01},
       "1 0 10 0.001",
       "Floating point division by zero"},
      {"model A: 1 - p13 w is 0 with the channel off",
       2,
       {0, 0, 0, 0, 2e-5, 1e-4, 2e-6, 2, 0, 10, 1e-14, 0, 0.1},
       "1 0 10 0",
       "Floating point division by zero"},
      {"model B: channel length 0 with the channel off",
       3,
       {2e-5, 1e-4, 0, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0},
       "1 0 10 0 0 0",
       "Floating point division by zero"},
      // The exponential overflows first; inf x 0 follows, but the first failure counts.
      {"diode at 30 V",
       1,
       {1e-14, 1, 0.1, 1, 3, 0, 1e-12, 2, 0.5, 0.7, 0.004},
       "30 0",
       "Floating point overflow"},
      {"diode knee current 0 at zero bias",
       1,
       {1e-14, 1, 0.1, 0, 3, 0, 1e-12, 2, 0.5, 0.7},
       "0 0",
       "Invalid floating point operation"},
      {"diode current beyond the range of a real",
       3,
       {2e-5, 1e-4, 2e-6, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0},
       "5 0 -100 0 0 0",
       "Floating point overflow"},
  };
  for (const Case& c : cases) {
    Devices({c.kind});
    Parameters(1, c.parameters);
    Write(txt_, kResultHead + " 0 " + c.values + "\r\n");
    EXPECT_EQ(FailureText([&] { ComputeTransientPower(*state_, txt_, moc_, PowerFileName()); }),
              c.text)
        << c.what;
  }
}

}  // namespace
}  // namespace etherm
