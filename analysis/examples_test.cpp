// The bundled examples run to their end with plausible heating.
#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

constexpr char kExamples[] = ETHERM_EXAMPLES_DIR;

void CopyExample(const std::string& name) {
  for (const char* extension : {".cir", ".par"}) {
    std::filesystem::copy_file(std::string(kExamples) + "/" + name + "/" + name + extension,
                               name + extension);
  }
}

TEST_F(AnalysisTest, BjtPairExample) {
  CopyExample("bjt_pair_dc");
  state().baseName = "bjt_pair_dc";
  RunDcAnalysis(state());
  const auto temperatures = Numbers("bjt_pair_dc.tem", 0);
  ASSERT_EQ(temperatures.size(), 8u);  // 1 to 4.5 V in steps of 0.5 V
  for (const auto& row : temperatures) {
    ASSERT_EQ(row.size(), 3u);
    EXPECT_GT(row[1], 295);
    EXPECT_LT(row[1], 450);
  }
  EXPECT_GT(temperatures.back()[1], 320);
}

TEST_F(AnalysisTest, MosfetSwitchExample) {
  CopyExample("mosfet_switch_tran");
  state().baseName = "mosfet_switch_tran";
  RunTransientAnalysis(state());
  const auto temperatures = Numbers("mosfet_switch_tran.tem", 2);
  ASSERT_FALSE(temperatures.empty());
  EXPECT_GE(temperatures.back()[0], 0.006);
  EXPECT_GT(temperatures.back()[1], 305);
}

}  // namespace
}  // namespace etherm
