#include "spice_text/source_fixed_nodes.h"

#include <gtest/gtest.h>

namespace etherm::spice {
namespace {

TEST(SourceFixedNodes, GroundedChainsAllFixedFloatingSourcesKeepOneNode) {
  struct Case {
    const char* what;
    std::vector<SourceNodes> sources;
    std::set<std::string> fixed;
  };
  const Case cases[] = {
      {"supply to ground", {{"IN", "0"}}, {"in"}},
      {"reversed, to GND", {{"Gnd", "n1"}}, {"n1"}},
      {"E source of a difference", {{"ds", "0"}}, {"ds"}},
      {"chain to ground", {{"a", "b"}, {"b", "0"}}, {"a", "b"}},
      {"chain to ground written the other way", {{"b", "a"}, {"0", "b"}}, {"a", "b"}},
      {"floating gate drive keeps its reference", {{"g", "sw"}}, {"g"}},
      {"floating chain keeps its end", {{"a", "b"}, {"b", "c"}}, {"a", "b"}},
      {"no sources", {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SourceFixedNodes(c.sources), c.fixed) << c.what;
  }
}

TEST(SourceFixedNodes, VoltageSourceLines) {
  EXPECT_TRUE(IsVoltageSourceLine({"VIN", "in", "0", "24"}));
  EXPECT_TRUE(IsVoltageSourceLine({"Eds", "ds", "0", "in", "sw", "1"}));
  EXPECT_TRUE(IsVoltageSourceLine({"h1", "a", "b", "vs", "2"}));
  EXPECT_TRUE(IsVoltageSourceLine({"B1", "a", "0", "V={2*v(c)}"}));
  EXPECT_FALSE(IsVoltageSourceLine({"B1", "a", "0", "I={v(c)}"}));
  EXPECT_FALSE(IsVoltageSourceLine({"I1", "0", "1", "3"}));
  EXPECT_FALSE(IsVoltageSourceLine({"V1", "a"}));
}

}  // namespace
}  // namespace etherm::spice
