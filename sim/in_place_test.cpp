// Which deck differences a loaded DC circuit takes in place, and the commands for them.

#include "in_place.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace etherm::sim {
namespace {

const std::vector<std::string> kLoaded = {
    "Power diode",
    "V1 1 0 DC 1",
    "R1 1 2 2",
    "D1 2 0 DPWR temp=33.013",
    "Q1 3 2 0 QA dtemp=-1.5",
    ".MODEL DPWR D(IS=2.5E-9)",
    ".dc V1 2.00000000000000E+0000 2.00000000000000E+0000 1.00000000000000E+0000",
    ".save all",
    ".end",
};

std::vector<std::string> With(std::size_t line, const std::string& text) {
  std::vector<std::string> deck = kLoaded;
  deck[line] = text;
  return deck;
}

TEST(InPlacePlan, TemperaturesAndTheSweepPointAreAlteredAndRun) {
  const std::string dc =
      "dc v1 2.00000000000000E+0000 2.00000000000000E+0000 1.00000000000000E+0000";
  std::optional<InPlacePlan> same = PlanInPlace(kLoaded, kLoaded);
  ASSERT_TRUE(same);
  EXPECT_TRUE(same->alters.empty());
  EXPECT_EQ(same->run, dc);
  std::vector<std::string> next = With(3, "D1 2 0 DPWR temp=40.5");
  next[4] = "Q1 3 2 0 QA dtemp=12";
  next[6] = ".dc V1 3.5 3.5 1.00000000000000E+0000";
  std::optional<InPlacePlan> plan = PlanInPlace(kLoaded, next);
  ASSERT_TRUE(plan);
  ASSERT_EQ(plan->alters.size(), 2u);
  EXPECT_EQ(AlterCommand(plan->alters[0]), "alter @d1[temp] = 81/2");
  EXPECT_EQ(AlterCommand(plan->alters[1]), "alter @q1[dtemp] = 12");
  EXPECT_EQ(plan->run, "dc v1 3.5 3.5 1.00000000000000E+0000");
  EXPECT_EQ(TemperatureSettings(next).size(), 2u);
}

// The deck parser's reading, digit by digit then scaled by a power of ten, and the alter
// expression that gives exactly that double.
TEST(InPlacePlan, TemperaturesAreSetAsTheDeckParserReadsThem) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"27", 27},
      {"-1.5", -1.5},
      {".5", 0.5},
      {"+2.5e1", 25},
      {"1E-2", 1.0 * std::pow(10.0, -2)},
      {"0", 0},
      {"33.013", 33013 * std::pow(10.0, -3)},
      // Seventeen digits: the mantissa rounds while it is read; not what strtod gives.
      {"130.78203301786795", 13078203301786795.0 * std::pow(10.0, -14)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeckParserValue(c.text), c.value) << c.text;
    const TemperatureSetting setting{"d1", "temp", c.value};
    // The expression evaluated as ngspice does: integers, then exact scalings by powers of two.
    const std::string alter = AlterCommand(setting);
    const std::string expression = alter.substr(alter.find("= ") + 2);
    std::size_t at = expression.find_first_of("*/");
    double value = std::strtod(expression.substr(0, at).c_str(), nullptr);
    for (; at != std::string::npos;) {
      const std::size_t next = expression.find_first_of("*/", at + 1);
      const double factor = std::strtod(expression.substr(at + 1, next - at - 1).c_str(), nullptr);
      ASSERT_LE(factor, 1 << 20) << alter;
      value = expression[at] == '*' ? value * factor : value / factor;
      at = next;
    }
    EXPECT_EQ(value, c.value) << alter;
  }
  EXPECT_NE(*DeckParserValue("130.78203301786795"), std::strtod("130.78203301786795", nullptr));
  for (const char* text : {"", "-", "1k", "2meg", "{t}", "1e", "1.2.3", "e5"})
    EXPECT_FALSE(DeckParserValue(text)) << text;
  const TemperatureSetting temp{"d1", "temp", 0.1}, dtemp{"d1", "dtemp", 0.1};
  EXPECT_TRUE(ReadsAs((0.1 + 273.15) - 273.15, temp));  // kept in kelvin
  EXPECT_TRUE(ReadsAs(0.1, temp));
  EXPECT_FALSE(ReadsAs((0.1 + 273.15) - 273.15, dtemp));
  EXPECT_FALSE(ReadsAs(0.1000001, temp));
}

TEST(InPlacePlan, AnyOtherDifferenceLoadsAnew) {
  struct Case {
    std::size_t line;
    const char* text;
    const char* why;
  } cases[] = {
      {0, "Other title", "title"},
      {2, "R1 1 2 3", "another element value"},
      {3, "D1 2 0 DPWR dtemp=33.013", "temp= became dtemp="},
      {3, "D1 2 0 DPWR temp={t1}", "an expression"},
      {3, "D1 2 0 DPWR temp=40k", "a scale suffix"},
      {3, "D1 2 0 DPWR temp=33.013 area=2", "another word"},
      {3, "D2 2 0 DPWR temp=40", "another device"},
      {5, ".MODEL DPWR D(IS=3E-9)", "a model card"},
      {6, ".dc V2 2 2 1", "another source"},
      {6, ".dc V1 1 2 1", "a sweep of two points"},
      {6, ".dc V1 2 2 1 V2 0 1 1", "a nested sweep"},
      {7, ".nodeset v(2)=0.8", "a .nodeset line"},
      {7, "+ temp=40", "a continuation line"},
  };
  for (const Case& c : cases) EXPECT_FALSE(PlanInPlace(kLoaded, With(c.line, c.text))) << c.why;
  std::vector<std::string> longer = kLoaded;
  longer.insert(longer.begin() + 3, "R2 2 0 1k");
  EXPECT_FALSE(PlanInPlace(kLoaded, longer)) << "a line more";
  EXPECT_FALSE(PlanInPlace(With(6, ".tran 1u 1m"), With(6, ".tran 1u 1m"))) << "a transient";
  // Inside a subcircuit a temperature is the definition's, shared by its calls.
  const std::vector<std::string> sub = {
      "t", ".subckt S a", "D1 a 0 DX temp=30", ".ends", "X1 1 S", ".dc V1 1 1 1", ".end"};
  std::vector<std::string> subNext = sub;
  subNext[2] = "D1 a 0 DX temp=31";
  EXPECT_FALSE(PlanInPlace(sub, subNext));
}

TEST(InPlaceListing, OnlyLinesNoValueCanChangeAreRepeated) {
  EXPECT_TRUE(ListedLinesHoldForAnyValues(
      {"** asking ngspice which temperature parameter each T_ABS model takes (its \"no such "
       "parameter\" lines are answers) **",
       "Note: No compatibility mode selected!", "Circuit: power diode",
       "etherm-sim: model DPWR takes its temperature as temp="}));
  EXPECT_FALSE(ListedLinesHoldForAnyValues({"Circuit: t", "Warning: temp=400 out of range"}));
}

}  // namespace
}  // namespace etherm::sim
