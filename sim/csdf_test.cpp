// Number texts and the probe-data file.

#include "csdf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "number_text.h"

namespace etherm::sim {
namespace {

TEST(Numbers, Efloat) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {{2.5, "2.50000000e+000"},         {-1.2e-3, "-1.20000000e-003"},
               {0, "0.00000000e+000"},           {-0.0, "-0.00000000e+000"},
               {9.999999996, "1.00000000e+001"}, {1.23456789012e-300, "1.23456789e-300"},
               {1.5e300, "1.50000000e+300"},     {4.9e-324, "4.94065646e-324"}};
  for (const Case& c : cases) EXPECT_EQ(EfloatText(c.value), c.text) << c.value;
}

TEST(Numbers, ShortestTextReadsBackExactly) {
  for (double v : {0.0, 7.5, 1e-9, 0.1 + 0.2, 1.2000000000000002e-4, 12345678.9, -3.0e-12}) {
    std::string s = ShortestText(v);
    EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
    EXPECT_EQ(s.find(','), std::string::npos);
  }
  EXPECT_EQ(ShortestText(7.5), "7.5");
  EXPECT_EQ(ShortestText(1e-9), "1e-09");
}

TEST(Numbers, SpiceNumbers) {
  struct Case {
    const char* text;
    std::optional<double> value;
  } cases[] = {{"1.2345678E+0000", 1.2345678},
               {" 7.50000000000000E+0000", 7.5},
               {"-2E-0003", -2e-3},
               {"10u", 10e-6},
               {"4.7MEG", 4.7e6},
               {"3.3pF", 3.3e-12},
               {"1m", 1e-3},
               {"2k", 2e3},
               {"5V", 5.0},
               {"+.5", 0.5},
               {"1.5d3", 1500.0},
               {"1a", 1e-18},
               {"inf", std::nullopt},
               {"-nan", std::nullopt},
               {"{td-t1}", std::nullopt},
               {"abc", std::nullopt},
               {"1.2.3", std::nullopt},
               {"", std::nullopt}};
  for (const Case& c : cases) {
    std::optional<double> v = NumberWord(c.text);
    ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text;
    if (v) {
      EXPECT_NEAR(*v, *c.value, 1e-12 * std::fabs(*c.value)) << c.text;
    }
  }
}

TEST(Csdf, TransientText) {
  ProbeData d;
  d.title = "amp";
  d.transient = true;
  d.names = {"V(2)", "IB(Q1)"};
  d.x = {0, 1e-6};
  d.values = {{2.5, -1e-3}, {0, 12}};
  d.time = "12:34:56";
  d.date = "01/02/03";
  EXPECT_EQ(CsdfText(d),
            "#H\r\nSOURCE='etherm-sim' VERSION='1'\r\nTITLE='amp'\r\nSUBTITLE=''\r\n"
            "TIME='12:34:56' DATE='01/02/03' TEMPERATURE='27'\r\n"
            "ANALYSIS='Transient Analysis'\r\n"
            "ALLVALUES='NO' COMPLEXVALUES='NO' NODES='2'\r\nSWEEPVAR='Time'\r\n"
            "XBEGIN='0' XEND='1e-06'\r\n"
            "FORMAT='0 VOLTSorAMPS;EFLOAT : NODEorBRANCH;NODE  '\r\nDGTLDATA='NO'\r\n#N\r\n"
            "'V(2)' 'IB(Q1)'\r\n"
            "#C 0 2\r\n2.50000000e+000:1   -1.00000000e-003:2   \r\n"
            "#C 1e-06 2\r\n0.00000000e+000:1   1.20000000e+001:2   \r\n"
            "#;\r\n");
}

}  // namespace
}  // namespace etherm::sim
