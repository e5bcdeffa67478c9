#include "spice_text/spice_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string_view>

namespace etherm::spice {
namespace {

struct NumberCase {
  std::string_view text;
  std::optional<double> value;
  std::size_t used;
};

// Expected values are the correctly rounded doubles of the decimal text.
TEST(SpiceNumber, ReadsNumbersAsNgspiceDoes) {
  const NumberCase cases[] = {
      {"0", 0.0, 1},
      {"12", 12.0, 2},
      {"-44", -44.0, 3},
      {"3.14159", 3.14159, 7},
      {".5", 0.5, 2},
      {"+.5", 0.5, 3},
      {"5.", 5.0, 2},
      {"1e-14", 1e-14, 5},
      {"2.65E3", 2650.0, 6},
      {"1.5d3", 1500.0, 5},
      {"1.5D-3", 1.5e-3, 6},
      {"1e", 1.0, 2},
      {"1e+", 1.0, 3},
      {"-1e-3meg", -1e3, 8},
      {" 7.50000000000000E+0000", std::nullopt, 0},  // no blanks skipped here
      {"2T", 2e12, 2},
      {"2t", 2e12, 2},
      {"2G", 2e9, 2},
      {"2Meg", 2e6, 4},
      {"2MEG", 2e6, 4},
      {"2meg", 2e6, 4},
      {"2K", 2e3, 2},
      {"2k", 2e3, 2},
      {"2M", 2e-3, 2},
      {"2m", 2e-3, 2},
      {"2u", 2e-6, 2},
      {"2U", 2e-6, 2},
      {"2n", 2e-9, 2},
      {"2p", 2e-12, 2},
      {"2f", 2e-15, 2},
      {"2F", 2e-15, 2},
      {"1a", 1e-18, 2},
      {"1A", 1e-18, 2},
      {"1mil", 25.4e-6, 4},
      {"1MIL", 25.4e-6, 4},
      {"2me", 2e-3, 2},  // "me" is milli and a unit letter, not mega
      {"10uF", 10e-6, 3},
      {"5V", 5.0, 1},
      {"1kHz", 1e3, 2},
      {"1MegOhm", 1e6, 4},
      {"1k5", 1e3, 2},
      {"1.2.3", 1.2, 3},
      {"0e999", 0.0, 5},
      {"1e-400", 0.0, 6},
      {"1e400", std::nullopt, 5},
      {"-1e400", std::nullopt, 6},
      {"1e99999999999999999999", std::nullopt, 22},
      {"1e308k", std::nullopt, 6},
      {"", std::nullopt, 0},
      {"-", std::nullopt, 0},
      {".", std::nullopt, 0},
      {"+-1", std::nullopt, 0},
      {"e3", std::nullopt, 0},
      {"inf", std::nullopt, 0},
      {"nan", std::nullopt, 0},
      {"{td}", std::nullopt, 0},
      {"abc", std::nullopt, 0},
  };
  for (const NumberCase& c : cases) {
    const ParsedNumber number = ParseSpiceNumber(c.text);
    EXPECT_EQ(number.value, c.value) << c.text;
    EXPECT_EQ(number.used, c.used) << c.text;
  }
}

TEST(SpiceNumber, KeepsTheSignOfZeroAndRoundsOnce) {
  EXPECT_TRUE(std::signbit(*ParseSpiceNumber("-0").value));
  // 0.1 scaled by milli is the double nearest 1e-4, not 0.1 * 0.001.
  EXPECT_EQ(*ParseSpiceNumber("0.1m").value, 1e-4);
  EXPECT_EQ(*ParseSpiceNumber("100000000000000000000000000001").value, 1e29);
}

TEST(SpiceNumber, WordIsANumberWithAtMostUnitLetters) {
  const struct {
    std::string_view word;
    std::optional<double> value;
  } cases[] = {
      {"10u", 10e-6},
      {" 7.50000000000000E+0000", 7.5},
      {"-2E-0003\r\n", -2e-3},
      {"3.3pF", 3.3e-12},
      {"1.5d3", 1500.0},
      {"1a", 1e-18},
      {"1e", 1.0},
      {"1k5", std::nullopt},
      {"1.2.3", std::nullopt},
      {"2*3", std::nullopt},
      {"10%", std::nullopt},
      {"{td-t1}", std::nullopt},
      {"1e400", std::nullopt},
      {"inf", std::nullopt},
      {"-nan", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(SpiceNumberWord(c.word), c.value) << c.word;
}

}  // namespace
}  // namespace etherm::spice
