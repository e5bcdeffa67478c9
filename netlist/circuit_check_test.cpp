#include "netlist/circuit_check.h"

#include <gtest/gtest.h>

#include "netlist/test_support.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm {
namespace {

using testing::CrLfLines;
using testing::FailureOf;
using testing::ScratchFolder;
using testing::WriteBytes;

TEST(CircuitCheckTest, CircuitsThatWouldGiveAWrongAnalysisAreRefused) {
  const std::string kModel = ".MODEL QN NPN(T_ABS=27)";
  const std::string kCall = "X1 1 2 3 QSUB PARAMS: t=27";
  const std::string kProbe = ".PROBE/CSDF V(1) I(R)";
  const std::string kDc = ".DC V1 -1 8 1";
  const std::string kTran = ".TRAN 1n 100u";
  const auto dc = AnalysisKind::kDc;
  const auto tran = AnalysisKind::kTransient;
  struct Case {
    AnalysisKind analysis;
    std::vector<std::string> circuit;
    const char* refusal;  // nullptr: accepted
    int probeNodeCount = 3;
  };
  // clang-format off
  const Case cases[] = {
      {dc, {"t", kModel, kCall, kProbe, kDc}, nullptr},
      {tran, {"t", ".model QN npn(T_ABS=27)", "x1 1 2 QSUB params: t=0", ".probe V(1) I(R)", kTran},
       nullptr},
      {dc, {"t", kModel, kCall, kDc}, "has no .PROBE line"},
      {dc, {"t", ".MODEL qn NPN(T_ABS=27)", kCall, kProbe, kDc},
       "no .MODEL line named QN (case included)"},
      // A call without PARAMS: gets no temperature from the writer.
      {dc, {"t", kModel, "X1 1 2 3 QSUB", kProbe, kDc}, "whose name in upper case is QSUB, so device 2"},
      // The name is the word before PARAMS:, not any word of the call.
      {dc, {"t", kModel, "X1 QSUB 2 3 OTHER PARAMS: t=1", kProbe, kDc}, "is QSUB, so device 2"},
      // The temperature would replace a value of the device.
      {dc, {"t", ".MODEL QN D(IS=2.5E-9 RS=1)", kCall, kProbe, kDc},
       ": .MODEL line of QN whose first parameter is IS=2.5E-9, not T_ABS=; the first parameter "
       "receives the device temperature, so IS=2.5E-9 would be lost: .MODEL QN D(IS=2.5E-9 RS=1)"},
      {tran, {"t", kModel, "X1 1 2 3 QSUB PARAMS: area=2", kProbe, kTran},
       "subcircuit call of QSUB without t= among its PARAMS: values"},
      {dc, {"t", ".MODEL QN NPN", kCall, kProbe, kDc}, "without \"(\" after its type"},
      {dc, {"t", ".MODEL QN NPN(T_ABS=27) ; note", "X1 1 2 3 QSUB PARAMS:", kProbe, kDc}, nullptr},
      // Without the analysis line every point would be recorded at 0.
      {dc, {"t", kModel, kCall, kProbe, kTran}, "\" has no .DC line naming the swept source"},
      {dc, {"t", kModel, kCall, kProbe, ".DC"}, "has no .DC line"},
      {tran, {"t", kModel, kCall, kProbe, kDc}, "\" has no .TRAN line (\".TRAN\", a blank"},
      {tran, {"t", kModel, kCall, kProbe, ".TRAN/OP 1n 100u"}, "has no .TRAN line"},
      {tran, {"t", kModel, kCall, kProbe, ".TRAN 0 100u"},
       ".TRAN line whose print step is not a number above 0: .TRAN 0 100u"},
      // More than 4 node quantities only with a .NODESET line, which carries them.
      {dc, {"t", kModel, kCall, kProbe, kDc}, nullptr, 6},
      {dc, {"t", kModel, kCall, kProbe, kDc, ".nodeset V(1)=0"},
       "has a .NODESET line, and the problem file asks for 5 node quantities; a .NODESET line "
       "carries at most 4",
       5},
      {dc, {"t", kModel, kCall, kProbe, kDc, ".NODESET V(1)=0"}, nullptr, 4},
      {tran, {"t", kModel, kCall, kProbe, kTran, ".NODESET V(1)=0"}, nullptr, 6},
  };
  // clang-format on
  for (const auto& c : cases) {
    ScratchFolder folder;
    const std::string baseName = folder.File("c");
    Problem problem;
    problem.devices.assign(2, Device{});
    problem.devices[0].name = NameField::From("QN");
    problem.devices[1].name = NameField::From("QSUB");
    testing::SetProbeNodeCount(problem, c.probeNodeCount);
    WriteBytes(baseName + ".cir", CrLfLines(c.circuit));
    const std::string text =
        FailureOf([&] { CheckCircuitForProblem(problem, baseName, c.analysis); });
    if (c.refusal == nullptr) {
      EXPECT_EQ(text, "no failure") << c.circuit[1] << " / " << c.circuit.back();
    } else {
      EXPECT_NE(text.find(c.refusal), std::string::npos) << text;
      EXPECT_EQ(text.rfind("Circuit file \"" + baseName + ".cir\"", 0), 0u) << text;
    }
  }
}

}  // namespace
}  // namespace etherm
