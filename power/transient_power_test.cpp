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
    state_->problem.endTime = 1;
    for (double& t : temperatures_) t = 295;
  }
  // Device i's model parameters in the problem file's order.
  void Parameters(int i, std::initializer_list<double> values) {
    AssignModelParameters(state_->problem.devices.at(static_cast<std::size_t>(i - 1)), values);
  }
  PowerTable Compute() { return ComputeTransientPower(state_->problem, txt_, temperatures_); }
  // The table as its file would hold it.
  std::string Text(const PowerTable& table) const {
    return table.title + "\r\n" + table.names + "\r\n" +
           RowsText(table.rows, state_->problem.deviceCount());
  }
  // The numbers of the table's rows as their text says them.
  std::vector<std::vector<std::string>> Rows(const PowerTable& table) const {
    std::istringstream lines(Text(table));
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      rows.emplace_back();
      for (std::string w; words >> w;) rows.back().push_back(w);
    }
    return rows;
  }
  DeviceTable<double> temperatures_{};
};

const std::string kResultHead = "TITLE='t'\r\ntime 'V(1)' 'I(D1)'\r\n";

TEST_F(TransientPowerTest, WindowWithDirectProducts) {
  Devices({0, 1, 2, 3});
  state_->problem.directPower = true;
  state_->problem.endTime = 1e-5;
  Write(txt_, kResultHead +
                  " 0.00000000000000E+0000 1 2  1 2  1 2 3 4  1 2 3 4 5 6 \r\n"
                  " 1.00000000000000E-0005 -0.0 5  2 2  1 1 1 1  1 1 1 1 1 1 \r\n"
                  " 2.00000000000000E-0005 9 9  9 9  9 9 9 9  9 9 9 9 9 9 \r\n");
  // The row that reaches the end time is the last one.
  EXPECT_EQ(Text(Compute()),
            "TITLE='t'\r\nczas D1       D2       D3       D4       \r\n"
            " 0.00000000000000E+0000  2.00000000000000E+0000  2.00000000000000E+0000 "
            " 1.40000000000000E+0001 -2.80000000000000E+0001 \r\n"
            " 1.00000000000000E-0005 -0.00000000000000E+0000  4.00000000000000E+0000 "
            " 2.00000000000000E+0000 -1.00000000000000E+0000 \r\n");
}

TEST_F(TransientPowerTest, ModelsWithTheirLimits) {
  Devices({1, 2, 3, 3});
  Parameters(1, {1e-14, 1, 0.1, 1, 3, 0, 1e-12, 2, 0.5, 0.7, 0.004});
  Parameters(2, {0, 0, 0, 0.05, 2e-5, 1e-4, 2e-6, 2, 0.2, 10, 1e-14, 0, 0.01});
  for (int i = 3; i <= 4; ++i) {
    Parameters(i, {2e-5, 1e-4, 2e-6, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0});
  }
  temperatures_[4] = 1200;
  Write(txt_, kResultHead +
                  " 0 10.7 100  4 0 10 50  5 0 10 25 0 0  5 0 10 -0.1 0 0\r\n"
                  " 1 0.7 0.05  4 0 10 0.005  5 0 10 -0.1 0 0  5 0 10 -0.1 0 0\r\n");
  const PowerTable table = Compute();
  const auto rows = Rows(table);
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
  // The values are those their text says: what the file of the table would give back.
  EXPECT_EQ(table.rows[1].value[1], 5.37977414104587E-0003);
}

TEST_F(TransientPowerTest, ShortTables) {
  Devices({0});
  state_->problem.directPower = true;
  // Missing values read as 0; a table without data lines gives one row of zeros.
  Write(txt_, kResultHead + " 1E-6 3\r\n");
  EXPECT_EQ(Rows(Compute()), (std::vector<std::vector<std::string>>{
                                 {"1.00000000000000E-0006", "0.00000000000000E+0000"}}));
  Write(txt_, kResultHead);
  EXPECT_EQ(Rows(Compute()), (std::vector<std::vector<std::string>>{
                                 {"0.00000000000000E+0000", "0.00000000000000E+0000"}}));
}

TEST_F(TransientPowerTest, Failures) {
  Devices({1});
  EXPECT_EQ(FailureText([&] { Compute(); }), "File not found: " + txt_);
  Write(txt_, kResultHead + " 0 1 x1\r\n");
  EXPECT_EQ(FailureText([&] { Compute(); }),
            "Invalid numeric input: \"x1\" in " + txt_ + ", line 3");

  // Each failure names the device, the model, the operation, its step and the parameters the
  // step takes, so the user knows which number of the problem file to look at.
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
       "power model of device D1, transistor model A (kind 2) at 295.0 K: Floating point "
       "division by zero in the transconductance p5 (T/Tr)^-1.5 p6 / p7 (p5 transconductance "
       "parameter (A/V^2) = 2e-05, p6 channel width W = 0.0001, p7 channel length L = 0)"},
      {"model A: 1 - p13 w is 0 with the channel off",
       2,
       {0, 0, 0, 0, 2e-5, 1e-4, 2e-6, 2, 0, 10, 1e-14, 0, 0.1},
       "1 0 10 0",
       "power model of device D1, transistor model A (kind 2) at 295.0 K: Floating point "
       "division by zero in the channel current (p8 threshold voltage (V) = 2, p13 "
       "channel-length modulation (1/V) = 0.1)"},
      {"model B: channel length 0 with the channel off",
       3,
       {2e-5, 1e-4, 0, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0},
       "1 0 10 0 0 0",
       "power model of device D1, transistor model B (kind 3) at 295.0 K: Floating point "
       "division by zero in the transconductance p1 (T/Tr)^-1.5 p2 / p3 (p1 transconductance "
       "parameter (A/V^2) = 2e-05, p2 channel width W = 0.0001, p3 channel length L = 0)"},
      // The exponential overflows first; inf x 0 follows, but the first failure counts.
      {"diode at 30 V",
       1,
       {1e-14, 1, 0.1, 1, 3, 0, 1e-12, 2, 0.5, 0.7, 0.004},
       "30 0",
       "power model of device D1, junction diode model (kind 1) at 295.0 K: Floating point "
       "overflow in the diffusion current Is (exp(Vd / (p2 Vt)) - 1) with the knee (p2 "
       "emission coefficient N = 1, p4 knee current IKF (A) = 1)"},
      {"diode of zero parameters",
       1,
       {},
       "0.7 1",
       "power model of device D1, junction diode model (kind 1) at 295.0 K: Invalid floating "
       "point operation in the saturation current Is at T (p1 saturation current IS (A) = 0, "
       "p2 emission coefficient N = 0, p5 saturation current temperature exponent XTI = 0)"},
      {"diode current beyond the range of a real",
       3,
       {2e-5, 1e-4, 2e-6, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0},
       "5 0 -100 0 0 0",
       "power model of device D1, transistor model B (kind 3) at 295.0 K: Floating point "
       "overflow in the diode current (p11 diode emission coefficient = 1, p14 breakdown "
       "voltage (V) = 100, p15 breakdown current (A) = 1e-10)"},
  };
  for (const Case& c : cases) {
    Devices({c.kind});
    Parameters(1, c.parameters);
    Write(txt_, kResultHead + " 0 " + c.values + "\r\n");
    EXPECT_EQ(FailureText([&] { Compute(); }), c.text) << c.what;
  }
}

}  // namespace
}  // namespace etherm
