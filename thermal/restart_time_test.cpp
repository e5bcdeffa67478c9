#include "thermal/restart_time.h"

#include "thermal/thermal_test_support.h"

namespace etherm {
namespace {

using RestartTimeTest = ThermalTest;

TEST_F(RestartTimeTest, FirstDeviatingLineFromTheWindowStart) {
  // Device 1 was given 300 K; device 2 310 K. A line deviates when it holds `hot` on device 2.
  const double hot = 311.5;
  struct Case {
    const char* what;
    double windowStart;
    std::vector<std::vector<double>> lines;  // time, T1, T2
    double result;
    double loaded2;  // device 2 after the call
  } cases[] = {
      {"a line after the start deviates",
       0.002,
       {{0.001, 300, 310}, {0.002, 300, 310}, {0.003, 300, hot}, {0.004, 300, 310}},
       0.003,
       hot},
      {"the start line is not compared",
       0.002,
       {{0.001, 300, 310}, {0.002, 300, hot}, {0.003, 300, 310}, {0.004, 300, 310.5}},
       0.004,
       310.5},
      {"the last line deviates: the line before it",
       0.002,
       {{0.001, 300, 310}, {0.002, 300, 310}, {0.003, 300, 310}, {0.004, 300, hot}},
       0.003,
       hot},
      {"lines before the start are neither compared nor loaded",
       0.002,
       {{0.001, 300, hot}, {0.002, 300, 310.25}},
       0.002,
       310.25},
      {"the line at time 0 of the first window is compared",
       0,
       {{0, 300, hot}, {0.001, 300, 310}},
       0,
       hot},
      {"the only line deviates: its own time", 0, {{0, 300, hot}}, 0, hot},
      {"exactly 1 K does not deviate: the last line",
       0,
       {{0, 301, 309}, {0.005, 299, 311}},
       0.005,
       311},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeviceTable<double> given{};
    given[1] = 300;
    given[2] = 310;
    std::vector<TransientRow> rows;
    for (const auto& l : c.lines) rows.push_back({l[0], {0, l[1], l[2]}});
    const RestartTime restart = FindRestartTime(2, c.windowStart, given, rows);
    EXPECT_EQ(restart.time, c.result);
    EXPECT_EQ(restart.temperatures[2], c.loaded2);
  }
  // No rows read like a table file without lines: time 0, nothing loaded.
  const RestartTime none = FindRestartTime(2, 0.001, DeviceTable<double>{}, {});
  EXPECT_EQ(none.time, 0);
  EXPECT_EQ(none.temperatures[2], 0);
}

}  // namespace
}  // namespace etherm
