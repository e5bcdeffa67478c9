#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "model/analysis_state.h"
#include "netlist/dc_circuit_writer.h"
#include "netlist/test_support.h"
#include "netlist/transient_circuit_writer.h"
#include "textio/failure.h"

namespace etherm {
namespace {

using testing::CrLfLines;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::SetUpState;
using testing::WriteBytes;
using testing::WriteResults;

// The fixture circuit: a BJT with a .MODEL line (QN) and a power subcircuit (QPOW) that are
// modelled, an opamp subcircuit and a diode model that are not, a pulse source, an inductor
// and a capacitor; four node quantities on the .PROBE line.
class StageCircuitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file("testdata/stage.cir", folder_.path() / "stage.cir");
    state_.baseName = (folder_.path() / "stage").string();
    state_.problem.devices.assign(2, Device{});
    state_.problem.devices[0].name = NameField::From("QN");
    state_.problem.devices[1].name = NameField::From("QPOW");
    state_.deviceTemperature[1] = 295.0;
    state_.deviceTemperature[2] = 295.0;
    testing::SetProbeNodeCount(state_.problem, 4);
    state_.problem.inductorCount = 1;
    state_.problem.capacitorCount = 1;
    state_.probeNodeNames.Fill(120);
    state_.iterationNumber = 1;
  }
  void LaterTemperatures() {
    state_.deviceTemperature[1] = 310.25;
    state_.deviceTemperature[2] = 350.5;
  }
  std::string Written() { return ReadBytes(state_.baseName + state_.iterationText + ".cir"); }
  static std::string Expected(const char* name) {
    return ReadBytes(std::filesystem::path("testdata") / name);
  }

  ScratchFolder folder_;
  testing::WriterSetup state_;
};

TEST_F(StageCircuitTest, FirstDcPoint) {
  state_.problem.sweepStart = state_.sweepValue = 10.0;
  state_.problem.sweepStep = 0.5;
  WriteDcCircuitFile(state_);
  EXPECT_EQ(state_.iterationText, "1");
  EXPECT_EQ(Written(), Expected("stage_dc_first.expected"));
  EXPECT_EQ(state_.probeNodeNames.Text().substr(0, 21), "V(3) V(4) V(6) V(7)  ");
}

TEST_F(StageCircuitTest, LaterDcPoint) {
  state_.problem.sweepStart = state_.sweepValue = 10.0;
  state_.problem.sweepStep = 0.5;
  WriteDcCircuitFile(state_);  // the node-set line comes first: it uses the names found here

  LaterTemperatures();
  state_.iterationNumber = 12;
  state_.sweepValue = 11.0;
  state_.previousNodeValue = {0.0, 0.71, 5.5, 1.25, -0.003};
  WriteDcCircuitFile(state_);
  EXPECT_EQ(Written(), Expected("stage_dc_later.expected"));
}

TEST_F(StageCircuitTest, FirstTransientWindow) {
  state_.windowStartTime = 0.0;
  state_.windowEndTime = 9e-05;
  WriteBytes(state_.baseName + ".wyn", "");
  WriteTransientCircuitFile(state_);
  EXPECT_EQ(Written(), Expected("stage_tran_first.expected"));
  EXPECT_EQ(state_.probeNodeNames.Text(), "V(3) V(4) V(6) V(7) " + std::string(100, ' '));
  EXPECT_EQ(state_.startTimeText, "0.0000000000");
}

TEST_F(StageCircuitTest, LaterTransientWindow) {
  state_.windowStartTime = 0.0;
  state_.windowEndTime = 9e-05;
  WriteBytes(state_.baseName + ".wyn", "");
  WriteTransientCircuitFile(state_);  // captures the probe list

  LaterTemperatures();
  state_.iterationNumber = 7;
  state_.windowStartTime = 9e-05;
  state_.windowEndTime = 2.1e-04;  // 130500 print steps of 1n: the window keeps 100000
  std::filesystem::copy_file("testdata/stage_tran_later.wyn", state_.baseName + ".wyn",
                             std::filesystem::copy_options::overwrite_existing);
  WriteTransientCircuitFile(state_);
  EXPECT_EQ(Written(), Expected("stage_tran_later.expected"));
  EXPECT_EQ(state_.startTimeText, "0.0000900000");
}

