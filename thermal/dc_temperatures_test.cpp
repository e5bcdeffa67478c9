#include "thermal/dc_temperatures.h"

#include "thermal/thermal_test_support.h"

namespace etherm {
namespace {

using DcTemperaturesTest = ThermalTest;

TEST_F(DcTemperaturesTest, StaticNetwork) {
  struct Case {
    const char* what;
    int n;
    double r[2];
    double c[2][2];
    double p[2];
    double t[2];
  } cases[] = {
      {"all powers zero", 2, {50, 80}, {{3, 4}, {5, 6}}, {0, 0}, {295, 295}},
      {"own resistance", 1, {100, 0}, {{0, 0}, {0, 0}}, {0.5, 0}, {345, 0}},
      // Device 2 heats device 1 by 10 K/W; device 1 does not heat device 2.
      {"one-sided coupling", 2, {100, 50}, {{0, 10}, {0, 0}}, {0.5, 1}, {355, 345}},
      {"diagonal adds to the own term", 1, {100, 0}, {{20, 0}, {0, 0}}, {0.5, 0}, {355, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ThermalNetwork network = Network(c.n);
    for (std::size_t i = 0; i < static_cast<std::size_t>(c.n); ++i) {
      network.ownResistance[i] = c.r[i];
      for (std::size_t j = 0; j < static_cast<std::size_t>(c.n); ++j) {
        network.pair[i][j].resistance = c.c[i][j];
      }
    }
    WriteFile("p.moc", Header() + (c.n == 1 ? Line({1.5, c.p[0]}) : Line({1.5, c.p[0], c.p[1]})));
    const DcTemperatureLine last = ComputeDcTemperatures(network, "p.moc", "p.tem");
    EXPECT_EQ(ReadFile("p.tem"),
              Header() + (c.n == 1 ? Line({1.5, c.t[0]}) : Line({1.5, c.t[0], c.t[1]})));
    for (int i = 1; i <= c.n; ++i) EXPECT_EQ(last.temperatures[i], c.t[i - 1]);
  }
  EXPECT_EQ(Line({295}), " 2.95000000000000E+0002 \r\n");
}

TEST_F(DcTemperaturesTest, HeaderCutLastLineLoadedAndTrailingEmptyLine) {
  ThermalNetwork network = Network(1);
  network.ownResistance[0] = 100;
  const std::string longTitle(150, 'x');
  const std::string table =
      longTitle + "\r\n  DC  P(1)\r\n" + Line({0, 0.1}) + Line({1, 0.2}) + Line({2, 0.3});
  WriteFile("p.moc", table);
  DcTemperatureLine last = ComputeDcTemperatures(network, "p.moc", "p.tem");
  EXPECT_EQ(ReadFile("p.tem"), std::string(120, 'x') + "\r\n  DC  P(1)\r\n" + Line({0, 305}) +
                                   Line({1, 315}) + Line({2, 325}));
  EXPECT_EQ(last.temperatures[1], 325);
  EXPECT_EQ(last.powers[1], 0.3);

  // An empty line after the data reads as one more line of zeros.
  WriteFile("p.moc", table + "\r\n");
  last = ComputeDcTemperatures(network, "p.moc", "p.tem");
  EXPECT_EQ(Numbers("p.tem", 2).back(), (std::vector<double>{0, 295}));
  EXPECT_EQ(last.temperatures[1], 295);
}

TEST_F(DcTemperaturesTest, FailuresKeepTheLinesWrittenBefore) {
  ThermalNetwork network = Network(2);
  network.ownResistance[0] = 1e300;
  network.pair[0][1].resistance = -1e300;
  // Line 2: R P overflows to +inf, and the coupling then adds -inf; the overflow came first.
  WriteFile("p.moc", Header() + Line({0, 0, 0}) + Line({1, 1e10, 1e10}) + Line({2, 0, 0}));
  EXPECT_EQ(FailureOf([&] { ComputeDcTemperatures(network, "p.moc", "p.tem"); }),
            "Floating point overflow");
  EXPECT_EQ(ReadFile("p.tem"), Header() + Line({0, 295, 295}));

  WriteFile("p.moc", Header() + Line({0, 0, 0}) + "1 0.5 0.5e\r\n");
  EXPECT_EQ(FailureOf([&] { ComputeDcTemperatures(network, "p.moc", "p.tem"); }),
            "Invalid numeric input: \"0.5e\" in p.moc, line 4");
  EXPECT_EQ(FailureOf([&] { ComputeDcTemperatures(network, "missing.moc", "p.tem"); }),
            "File not found: missing.moc");
}

using DcSettleTest = ThermalTest;

TEST_F(DcSettleTest, ToleranceAndLoadedTemperatures) {
  struct Case {
    const char* what;
    std::vector<std::vector<double>> lines;  // x, T1, T2
    bool settled;
    double loaded[2];
  } cases[] = {
      {"exactly 1 K passes", {{0, 301, 309}}, true, {301, 309}},
      {"1.0000001 K fails", {{0, 300, 311.0000001}}, false, {300, 311.0000001}},
      {"a deviating device 1 still loads device 2, and reading stops there",
       {{0, 350, 305}, {1, 300, 310}},
       false,
       {350, 305}},
      {"all lines pass: the last line stays loaded",
       {{0, 300.5, 310}, {1, 299.5, 309.5}},
       true,
       {299.5, 309.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeviceTable<double> given{};
    given[1] = 300;
    given[2] = 310;
    std::string table = Header();
    for (const auto& l : c.lines) table += Line({l[0], l[1], l[2]});
    WriteFile("p.tem", table);
    const DcSettleResult test = DcTemperaturesSettled(2, given, "p.tem");
    EXPECT_EQ(test.settled, c.settled);
    EXPECT_EQ(test.temperatures[1], c.loaded[0]);
    EXPECT_EQ(test.temperatures[2], c.loaded[1]);
  }
}

}  // namespace
}  // namespace etherm
