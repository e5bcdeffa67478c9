#include "spice_text/subcircuit_call.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace etherm::spice {
namespace {

std::vector<std::string> Texts(const std::vector<Field>& fields) {
  std::vector<std::string> texts;
  for (const Field& f : fields) texts.emplace_back(f.text);
  return texts;
}

std::vector<std::string> Entries(const std::vector<Parameter>& parameters) {
  std::vector<std::string> entries;
  for (const Parameter& p : parameters) {
    entries.push_back(std::string(p.name.text) + "=" + std::string(p.value.text) + "@" +
                      std::to_string(p.whole.offset));
  }
  return entries;
}

TEST(SubcircuitCall, ReadsNodesNameAndParameters) {
  using V = std::vector<std::string>;
  const struct {
    std::string_view line;
    V nodes;
    std::string_view subcircuit, keyword;
    V entries;
    std::string_view problem;
  } cases[] = {
      {"X1 4 5 6 QSUB PARAMS: t=27", {"4", "5", "6"}, "QSUB", "PARAMS:", {"t=27@22"}, ""},
      {"x1 4 5 qsub params: t=0", {"4", "5"}, "qsub", "params:", {"t=0@20"}, ""},
      {"X1 4 5 QSUB PARAMS:t=27 r=1k", {"4", "5"}, "QSUB", "PARAMS:", {"t=27@19", "r=1k@24"}, ""},
      {"X1 4 5 QSUB  Params:  t = 27 ,r= {2*a}  w =1u",
       {"4", "5"},
       "QSUB",
       "Params:",
       {"t=27@22", "r={2*a}@30", "w=1u@40"},
       ""},
      {"X1\t4\t5\tQSUB\tPARAMS:\tt=27", {"4", "5"}, "QSUB", "PARAMS:", {"t=27@20"}, ""},
      {"X1 4 5 QSUB t=27 r=1k", {"4", "5"}, "QSUB", "", {"t=27@12", "r=1k@17"}, ""},
      {"X1 4 5 QSUB t = 27", {"4", "5"}, "QSUB", "", {"t=27@12"}, ""},
      {"X1 4 5 QSUB PARAMS: t=27 ; room", {"4", "5"}, "QSUB", "PARAMS:", {"t=27@20"}, ""},
      {"X1 4 5 QSUB", {"4", "5"}, "QSUB", "", {}, ""},
      {"X1 4 5 QSUB PARAMS:", {"4", "5"}, "QSUB", "PARAMS:", {}, ""},
      {"Xamp in out {big}", {"in", "out"}, "{big}", "", {}, ""},
      {"X1 a:b 5 QSUB PARAMS: t=1", {"a:b", "5"}, "QSUB", "PARAMS:", {"t=1@22"}, ""},
      {"X1 PARAMS: t=1", {}, "", "PARAMS:", {}, "no subcircuit name"},
      {"X1", {}, "", "", {}, "no subcircuit name"},
      {"X1 4 QSUB PARAMS: t=1)",
       {"4"},
       "QSUB",
       "PARAMS:",
       {"t=1@18"},
       "\")\" in the parameter list"},
  };
  for (const auto& c : cases) {
    const std::optional<SubcircuitCall> call = ParseSubcircuitCall(c.line);
    ASSERT_TRUE(call) << c.line;
    EXPECT_EQ(call->instance.offset, c.line.find_first_not_of(" \t")) << c.line;
    EXPECT_EQ(Texts(call->nodes), c.nodes) << c.line;
    EXPECT_EQ(call->subcircuit.text, c.subcircuit) << c.line;
    EXPECT_EQ(call->paramsKeyword.text, c.keyword) << c.line;
    EXPECT_EQ(Entries(call->parameters), c.entries) << c.line;
    EXPECT_EQ(call->problem, c.problem) << c.line;
  }
}

TEST(SubcircuitCall, OtherLinesAreNoCalls) {
  for (std::string_view line : {"", "  ", "R1 1 0 1k", "* X1 4 5 QSUB", ".subckt QSUB 1 2"}) {
    EXPECT_FALSE(ParseSubcircuitCall(line)) << line;
  }
}

TEST(SubcircuitCall, ReplacingTheParametersKeepsTheCall) {
  std::string line = "X1 4 5 6 QSUB PARAMS: t=27 r=1k";
  const SubcircuitCall call = *ParseSubcircuitCall(line);
  const std::size_t colon = call.paramsKeyword.end() - 1;
  line = line.substr(0, colon) + ": t=  77.500";
  EXPECT_EQ(line, "X1 4 5 6 QSUB PARAMS: t=  77.500");
}

}  // namespace
}  // namespace etherm::spice