// Lines a rewrite needs but cannot handle: the analysis stops with a text that names the
// circuit file and quotes the line; the lines before it are in the output.
struct FailureCase {
  const char* what;
  bool transient;
  std::vector<std::string> lines;  // the last one fails
  std::string reason;
  std::function<void(testing::WriterSetup&)> setUp = nullptr;
  std::vector<std::string> written = {};  // when not just the lines before the last
  std::string quoted = "";                // when not the last line
};

const std::string kSffmWithoutFrequencies =
    "SFFM source without its carrier frequency FC or signal frequency FS: FC and FS must be "
    "given (not 0), since ngspice would otherwise take them from each time window's length";

TEST(CircuitFileFailureTest, LineThatCannotBeRewrittenIsQuoted) {
  // clang-format off
  const std::vector<FailureCase> cases = {
      {"model of a modelled device without '('", false, {"title", ".MODEL QN NPN"},
       ".MODEL line of a modelled device without \"(\" after its type"},
      {"sweep line without its source", false, {"title", ".DC  "}, ".DC line without the swept source"},
      {"model whose first parameter is not T_ABS", true, {"title", ".MODEL QN D(IS=2.5E-9 RS=1)"},
       ".MODEL line of QN whose first parameter is IS=2.5E-9, not T_ABS=; the first parameter "
       "receives the device temperature, so IS=2.5E-9 would be lost"},
      {"subcircuit call without t=", false, {"title", "X1 1 2 QSUB PARAMS: area=2 m=1"},
       "subcircuit call of QSUB without t= among its PARAMS: values; t= receives the device "
       "temperature, and no other value may take its place"},
      {".TRAN with a print step that is no number", true, {"title", ".TRAN {ts} 1m"},
       ".TRAN line whose print step is not a number above 0"},
      {"probe line with too few quantities", false, {"title", ".PROBE V(3) IB(Q1) V(5) IC(Q1)"},
       ".PROBE line with fewer than 4 quantities after its first word (the word right after "
       ".PROBE is taken as an option such as /CSDF, not as a quantity)"},
      {"probe line without the last companion", true, {"title", ".PROBE/CSDF V(3) IB(Q1) V(5)"},
       ".PROBE line with fewer than 4 quantities after its first word (the word right after "
       ".PROBE is taken as an option such as /CSDF, not as a quantity)",
       [](testing::WriterSetup& s) { s.windowStartTime = 0.0; }},
      {"node set without a probe list", false, {"title", ".NODESET V(3)=1"},
       ".NODESET line needs 2 node quantities from the .PROBE line, and the .PROBE line gave 0",
       [](testing::WriterSetup& s) { s.probeNodeNames.Fill(120); }},
      {"pulse without its delay", true, {"title", "V1 1 0 PULSE(0 5)"},
       "pulse source without its delay (write 0 if it has none)"},
      {"pulse without ')'", true, {"title", "V1 1 0 PULSE(0 5 1u 1n 1n"}, "pulse source without \")\""},
      {"sine without its delay", true, {"title", "V1 1 0 SIN(0 1 1k)"},
       "sine source without its delay (write 0 if it has none)"},
      {"more inductors than declared", true, {"title", "L1 1 2 1u", "L2 2 3 1u"},
       "more inductor lines than the 1 the problem file declares", nullptr,
       {"title", "L1 1 2 1u ic= 1.25000000000000E-0001"}},
      {"more capacitors than declared", true, {"title", "C1 1 0 1n", "C2 2 0 1n"},
       "more capacitor lines than the 1 the problem file declares", nullptr,
       {"title", "C1 1 0 1n ic= 3.30000000000000E+0000"}},
      {"capacitor without its value", true, {"title", "C1 1 0"}, "capacitor line without its value"},
      {".TRAN without its print step", true, {"title", ".TRAN "}, ".TRAN line without its print step"},
      {"SFFM without FS at the start of an analysis", true, {"title", "V6 1 0 SFFM(0 1 10k 5)"},
       kSffmWithoutFrequencies, [](testing::WriterSetup& s) { s.windowStartTime = 0.0; }},
      {"SFFM without FC", true, {"title", "V6 1 0 SFFM(0 1)"}, kSffmWithoutFrequencies},
      {"SFFM with FC 0", true, {"title", "V6 1 0 SFFM(0 1 0.0 5 1k)"}, kSffmWithoutFrequencies},
      {"SFFM with FS 0", true, {"title", "V6 1 0 SFFM(0 1 10k 5 0MEG 30)"}, kSffmWithoutFrequencies},
      {"SFFM without ')'", true, {"title", "V6 1 0 SFFM(0 1 10k 5 1k"}, "SFFM source without \")\""},
      {"noise source", true, {"title", "V6 1 0 trnoise(1m 1n 0 0)"},
       "TRNOISE source: its waveform cannot be carried from one time window to the next, so a "
       "transient analysis cannot use it"},
      {"time function after a DC value", true, {"title", "V1 1 0 DC 0 PULSE(0 5 1u 1n 1n 1u 2u)"},
       "PULSE after the source's DC or AC value: a transient analysis carries a time function "
       "only right after the nodes"},
      {"PWL repeat", true, {"title", "V5 1 0 PWL(0 0 1u 5) R=0"},
       "PWL source with a repeat (r=): its timing cannot be carried from one time window to the "
       "next"},
      {"PWL repeat on a '+' line", true, {"title", "V5 1 0 PWL(0 0 1u 5)", "* x", "+ td=1u r=0"},
       "PWL source with a repeat (r=): its timing cannot be carried from one time window to the "
       "next", nullptr, {"title", "V5 1 0 PWL({0-0.0000900000} 0 {1u-0.0000900000} 5)", "* x"},
       "V5 1 0 PWL(0 0 1u 5)"},
      {"PWL time without its value", true, {"title", "V5 1 0 PWL(0 0 1u)"},
       "PWL source with a time point without its value"},
      {"PWL without '('", true, {"title", "V5 1 0 PWL 0 0 1u 5"}, "PWL source without \"(\""},
      {"PWL not closed before the next element", true, {"title", "V5 1 0 PWL(0 0", "R1 1 0 1k"},
       "PWL source without \")\"", nullptr, {"title", "V5 1 0 PWL({0-0.0000900000} 0"},
       "V5 1 0 PWL(0 0"},
      {"PWL without points", true, {"title", "V5 1 0 PWL( )"}, "PWL source without points"},
      {"EXP with one value", true, {"title", "V7 1 0 EXP(1)"}, "EXP source without its two values"},
      {"EXP without ')'", true, {"title", "V7 1 0 EXP(0 1 1u"}, "EXP source without \")\""},
      {"behavioural source of TIME", true, {"title", "B1 1 0 V=sin(6.28e3*Time)"},
       "source whose expression uses TIME: its waveform would start again in every time window, "
       "so a transient analysis cannot use it"},
  };
  // clang-format on
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    testing::WriterSetup state;
    SetUpState(state, folder.path());
    if (c.setUp) c.setUp(state);
    WriteResults(state);
    WriteBytes(state.baseName + ".cir", CrLfLines(c.lines));
    try {
      if (c.transient) {
        WriteTransientCircuitFile(state);
      } else {
        WriteDcCircuitFile(state);
      }
      ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(std::string(failure.what()), "Circuit file \"" + state.baseName +
                                                 ".cir\": " + c.reason + ": " +
                                                 (c.quoted.empty() ? c.lines.back() : c.quoted));
    }
    std::vector<std::string> before(c.lines.begin(), c.lines.end() - 1);
    EXPECT_EQ(ReadBytes(state.baseName + "3.cir"),
              CrLfLines(c.written.empty() ? before : c.written));
  }
}

