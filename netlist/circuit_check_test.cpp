#include "netlist/circuit_check.h"

#include <gtest/gtest.h>

#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm {
namespace {

using testing::CrLfLines;
using testing::FailureOf;
using testing::ScratchFolder;
using testing::WriteBytes;

TEST(CircuitCheckTest, EveryDeviceMustBeReachableAndTheProbeListPresent) {
  struct Case {
    std::vector<std::string> circuit;
    const char* refusal;  // nullptr: accepted
  } cases[] = {
      {{"t", ".MODEL QN NPN(T_ABS=27)", "X1 1 2 3 qsub PARAMS: t=27", ".PROBE/CSDF V(1) I(R)"},
       nullptr},
      {{"t", ".model QN npn(T_ABS=27)", "x1 1 2 QSUB params: t=0", ".probe V(1) I(R)"}, nullptr},
      {{"t", ".MODEL QN NPN(T_ABS=27)", "X1 1 2 3 QSUB PARAMS: t=27"}, "has no .PROBE line"},
      {{"t", ".MODEL qn NPN(T_ABS=27)", "X1 1 2 3 QSUB PARAMS: t=27", ".PROBE V(1) I(R)"},
       "no .MODEL line named QN (case included)"},
      // A call without PARAMS: gets no temperature from the writer.
      {{"t", ".MODEL QN NPN(T_ABS=27)", "X1 1 2 3 QSUB", ".PROBE V(1) I(R)"},
       "whose name in upper case is QSUB, so device 2"},
      // The name is the word before PARAMS:, not any word of the call.
      {{"t", ".MODEL QN NPN(T_ABS=27)", "X1 QSUB 2 3 OTHER PARAMS: t=1", ".PROBE V(1) I(R)"},
       "is QSUB, so device 2"},
  };
  for (const auto& c : cases) {
    ScratchFolder folder;
    AnalysisState state;
    state.baseName = folder.File("c");
    state.deviceCount = 2;
    state.deviceName[1] = NameField::From("QN");
    state.deviceName[2] = NameField::From("QSUB");
    state.probeNodeCount = 3;
    WriteBytes(state.baseName + ".cir", CrLfLines(c.circuit));
    const std::string text = FailureOf([&] { CheckCircuitForProblem(state); });
    if (c.refusal == nullptr) {
      EXPECT_EQ(text, "no failure") << c.circuit[1];
    } else {
      EXPECT_NE(text.find(c.refusal), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace etherm
