#include "textio/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "textio/time_of_day.h"
#include "textio/upper_case.h"

namespace etherm {
namespace {

struct ExponentCase {
  double x;
  int width;
  const char* text;
};

TEST(NumberText, ExponentForm) {
  const double inf = std::numeric_limits<double>::infinity();
  const ExponentCase cases[] = {
      {1.5, 23, " 1.50000000000000E+0000"},
      {-0.0025, 23, "-2.50000000000000E-0003"},
      {300, 23, " 3.00000000000000E+0002"},
      {9.999999999999999, 23, " 1.00000000000000E+0001"},
      {0, 23, " 0.00000000000000E+0000"},
      {-0.0, 23, "-0.00000000000000E+0000"},
      {300, 16, " 3.0000000E+0002"},
      // Ties are decided on the 18-digit expansion, away from zero: 0.125 is exact.
      {0.125, 10, " 1.3E-0001"},
      {-0.125, 10, "-1.3E-0001"},
      {2.5, 9, " 2.5E+0000"},  // n = 1 is raised to 2 digits
      {99999999.5, 16, " 1.0000000E+0008"},
      {1.2345678901234567, 26, " 1.23456789012345669E+0000"},  // 18 digits, no rounding
      {1e-300, 23, " 1.00000000000000E-0300"},
      {1.7976931348623157e308, 23, " 1.79769313486232E+0308"},
      {4.9406564584124654e-324, 23, " 4.94065645841247E-0324"},
      {123.0, 30, "     1.23000000000000000E+0002"},
      {std::nan(""), 23, "                    Nan"},
      {inf, 23, "                   +Inf"},
      {-inf, 6, "  -Inf"},
      {1.5, 2, " 1.5E+0000"},  // never cut
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatExponent(c.x, c.width), c.text) << c.x << " width " << c.width;
  }
}

TEST(NumberText, ExponentFormAgreesWithPrintfAwayFromTies) {
  // Away from decimal ties the 18-digit expansion rounds like printf's exact rounding.
  char expected[64];
  for (int e = -300; e <= 300; e += 7) {
    const double x = 1.2345678901234567 * std::pow(10.0, e);
    std::snprintf(expected, sizeof expected, "% .14E", x);
    std::string s(expected);
    // printf writes at least two exponent digits; the file form has four.
    const auto epos = s.find('E');
    std::string exp = s.substr(epos + 2);
    s = s.substr(0, epos + 2) + std::string(4 - exp.size(), '0') + exp;
    EXPECT_EQ(FormatExponent(x, 23), s);
  }
}

struct FixedCase {
  double x;
  int width;
  int decimals;
  const char* text;
};

TEST(NumberText, FixedForm) {
  const FixedCase cases[] = {
      {1.5, 8, 3, "   1.500"},
      {12345.678, 8, 3, "12345.678"},
      {300, 3, 3, "300.000"},
      {0, 12, 10, "0.0000000000"},
      {9e-5, 0, 10, "0.0000900000"},
      {25, 12, 10, "25.0000000000"},
      {-0.0004, 8, 3, "  -0.000"},
      {-22.0, 8, 3, " -22.000"},
      {22.0, 3, 3, "22.000"},
      {0.0005, 0, 3, "0.001"},  // the 17-decimal expansion 0.00050000000000000 ties upward
      {9.9996, 0, 3, "10.000"},
      {999.9995, 0, 3, "1000.000"},  // 999.99950000000001182 rounds up
      {0.00125, 12, 10, "0.0012500000"},
      {1e35, 0, 0, "99999999999999996900000000000000000"},
      {1e36, 16, 3, " 1.0000000E+0036"},
      {-2.5, 0, 0, "-3"},
      {std::nan(""), 6, 2, "   Nan"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatReal(c.x, c.width, c.decimals), c.text) << c.x;
  }
}

TEST(NumberText, FormatInteger) {
  EXPECT_EQ(FormatInteger(7, 2), " 7");
  EXPECT_EQ(FormatInteger(12, 1), "12");
  EXPECT_EQ(FormatInteger(-7, 0), "-7");
  EXPECT_EQ(FormatInteger(0, 3), "  0");
}

TEST(NumberText, ParseInteger) {
  struct Case {
    const char* text;
    std::int32_t value;
    int errorPosition;
  } cases[] = {
      {"42", 42, 0},
      {"  -7", -7, 0},
      {"+13", 13, 0},
      {"$1F", 31, 0},
      {"0x10", 16, 0},
      {"X10", 16, 0},
      {"-$10", -16, 0},
      {"$FFFFFFFF", -1, 0},
      {"2147483647", 2147483647, 0},
      {"-2147483648", -2147483647 - 1, 0},
      {"2147483648", 214748364, 10},
      {"", 0, 1},
      {"-", 0, 2},
      {"12a", 12, 3},
      {"-12a", 12, 4},
      {"1 ", 1, 2},
      {"1.5", 1, 2},
      {"$G", 0, 2},
  };
  for (const auto& c : cases) {
    const ParsedInteger p = ParseInteger(c.text);
    EXPECT_EQ(p.value, c.value) << '"' << c.text << '"';
    EXPECT_EQ(p.errorPosition, c.errorPosition) << '"' << c.text << '"';
  }
}

TEST(NumberText, RealTokens) {
  struct Case {
    const char* token;
    bool ok;
    double value;
  } cases[] = {
      {"1.5", true, 1.5},        {"-2.5E-0003", true, -0.0025},
      {"+3", true, 3},           {"5.", true, 5},
      {".5", true, 0.5},         {".", true, 0},
      {"1.0e+000", true, 1},     {"1e400", false, 0},
      {"1e-400", true, 0},       {"1,5", false, 0},
      {"1.5e-3:2", false, 0},    {"--1", false, 0},
      {"1e", false, 0},          {"e5", false, 0},
      {"-", false, 0},           {"1.2.3", false, 0},
      {"12e+0005", true, 1.2e6}, {"Nan", false, 0},
  };
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_EQ(ParseRealToken(c.token, &v), c.ok) << c.token;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.token;
    }
  }
  double v;
  ASSERT_TRUE(ParseRealToken("-.", &v));
  EXPECT_TRUE(std::signbit(v));
}