TEST(CircuitFileFailureTest, PointListOpenAtTheEnd) {
  ScratchFolder folder;
  testing::WriterSetup state;
  SetUpState(state, folder.path());
  WriteResults(state);
  WriteBytes(state.baseName + ".cir", CrLfLines({"title", "V5 1 0 PWL(0 0", "+ 1u 5"}));
  try {
    WriteTransientCircuitFile(state);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(std::string(failure.what()), "Circuit file \"" + state.baseName +
                                               ".cir\": PWL source without \")\": V5 1 0 PWL(0 0");
  }
  EXPECT_EQ(ReadBytes(state.baseName + "3.cir"),
            CrLfLines({"title", "V5 1 0 PWL({0-0.0000900000} 0", "+ {1u-0.0000900000} 5"}));
}

TEST(CircuitFileFailureTest, ProbeListIsKeptWhenItsLineFails) {
  ScratchFolder folder;
  testing::WriterSetup state;
  SetUpState(state, folder.path());
  WriteBytes(state.baseName + ".cir", CrLfLines({"title", ".PROBE/CSDF V(7) IB(Q1) V(8)"}));
  EXPECT_THROW(WriteDcCircuitFile(state), Failure);
  EXPECT_EQ(state.probeNodeNames.Text().substr(0, 10), "V(3) V(5) ");
}

