#include "thermal/loop_gain.h"

#include <gtest/gtest.h>

namespace etherm {
namespace {

ThermalNetwork Network(std::vector<double> own, std::vector<std::vector<double>> pairs) {
  ThermalNetwork network;
  network.ownResistance = std::move(own);
  for (const auto& row : pairs) {
    network.pair.emplace_back();
    for (double r : row) network.pair.back().push_back(ThermalPair{r, {}});
  }
  return network;
}

TEST(LoopGain, LargestEigenvalueAndItsDevices) {
  struct Case {
    ThermalNetwork network;
    std::vector<double> slopes;
    double gain;
    std::vector<int> devices;
  } cases[] = {
      // One device: own resistance (both places it may be given) times the slope.
      {Network({20}, {{5}}), {0.04}, 1.0, {1}},
      // Two equal devices heating each other: the common mode adds the coupling.
      {Network({10, 10}, {{0, 5}, {5, 0}}), {0.1, 0.1}, 1.5, {1, 2}},
      // Uncoupled: the hotter loop alone carries the gain.
      {Network({10, 40}, {{0, 0}, {0, 0}}), {0.01, 0.05}, 2.0, {2}},
      // Power falling with temperature: a negative gain.
      {Network({50}, {{0}}), {-0.1}, -5.0, {1}},
  };
  for (const Case& c : cases) {
    const LoopGain g = LargestLoopGain(c.network, c.slopes);
    EXPECT_NEAR(g.gain, c.gain, 1e-9);
    EXPECT_EQ(g.devices, c.devices);
  }
}

TEST(LoopGain, SlopeNeedsDistinctTemperaturesAndMarginsFollowOwnGain) {
  EXPECT_FALSE(PowerSlope(300, 1, 300.0001, 2));
  EXPECT_DOUBLE_EQ(*PowerSlope(300, 1, 310, 2), 0.1);
  const auto margins = OwnMargins(Network({10, 20}, {{0, 3}, {3, 0}}), {0.05, std::nullopt});
  ASSERT_EQ(margins.size(), 2u);
  EXPECT_DOUBLE_EQ(*margins[0], 0.5);
  EXPECT_FALSE(margins[1]);
}

}  // namespace
}  // namespace etherm