TEST(NumberText, UpperCaseOnlyAsciiLetters) {
  EXPECT_EQ(UpperCase('q'), 'Q');
  EXPECT_EQ(UpperCase('Q'), 'Q');
  EXPECT_EQ(UpperCase('1'), '1');
  EXPECT_EQ(UpperCase('\xEA'), '\xEA');  // Windows-1250 small e with ogonek stays
}

TEST(NumberText, TimeOfDayText) {
  const std::string t = TimeOfDayText();
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[2], ':');
  EXPECT_EQ(t[5], ':');
  for (int i : {0, 1, 3, 4, 6, 7}) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(t[i])));
}

}  // namespace
}  // namespace etherm

namespace etherm {
namespace {

// The reference: round the exact 18-digit expansion half away from zero, written out plainly.
std::string ReferenceExponent(double x, int w) {
  int n = std::clamp(w - 8, 2, 18);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(x));
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 17);
  int exponent = std::atoi(buf + 20);
  if (buf[19] == '-') exponent = -exponent;
  if (x == 0) exponent = 0;
  std::string kept = digits.substr(0, static_cast<size_t>(n));
  if (n < 18 && digits[static_cast<size_t>(n)] >= '5') {
    int i = n - 1;
    while (i >= 0 && kept[static_cast<size_t>(i)] == '9') kept[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      kept.insert(kept.begin(), '1');
      kept.pop_back();
      ++exponent;
    } else {
      ++kept[static_cast<size_t>(i)];
    }
  }
  char e[16];
  std::snprintf(e, sizeof e, "E%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string text = std::string(std::signbit(x) ? "-" : " ") + kept[0] + "." + kept.substr(1) + e;
  if (static_cast<int>(text.size()) < w) text.insert(0, static_cast<size_t>(w) - text.size(), ' ');
  return text;
}

TEST(NumberText, ExponentFormMatchesTheExactExpansionEverywhere) {
  // Random doubles of every exponent, and values next to decimal halfway points, where the
  // double's own spacing decides the rounding.
  std::mt19937_64 rng(7);
  std::vector<double> values;
  for (int i = 0; i < 50000; ++i) {
    double x;
    const std::uint64_t bits = rng();
    std::memcpy(&x, &bits, sizeof x);
    if (std::isfinite(x)) values.push_back(x);
  }
  for (int i = 0; i < 5000; ++i) {
    const double tie = (1 + static_cast<double>(rng() % 899999999999999ull) + 0.5) * 1e-14;
    const double scale = std::pow(10.0, static_cast<int>(rng() % 40) - 20);
    for (double x = std::nextafter(tie * scale, 0), k = 0; k < 3; ++k, x = std::nextafter(x, 100)) {
      values.push_back(x);
    }
  }
  for (double x : values) {
    for (int w : {23, 16, 24, 25}) ASSERT_EQ(FormatExponent(x, w), ReferenceExponent(x, w)) << x;
  }
}

}  // namespace
}  // namespace etherm

namespace etherm {
namespace {

TEST(NumberText, RealTokensReadAsStrtodReadsThem) {
  // The system's own forms and others, over every exponent: the value must be the correctly
  // rounded one, as strtod gives it.
  std::mt19937_64 rng(11);
  for (int i = 0; i < 50000; ++i) {
    double x;
    const std::uint64_t bits = rng();
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    char other[64];
    std::snprintf(other, sizeof other, "%.*g", static_cast<int>(rng() % 19) + 1, x);
    for (const std::string& text : {FormatExponent(x, 23), FormatExponent(x, 16),
                                    std::string(other), FormatReal(std::fmod(x, 1e6), 0, 10)}) {
      std::string token = text.substr(text.find_first_not_of(' '));
      const double want = std::strtod(token.c_str(), nullptr);
      if (std::isinf(want)) continue;  // rounded beyond the largest double: refused, as tested
      double got;
      ASSERT_TRUE(ParseRealToken(token, &got)) << token;
      ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << token;
    }
  }
  for (const char* token :
       {"123456789012345678901234567890", "0.000000000000000000001234", "9007199254740993",
        "1.0000000000000000000000001", "00000000000000000000001e5"}) {
    double got;
    ASSERT_TRUE(ParseRealToken(token, &got)) << token;
    EXPECT_EQ(got, std::strtod(token, nullptr)) << token;
  }
}

}  // namespace
}  // namespace etherm
