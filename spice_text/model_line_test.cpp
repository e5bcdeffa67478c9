#include "spice_text/model_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace etherm::spice {
namespace {

// Each parameter as name, '=' when written, value, and where the entry starts.
std::vector<std::string> Entries(const std::vector<Parameter>& parameters) {
  std::vector<std::string> entries;
  for (const Parameter& p : parameters) {
    entries.push_back(std::string(p.name.text) + (p.hasEquals ? "=" : "") +
                      std::string(p.value.text) + "@" + std::to_string(p.whole.offset));
  }
  return entries;
}

TEST(ModelLine, ReadsNameTypeAndParameters) {
  const struct {
    std::string_view line;
    std::string_view name, type;
    bool open, close;
    std::vector<std::string> entries;
    std::string_view problem;
  } cases[] = {
      {".MODEL QN NPN(T_ABS=27 IS=1E-14 BF=100)",
       "QN",
       "NPN",
       true,
       true,
       {"T_ABS=27@14", "IS=1E-14@23", "BF=100@32"},
       ""},
      {".model qn npn (t_abs=27, is=1e-14)",
       "qn",
       "npn",
       true,
       true,
       {"t_abs=27@15", "is=1e-14@25"},
       ""},
      {"  .Model D1 D IS=1e-14 N = 1.5", "D1", "D", false, false, {"IS=1e-14@14", "N=1.5@23"}, ""},
      {".MODEL QN NPN( IS=1E-14)", "QN", "NPN", true, true, {"IS=1E-14@15"}, ""},
      {".model m1 nmos(level=1 vto={vt*2} kp='k p')",
       "m1",
       "nmos",
       true,
       true,
       {"level=1@15", "vto={vt*2}@23", "kp='k p'@34"},
       ""},
      {".model d1 d(is=1e-14 rs=2) ; fitted",
       "d1",
       "d",
       true,
       true,
       {"is=1e-14@12", "rs=2@21"},
       ""},
      {".model d1 d(is= rs=2)", "d1", "d", true, true, {"is=@12", "rs=2@16"}, ""},
      {".MODEL QN NPN(T_ABS=27 IS=1E-14",
       "QN",
       "NPN",
       true,
       false,
       {"T_ABS=27@14", "IS=1E-14@23"},
       ""},
      {".model", "", "", false, false, {}, "no model name"},
      {".model qn", "qn", "", false, false, {}, "no model type"},
      {".model qn npn is=1)", "qn", "npn", false, true, {"is=1@14"}, "\")\" without \"(\""},
      {".model qn npn(is=1) bf=3",
       "qn",
       "npn",
       true,
       true,
       {"is=1@14"},
       "text after the \")\" of the parameter list"},
  };
  for (const auto& c : cases) {
    const std::optional<ModelLine> model = ParseModelLine(c.line);
    ASSERT_TRUE(model) << c.line;
    EXPECT_EQ(model->name.text, c.name) << c.line;
    EXPECT_EQ(model->type.text, c.type) << c.line;
    EXPECT_EQ(model->open.has_value(), c.open) << c.line;
    EXPECT_EQ(model->close.has_value(), c.close) << c.line;
    EXPECT_EQ(model->continues, c.open && !c.close) << c.line;
    EXPECT_EQ(Entries(model->parameters), c.entries) << c.line;
    EXPECT_EQ(model->problem, c.problem) << c.line;
  }
}

TEST(ModelLine, OtherLinesAreNoModelLines) {
  for (std::string_view line :
       {"", "* .model qn npn", ".modelx qn npn", ".MODE qn npn", "R1 1 0 .model", "+ .model a b"}) {
    EXPECT_FALSE(ParseModelLine(line)) << line;
  }
}

TEST(ModelLine, ReplacingTheFirstParameterKeepsTheRest) {
  std::string line = ".model QN NPN(T_ABS = 27  IS=1E-14,BF=100)  ";
  const ModelLine model = *ParseModelLine(line);
  const Field first = model.parameters.front().whole;
  line.replace(first.offset, first.text.size(), "t_abs=77.500");
  EXPECT_EQ(line, ".model QN NPN(t_abs=77.500  IS=1E-14,BF=100)  ");
}

TEST(ModelLine, LongLineAndContinuation) {
  // Offsets beyond any fixed line buffer stay exact.
  std::string line = ".model QN NPN(T_ABS=27";
  for (int i = 0; line.size() < 300; ++i) line += " P" + std::to_string(i) + "=" + "1.5";
  const std::size_t lastStart = line.rfind(' ') + 1;
  line += ")";
  const ModelLine model = *ParseModelLine(line);
  EXPECT_TRUE(model.problem.empty());
  EXPECT_EQ(*model.close, line.size() - 1);
  EXPECT_EQ(model.parameters.back().whole.offset, lastStart);
  EXPECT_EQ(model.parameters.back().value.text, "1.5");

  const ModelLine first = *ParseModelLine(".MODEL QN NPN(T_ABS=27 IS=1E-14");
  EXPECT_TRUE(first.continues);
  const ParameterList rest = ParseParameters("+ BF=100 VAF = 50)", 1);
  EXPECT_EQ(Entries(rest.parameters), (std::vector<std::string>{"BF=100@2", "VAF=50@9"}));
  EXPECT_EQ(rest.close, 17u);
  EXPECT_EQ(FindParameter(rest.parameters, "vaf")->value.text, "50");
  EXPECT_EQ(FindParameter(rest.parameters, "is"), nullptr);
}

}  // namespace
}  // namespace etherm::spice
