#include "report/run_summary.h"

#include <gtest/gtest.h>

namespace etherm::report {
namespace {

RunDescription Pair() {
  return {AnalysisKind::kDc, "pair", "V1", {"QA", "QB"}, {}};
}

const std::vector<AcceptedRow> kPairRows = {
    {1, {300, 310}, {1, 2}, {}},
    {2, {320, 305}, {3, 2}, {}},
    {3, {320, 300}, {2, 5}, {}},
};

void ExpectDevice(const DeviceSummary& d, const DeviceSummary& want) {
  EXPECT_EQ(d.name, want.name);
  EXPECT_DOUBLE_EQ(d.peakTemperature, want.peakTemperature) << d.name;
  EXPECT_DOUBLE_EQ(d.peakAt, want.peakAt) << d.name;
  EXPECT_DOUBLE_EQ(d.finalTemperature, want.finalTemperature) << d.name;
  EXPECT_DOUBLE_EQ(d.peakPower, want.peakPower) << d.name;
  EXPECT_DOUBLE_EQ(d.meanPower, want.meanPower) << d.name;
}

TEST(RunSummary, DcPeakIsWhereFirstReachedAndMeanIsOverPoints) {
  RunSummary summary(Pair());
  summary.Add(kPairRows);
  auto devices = summary.Devices();
  ASSERT_EQ(devices.size(), 2u);
  ExpectDevice(devices[0], {"QA", 320, 2, 320, 3, 2});
  ExpectDevice(devices[1], {"QB", 310, 1, 300, 5, 3});
}

TEST(RunSummary, TransientMeanIsWeightedByTimeAndCountsRepeatedTimeOnce) {
  struct Case {
    const char* what;
    std::vector<AcceptedRow> rows;
    DeviceSummary want;
  };
  const Case cases[] = {
      {"uneven steps",
       {{0, {295}, {0}, {}}, {1, {330}, {2}, {}}, {3, {340}, {2}, {}}},
       {"D1", 340, 3, 340, 2, 5.0 / 3}},
      // A repeated window hands in times 2 and 3 again; [2, 3] must not count twice.
      {"repeated window",
       {{0, {295}, {0}, {}},
        {1, {330}, {2}, {}},
        {3, {340}, {2}, {}},
        {2, {335}, {2}, {}},
        {3, {340}, {2}, {}},
        {4, {320}, {6}, {}}},
       {"D1", 340, 3, 320, 6, 9.0 / 4}},
      // A row handed in again after time moved back picks the interval up where it was left.
      {"step back inside an interval",
       {{0, {295}, {0}, {}}, {2, {300}, {4}, {}}, {1, {299}, {2}, {}}, {3, {301}, {4}, {}}},
       {"D1", 301, 3, 301, 4, 7.5 / 3}},
      {"single instant", {{0, {295}, {1}, {}}, {0, {296}, {3}, {}}}, {"D1", 296, 0, 296, 3, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunSummary summary({AnalysisKind::kTransient, "d", "", {"D1"}, {}});
    for (const auto& row : c.rows) summary.Add(row);
    auto devices = summary.Devices();
    ASSERT_EQ(devices.size(), 1u);
    ExpectDevice(devices[0], c.want);
  }
}

TEST(RunSummary, TextIsAlignedWithUnits) {
  RunSummary summary(Pair());
  summary.Add(kPairRows);
  for (double seconds : {0.5, 1.5})
    summary.AddIteration({1, 1, std::nullopt, {}, {}, 0, seconds, {}});
  EXPECT_EQ(summary.Text(3.04),
            "DC analysis \"pair\": 3 accepted points, V1 1 to 3 V\n"
            "device  peak T (K)  peak T (°C)  at V1 (V)  final T (K)  peak P (W)  mean P (W)\n"
            "QA          320.00        46.85          2       320.00           3           2\n"
            "QB          310.00        36.85          1       300.00           5           3\n"
            "mean power over the accepted points\n"
            "ambient         295.00 K (21.85 °C); the circuit's other devices at the simulator's "
            "27 °C\n"
            "iterations      2\n"
            "simulator runs  2, 2.0 s in all\n"
            "wall time       3.0 s\n");
}

TEST(RunSummary, TextOfARunThatAcceptedNothing) {
  RunSummary summary({AnalysisKind::kTransient, "d", "", {"D1"}, {}});
  summary.AddIteration({1, 0, std::nullopt, {295}, {400}, 105, 0.5, {}});
  EXPECT_EQ(summary.Text(0.5),
            "Transient analysis \"d\": no time was accepted\n"
            "ambient         295.00 K (21.85 °C); the circuit's other devices at the simulator's "
            "27 °C\n"
            "iterations      1\n"
            "simulator runs  1, 0.5 s in all\n"
            "wall time       0.5 s\n");
}

// The summary says where the ambient and the circuit's other devices stood, and flags every
// device whose peak passed its limit (150 °C unless the user gave one).
TEST(RunSummary, AmbientCircuitTemperatureAndHotDevices) {
  const auto textOf = [](const RunDescription& run) {
    RunSummary summary(run);
    summary.Add(AcceptedRow{1, {430, 400}, {3, 5}, {}});
    const std::string text = summary.Text(1);
    const std::size_t from = text.find("mean power");
    const std::size_t to = text.find("iterations");
    return text.substr(text.find('\n', from) + 1, to - text.find('\n', from) - 1);
  };
  RunDescription run = Pair();
  EXPECT_EQ(textOf(run),
            "too hot         QA peaks at 156.85 °C, above 150 °C\n"
            "ambient         295.00 K (21.85 °C); the circuit's other devices at the simulator's "
            "27 °C\n");
  run.ambient = 313.15;
  run.circuitTemperature = 40.15;
  run.temperatureLimits = {175, 120};
  EXPECT_EQ(textOf(run),
            "too hot         QB peaks at 126.85 °C, above 120 °C\n"
            "ambient         313.15 K (40.00 °C); the circuit's other devices at 40.15 °C "
            "(.OPTIONS TEMP)\n");
  run.circuitTemperature.reset();
  run.circuitOwnTemperature = "TEMP=50";
  run.temperatureLimits = {175, 175};
  EXPECT_EQ(textOf(run),
            "ambient         313.15 K (40.00 °C); the circuit's other devices as it sets them "
            "(TEMP=50)\n");
}

}  // namespace
}  // namespace etherm::report