TEST(CircuitFileFailureTest, ResultsWithoutTheWindowStart) {
  for (const char* results :
       {"head\r\nhead\r\n", "head\r\nhead\r\n 1.0E-0005 1 2 3 4 5 6\r\n\r\n  \r\n", ""}) {
    SCOPED_TRACE(results);
    ScratchFolder folder;
    testing::WriterSetup state;
    SetUpState(state, folder.path());
    WriteBytes(state.baseName + ".cir", CrLfLines({"title"}));
    WriteBytes(state.baseName + ".wyn", results);
    try {
      WriteTransientCircuitFile(state);
      ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(std::string(failure.what()),
                "Accumulated results \"" + state.baseName +
                    ".wyn\" hold no line at the window start time 9.00000000000000E-0005 s, so "
                    "the values to carry into the window are unknown");
    }
  }
}

TEST(CircuitFileFailureTest, TooManyCarriedValues) {
  ScratchFolder folder;
  testing::WriterSetup state;
  SetUpState(state, folder.path());
  state.problem.inductorCount = 5;
  state.problem.capacitorCount = 4;
  WriteResults(state);
  WriteBytes(state.baseName + ".cir", CrLfLines({"title"}));
  try {
    WriteTransientCircuitFile(state);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(std::string(failure.what()),
              "Circuit file \"" + state.baseName +
                  ".cir\": 2 node values, 5 inductor currents and 4 capacitor voltages would be "
                  "carried between time windows; at most 10 values in all are possible");
  }
}

TEST(CircuitFileFailureTest, MissingFiles) {
  ScratchFolder folder;
  testing::WriterSetup state;
  SetUpState(state, folder.path());
  try {
    WriteDcCircuitFile(state);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(std::string(failure.what()), "File not found: " + state.baseName + ".cir");
  }
  EXPECT_FALSE(std::filesystem::exists(state.baseName + "3.cir"));

  WriteBytes(state.baseName + ".cir", CrLfLines({"title"}));
  try {
    WriteTransientCircuitFile(state);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(std::string(failure.what()), "File not found: " + state.baseName + ".wyn");
  }
}

}  // namespace
}  // namespace etherm
