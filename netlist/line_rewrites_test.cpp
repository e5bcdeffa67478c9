#include "netlist/line_rewrites.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/analysis_state.h"
#include "netlist/dc_circuit_writer.h"
#include "netlist/test_support.h"
#include "netlist/transient_circuit_writer.h"

namespace etherm {
namespace {

using testing::CrLfLines;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::SetUpState;
using testing::WriteBytes;
using testing::WriteResults;

enum class Writer { kDcFirstPoint, kDcLaterPoint, kFirstWindow, kLaterWindow };

struct LineCase {
  const char* what;
  Writer writer;
  std::string input;
  std::vector<std::string> output;
  std::function<void(testing::WriterSetup&)> setUp = nullptr;
};

std::string Padded(const std::string& text, std::size_t width = 120) {
  return text + std::string(width - text.size(), ' ');
}

// Runs one writer over a circuit of the single input line; returns the circuit it wrote.
std::string WriteOneLine(const LineCase& c, testing::WriterSetup& state) {
  ScratchFolder folder;
  SetUpState(state, folder.path());
  if (c.writer == Writer::kDcFirstPoint) state.sweepValue = state.problem.sweepStart;
  if (c.writer == Writer::kFirstWindow) {
    state.windowStartTime = 0.0;
    state.windowEndTime = 9e-05;
  }
  if (c.setUp) c.setUp(state);
  WriteBytes(state.baseName + ".cir", "title\r\n" + c.input + "\r\n");
  if (c.writer == Writer::kDcFirstPoint || c.writer == Writer::kDcLaterPoint) {
    WriteDcCircuitFile(state);
  } else {
    WriteResults(state);
    WriteTransientCircuitFile(state);
  }
  const std::string written = ReadBytes(state.baseName + state.iterationText + ".cir");
  EXPECT_EQ(written.substr(0, 7), "title\r\n");
  return written.substr(7);
}

const std::string kLongComment = "*" + std::string(249, 'x');

// A vendor model line of 300 characters whose last parameters lie far beyond column 200.
const std::string kLongModel = [] {
  std::string line = ".MODEL QN NPN(T_ABS=27";
  for (int i = 0; line.size() < 270; ++i) line += " P" + std::to_string(i) + "=1.5E-9";
  line += " RS=0.042 RE=0.5";
  line += std::string(299 - line.size(), ' ') + ")";
  return line;
}();

const std::string kLongCall =
    "X1 " + std::string(150, '7') + " 8 QSUB PARAMS: t=27 " + std::string(250, 'a') + "=1";

// A PWL source of 40 points on one line, as written and as shifted in the window from 9e-05.
const std::pair<std::string, std::string> kLongPointList = [] {
  std::string in = "V5 1 0 PWL(";
  std::string out = in;
  for (int i = 0; i < 40; ++i) {
    in += std::to_string(i) + "u " + std::to_string(i % 5) + " ";
    out += "{" + std::to_string(i) + "u-0.0000900000} " + std::to_string(i % 5) + " ";
  }
  return std::pair{in + ")", out + ")"};
}();

std::vector<LineCase> Cases() {
  const auto device2At = [](double kelvin) {
    return [kelvin](testing::WriterSetup& s) { s.deviceTemperature[2] = kelvin; };
  };
  const auto window = [](double start, double end) {
    return [start, end](testing::WriterSetup& s) {
      s.windowStartTime = start;
      s.windowEndTime = end;
    };
  };
  // clang-format off
  return {
      // Lines that every writer copies as they are.
      {"empty line", Writer::kDcLaterPoint, "", {""}},
      {"comment", Writer::kDcLaterPoint, "* R1 1 2 .MODEL", {"* R1 1 2 .MODEL"}},
      {"continuation", Writer::kDcLaterPoint, "+ IS=1e-14)", {"+ IS=1e-14)"}},
      {"leading blank", Writer::kDcLaterPoint, " X1 1 2 QSUB PARAMS: t=1", {" X1 1 2 QSUB PARAMS: t=1"}},
      {"a long line is copied whole", Writer::kDcLaterPoint, kLongComment, {kLongComment}},
      {"other dot command", Writer::kLaterWindow, ".OPTIONS RELTOL=1e-4", {".OPTIONS RELTOL=1e-4"}},

      // Model lines.
      {"model line", Writer::kDcLaterPoint, ".MODEL QN NPN(T_ABS=27 IS=1E-14 BF=100)",
       {".MODEL  QN       NPN(t_abs=22.000 IS=1E-14 BF=100)"}},
      {"model keyword in lower case, text after ')' dropped", Writer::kDcLaterPoint,
       ".model QN npn(t_abs=0,is=1e-14) ; note", {".MODEL  QN       npn(t_abs=22.000,is=1e-14)"}},
      {"model name in another case is no device", Writer::kDcLaterPoint, ".MODEL qn NPN(T_ABS=27)",
       {".MODEL qn NPN(T_ABS=27)"}},
      {"model of an unmodelled device", Writer::kFirstWindow, ".model DX D(IS=1e-14) ; x",
       {".model DX D(IS=1e-14) ; x"}},
      {"blank after '(' inserts the temperature", Writer::kDcLaterPoint, ".MODEL QN NPN( IS=1E-14)",
       {".MODEL  QN       NPN(t_abs=22.000 IS=1E-14)"}},
      {"first parameter ends at ')'", Writer::kDcLaterPoint, ".MODEL QSUB PNP(T_ABS=1)",
       {".MODEL  QSUB     PNP(t_abs=77.500)"}},
      {"below 0 degrees", Writer::kDcLaterPoint, ".MODEL QSUB PNP(T_ABS=1)",
       {".MODEL  QSUB     PNP(t_abs=-73.000)"}, device2At(200.0)},
      {"blanks before the type are kept", Writer::kDcLaterPoint, ".MODEL QN   NPN (T_ABS=1 BF=9)",
       {".MODEL  QN         NPN (t_abs=22.000 BF=9)"}},
      {"list continued on '+' lines: written to position 120", Writer::kDcLaterPoint,
       ".MODEL QN NPN(T_ABS=27 IS=1E-14",
       {".MODEL  QN       NPN(t_abs=22.000 IS=1E-14" + std::string(89, ' ')}},
      {"model line in a transient window", Writer::kLaterWindow, ".MODEL QN NPN(T_ABS=27)",
       {".MODEL  QN       NPN(t_abs=22.000)"}},
      {"long model line written whole", Writer::kFirstWindow, kLongModel,
       {".MODEL  QN       NPN(t_abs=22.000" + kLongModel.substr(22)}},
      {"long model line continued on '+' lines: whole, not padded", Writer::kDcLaterPoint,
       kLongModel.substr(0, kLongModel.size() - 1),
       {".MODEL  QN       NPN(t_abs=22.000" + kLongModel.substr(22, kLongModel.size() - 23)}},
      {"')' inside braces does not end the list", Writer::kDcLaterPoint,
       ".MODEL QN NPN(T_ABS=27 BF={(100)} VAF=50) ; x",
       {".MODEL  QN       NPN(t_abs=22.000 BF={(100)} VAF=50)"}},
      // The list once ended at the first ')', which dropped the one that closes it.
      {"value in parentheses", Writer::kDcLaterPoint, ".MODEL QN NPN(T_ABS=27 BF=(100)) ; x",
       {".MODEL  QN       NPN(t_abs=22.000 BF=(100))"}},
      {"blanks around '=' of T_ABS", Writer::kDcLaterPoint, ".MODEL QN NPN(T_ABS = 27 BF=9)",
       {".MODEL  QN       NPN(t_abs=22.000 BF=9)"}},
      {"tabs between parameters", Writer::kDcLaterPoint, ".MODEL QN NPN(T_ABS=27\tIS=1E-14\tBF=9)",
       {".MODEL  QN       NPN(t_abs=22.000\tIS=1E-14\tBF=9)"}},

      // Subcircuit calls.
      {"subcircuit call", Writer::kDcLaterPoint, "X1 4 5 6 QSUB PARAMS: t=27",
       {"X1 4 5 6 QSUB PARAMS: t=  77.500"}},
      {"subcircuit call in lower case", Writer::kDcLaterPoint, "x1 4 5 6 qsub params: t=0 k=1",
       {"x1 4 5 6 qsub params: t=  77.500 k=1"}},
      {"t first of three values", Writer::kDcLaterPoint, "X1 4 5 6 QSUB PARAMS:  t=27 area=2 m={n}",
       {"X1 4 5 6 QSUB PARAMS: t=  77.500 area=2 m={n}"}},
      {"t between two values", Writer::kLaterWindow, "X1 4 5 6 QSUB PARAMS: area=2 T = 27 m=1",
       {"X1 4 5 6 QSUB PARAMS: area=2 t=  77.500 m=1"}},
      {"t last of three values", Writer::kDcLaterPoint, "X1 4 5 6 QSUB PARAMS: area=2,m=1,t={tj + 1}",
       {"X1 4 5 6 QSUB PARAMS: area=2,m=1,t=  77.500"}},
      {"empty PARAMS: list gets t", Writer::kDcLaterPoint, "X1 4 5 6 QSUB PARAMS:",
       {"X1 4 5 6 QSUB PARAMS: t=  77.500"}},
      // A ':' in a node name once hid the subcircuit, which then stayed at the ambient.
      {"node name holding ':'", Writer::kDcLaterPoint, "X1 a:b 5 QSUB PARAMS: t=1",
       {"X1 a:b 5 QSUB PARAMS: t=  77.500"}},
      {"t as an expression with blanks", Writer::kDcLaterPoint, "X1 4 QSUB PARAMS: m=1 t=(tj + 1)",
       {"X1 4 QSUB PARAMS: m=1 t=  77.500"}},
      {"long subcircuit call written whole", Writer::kDcLaterPoint, kLongCall,
       {kLongCall.substr(0, kLongCall.find(':')) + ": t=  77.500 " + std::string(250, 'a') + "=1"}},
      {"subcircuit call below 0 degrees", Writer::kLaterWindow, "X1 4 QSUB PARAMS: t=27",
       {"X1 4 QSUB PARAMS: t= -73.000"}, device2At(200.0)},
      {"subcircuit of an unmodelled device", Writer::kDcLaterPoint, "X2 7 8 9 OPAMP PARAMS: a=1e5",
       {"X2 7 8 9 OPAMP PARAMS: a=1e5"}},
      {"subcircuit call without ':'", Writer::kFirstWindow, "X3 1 2 QSUB", {"X3 1 2 QSUB"}},
      {"subcircuit name too long for a device", Writer::kDcLaterPoint,
       "X4 1 QSUBQSUBQ PARAMS: t=1", {"X4 1 QSUBQSUBQ PARAMS: t=1"}},

      // The DC sweep and node-set lines.
      {"sweep line", Writer::kDcLaterPoint, ".DC V1 5 10 0.5",
       {".DC V1  7.50000000000000E+0000  7.50000000000000E+0000  5.00000000000000E-0001"}},
      {"sweep line in lower case, first value with '-'", Writer::kDcFirstPoint, ".dc vin -5 10 0.5",
       {".dc vin  5.00000000000000E+0000  5.00000000000000E+0000  5.00000000000000E-0001"}},
      {"first value with '+'", Writer::kDcLaterPoint, ".DC V1 +5 10 1",
       {".DC V1  7.50000000000000E+0000  7.50000000000000E+0000  5.00000000000000E-0001"}},
      {"first value with '.', extra blanks kept", Writer::kDcLaterPoint, ".DC  I2  .5 1 .1",
       {".DC  I2   7.50000000000000E+0000  7.50000000000000E+0000  5.00000000000000E-0001"}},
      {"sweep line without values", Writer::kDcLaterPoint, ".DC V1",
       {".DC V1  7.50000000000000E+0000  7.50000000000000E+0000  5.00000000000000E-0001"}},
      {"negative sweep values", Writer::kDcLaterPoint, ".DC V1 0 -5 -1",
       {".DC V1 -2.50000000000000E+0000 -2.50000000000000E+0000 -1.00000000000000E+0000"},
       [](testing::WriterSetup& s) {
         s.sweepValue = -2.5;
         s.problem.sweepStep = -1.0;
       }},
      {"node set at the first point", Writer::kDcFirstPoint, ".NODESET V(3)=1 V(5)=2",
       {".NODESET V(3)=1 V(5)=2"}},
      {"node set at a later point", Writer::kDcLaterPoint, ".NODESET V(3)=1",
       {".NODESET V(3)= 7.00000000000000E-0001 V(5)=-1.50000000000000E+0000 "}},
      {"any line beginning with .nodes", Writer::kDcLaterPoint, ".nodesXYZ",
       {".NODESET V(3)= 7.00000000000000E-0001 V(5)=-1.50000000000000E+0000 "}},
      {"probe line copied", Writer::kDcLaterPoint, ".PROBE/CSDF V(3) IB(Q1) V(5) IC(Q1)",
       {".PROBE/CSDF V(3) IB(Q1) V(5) IC(Q1)"}},
      {"the DC writer leaves .TRAN and sources", Writer::kDcLaterPoint,
       "V1 2 0 PULSE(0 5 1u 1n 1n 10u 20u)", {"V1 2 0 PULSE(0 5 1u 1n 1n 10u 20u)"}},

      // Sources in transient windows.
      {"pulse in the first window", Writer::kFirstWindow, "V1 2 0 PULSE(0 5 1u 1n 1n 10u 20u)",
       {"V1 2 0 PULSE(0 5 {1u-0.0000000000} 1n 1n 10u 20u)"}},
      {"pulse in a later window, text after ')' dropped", Writer::kLaterWindow,
       "V1 2 0 PULSE(0 5 1u 1n 1n 10u 20u) AC 1", {"V1 2 0 PULSE(0 5 {1u-0.0000900000} 1n 1n 10u 20u)"}},
      {"pulse in lower case, blank before '('", Writer::kLaterWindow,
       "i1  2 0  pulse (0 5 1u 1n 1n 10u 20u)", {"i1  2 0  pulse (0 5 {1u-0.0000900000} 1n 1n 10u 20u)"}},
      {"pulse with only its delay", Writer::kLaterWindow, "V1 2 0 PULSE(0 5 1u)",
       {"V1 2 0 PULSE(0 5 {1u-0.0000900000})"}},
      {"sine", Writer::kLaterWindow, "V2 1 0 SIN(0 1 1k 2m 0 0)",
       {"V2 1 0 SIN(0 1 1k {2m-0.0000900000} 0 0)"}},
      {"window start of 12.5 s", Writer::kLaterWindow, "V2 1 0 SIN(0 1 1k 2m)",
       {"V2 1 0 SIN(0 1 1k {2m-12.500000000})"}, window(12.5, 13.0)},
      {"DC source padded to 120", Writer::kLaterWindow, "V3 1 0 DC 5", {Padded("V3 1 0 DC 5")}},
      {"source without a function", Writer::kFirstWindow, "I3 1 0", {Padded("I3 1 0")}},
      {"other source longer than 120 is written whole", Writer::kLaterWindow,
       "V4 1 0 DC 5 AC 1 ; " + std::string(230, 'c'), {"V4 1 0 DC 5 AC 1 ; " + std::string(230, 'c')}},
      {"a DC value whose second letter is U is no pulse", Writer::kLaterWindow, "I3 1 0 1U",
       {Padded("I3 1 0 1U")}},
      {"a function named in a comment", Writer::kLaterWindow, "V3 1 0 DC 5 ; PULSE(0 1)",
       {Padded("V3 1 0 DC 5 ; PULSE(0 1)")}},
      {"long PWL line: every point shifted", Writer::kLaterWindow, kLongPointList.first,
       {kLongPointList.second}},
      {"every PWL time shifted", Writer::kFirstWindow, "V5 1 0 PWL(0 0 1u 5 2u 0)",
       {"V5 1 0 PWL({0-0.0000000000} 0 {1u-0.0000000000} 5 {2u-0.0000000000} 0)"}},
      {"PWL with commas, a braced time and td kept", Writer::kLaterWindow,
       "V5 1 0 pwl (0,0, 1u,5 {t2 + 1u},0) td=1u",
       {"V5 1 0 pwl ({0-0.0000900000},0, {1u-0.0000900000},5 {(t2 + 1u)-0.0000900000},0) td=1u"}},
      {"PWL continued on '+' lines", Writer::kLaterWindow,
       "I5 1 0 PWL(0 0\r\n* ramp\r\n+ 1u 5 2u\r\n+ 0)",
       {"I5 1 0 PWL({0-0.0000900000} 0", "* ramp", "+ {1u-0.0000900000} 5 {2u-0.0000900000}", "+ 0)"}},
      {"both EXP delays shifted", Writer::kLaterWindow, "V7 1 0 EXP(0 1 1u 1u 5u 1u) AC 1",
       {"V7 1 0 EXP(0 1 {1u-0.0000900000} 1u {5u-0.0000900000} 1u)"}},
      {"EXP with its first delay only", Writer::kLaterWindow, "V7 1 0 EXP(0 1 1u 2u)",
       {"V7 1 0 EXP(0 1 {1u-0.0000900000} 2u)"}},
      {"EXP without delays gets the first", Writer::kFirstWindow, "V7 1 0 exp( 0 1 )",
       {"V7 1 0 exp( 0 1 {0-0.0000000000} )"}},
      {"SFFM phases shifted by 360 x frequency x start, text after ')' dropped",
       Writer::kLaterWindow, "V6 1 0 SFFM(0 1 40k 1.5 8k 30 10) AC 1",
       {"V6 1 0 SFFM(0 1 40k 1.5 8k {30+360*40000*0.0000900000} {10+360*8000*0.0000900000})"}},
      {"SFFM without phases gets both", Writer::kFirstWindow, "I6 1 0 sffm (0 1m 1MEG 2 10k)",
       {"I6 1 0 sffm (0 1m 1MEG 2 10k {360*1000000*0.0000000000} {360*10000*0.0000000000})"}},
      {"SFFM with its carrier phase only", Writer::kLaterWindow, "V6 1 0 SFFM(0 1 1.5d3 2 -2kHz -90)",
       {"V6 1 0 SFFM(0 1 1.5d3 2 -2kHz {(-90)+360*1500*0.0000900000} {360*(-2000)*0.0000900000})"}},
      {"SFFM with braced values and commas", Writer::kLaterWindow,
       "V6 1 0 SFFM(0,1,{fc},1.5,2.5e3,{ph*2},-45)",
       {"V6 1 0 SFFM(0,1,{fc},1.5,2.5e3,{(ph*2)+360*(fc)*0.0000900000},{(-45)+360*2500*0.0000900000})"}},
      {"behavioural source without TIME", Writer::kLaterWindow, "B1 1 0 V=V(2)*timer",
       {"B1 1 0 V=V(2)*timer"}},
      {"controlled source with a node named time", Writer::kLaterWindow, "E1 time 0 2 0 1",
       {"E1 time 0 2 0 1"}},

      // Length, bias save, initial conditions.
      {"length line", Writer::kLaterWindow, ".TRAN 10n 100u", {".TRAN   10n 0.0001200000"}},
      {"length line drops further words", Writer::kLaterWindow, ".tran  10n 100u 0 1n UIC",
       {".TRAN   10n 0.0001200000"}},
      {"1n print steps: 100000 of them, not the 120000 of the window", Writer::kLaterWindow,
       ".TRAN 1n 100u", {".TRAN   1n 0.0001000000"}},
      {"length of exactly 10", Writer::kLaterWindow, ".TRAN 1m 20", {".TRAN   1m 10.0000000000"},
       window(0.5, 10.0)},
      {"length above 10", Writer::kLaterWindow, ".TRAN 1m 20", {".TRAN   1m  10 "},
       window(0.5, 10.5)},
      {"length line in the first window", Writer::kFirstWindow, ".TRAN 1n 100u", {".TRAN 1n 100u"}},
      {"a far window end: at most 100000 print steps, the bias save too", Writer::kLaterWindow,
       ".SAVEBIAS \"a1.bsp\" TRAN TIME=90u\r\n.TRAN 2us 90u",
       {".savebias \"a1.bsp\" tran time=0.2000000000", ".TRAN   2us 0.2000000000"},
       window(9e-05, 1e30)},
      {"100000 print steps above 10 s", Writer::kLaterWindow, ".TRAN 1m 20", {".TRAN   1m  10 "},
       window(0.5, 1e30)},
      {"a far window end in the first window", Writer::kFirstWindow, ".TRAN 2u 90u",
       {".TRAN 2u 90u"}, window(0.0, 1e30)},
      {".TRAN with an option after the keyword", Writer::kLaterWindow, ".TRAN/OP 1n 100u",
       {".TRAN/OP 1n 100u"}},
      {"bias save", Writer::kLaterWindow, ".SAVEBIAS \"a1.bsp\" TRAN TIME=100u",
       {".savebias \"a1.bsp\" tran time=0.0001200000"}},
      {"bias save above 10", Writer::kLaterWindow, ".savebias \"x\"",
       {".savebias \"a1.bsp\" tran time=10"}, window(0.5, 10.5)},
      {"bias save in the first window", Writer::kFirstWindow, ".SAVEBIAS \"a1.bsp\" TRAN TIME=90u",
       {".SAVEBIAS \"a1.bsp\" TRAN TIME=90u"}},
      {"inductor", Writer::kLaterWindow, "L1 3 4 10u IC=0.1",
       {"L1 3 4 10u ic= 1.25000000000000E-0001"}},
      {"capacitor, blanks between words made single", Writer::kLaterWindow, "c1  6 0   1n",
       {"c1 6 0 1n ic= 3.30000000000000E+0000"}},
      {"inductor in the first window", Writer::kFirstWindow, "L1 3 4 10u IC=0.1",
       {"L1 3 4 10u IC=0.1"}},
      {"initial conditions before the probe line", Writer::kLaterWindow,
       ".PROBE/CSDF V(3) IB(Q1) V(5) IC(Q1)",
       {".ic   V(3)= 7.1000000E-0001  V(5)=-2.5000000E+0000 ", ".PROBE/CSDF V(3) IB(Q1) V(5) IC(Q1)"}},
      {"probe line in the first window", Writer::kFirstWindow, ".probe V(3) IB(Q1) V(5) IC(Q1) x",
       {".probe V(3) IB(Q1) V(5) IC(Q1) x"}},
  };
  // clang-format on
}

TEST(LineRewritesTest, EachLineIsWrittenExactly) {
  for (const LineCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    testing::WriterSetup state;
    EXPECT_EQ(WriteOneLine(c, state), CrLfLines(c.output));
  }
}

TEST(LineRewritesTest, StartTimeTextIsKeptToTwelveCharacters) {
  testing::WriterSetup state;
  WriteOneLine({"",
                Writer::kLaterWindow,
                "V2 1 0 SIN(0 1 1k 2m)",
                {},
                [](testing::WriterSetup& s) {
                  s.windowStartTime = 12.5;
                  s.windowEndTime = 13.0;
                }},
               state);
  EXPECT_EQ(state.startTimeText, "12.500000000");

  testing::WriterSetup untouched;
  untouched.startTimeText = "before";
  WriteOneLine({"", Writer::kLaterWindow, "V3 1 0 DC 5", {}}, untouched);
  EXPECT_EQ(untouched.startTimeText, "before");
}

TEST(LineRewritesTest, FindDeviceComparesAllEightBytes) {
  Problem problem;
  for (const char* name : {"Q1", "QSUB", "QSUB"}) {
    problem.devices.push_back(Device{});
    problem.devices.back().name = NameField::From(name);
  }
  EXPECT_EQ(FindDevice(problem, NameField::From("QSUB")), 2);
  EXPECT_EQ(FindDevice(problem, NameField::From("Q1")), 1);
  EXPECT_EQ(FindDevice(problem, NameField::From("q1")), 4);
  EXPECT_EQ(FindDevice(problem, NameField::From("QSU")), 4);
  problem.devices.resize(10);
  EXPECT_EQ(FindDevice(problem, NameField::From("NONE")), 11);
}

TEST(LineRewritesTest, ProbeNodesAreTheFirstOfEachPair) {
  ScratchFolder folder;
  testing::WriterSetup state;
  SetUpState(state, folder.path());
  testing::SetProbeNodeCount(state.problem, 3);
  state.probeNodeNames.Fill(120);
  state.probeNodeNames.at(150) = 'z';  // left by an earlier, longer text
  WriteBytes(state.baseName + ".cir",
             CrLfLines({"title", ".PROBE/CSDF V(3) IB(Q1) V(5,6) IC(Q1) V(X1.7) I(X1.Q2)"}));
  WriteDcCircuitFile(state);
  EXPECT_EQ(state.probeNodeNames.Text(), Padded("V(3) V(5,6) V(X1.7) "));
  EXPECT_EQ(state.probeNodeNames.at(150), 'z');
}

TEST(LineRewritesTest, LaterWindowsKeepTheProbeListOfTheFirst) {
  ScratchFolder folder;
  testing::WriterSetup state;
  SetUpState(state, folder.path());
  WriteResults(state);
  WriteBytes(state.baseName + ".cir", CrLfLines({"title", ".PROBE/CSDF V(7) IB(Q1) V(8) IC(Q1)"}));
  WriteTransientCircuitFile(state);
  EXPECT_EQ(state.probeNodeNames.Text(), Padded("V(3) V(5) "));
  EXPECT_EQ(ReadBytes(state.baseName + "3.cir"),
            CrLfLines({"title", ".ic   V(3)= 7.1000000E-0001  V(5)=-2.5000000E+0000 ",
                       ".PROBE/CSDF V(7) IB(Q1) V(8) IC(Q1)"}));
}

TEST(LineRewritesTest, IterationTenAndAboveNameTheFile) {
  for (int iteration : {9, 10, 123}) {
    ScratchFolder folder;
    testing::WriterSetup state;
    SetUpState(state, folder.path());
    state.iterationNumber = iteration;
    WriteBytes(state.baseName + ".cir", "* x\r\n");
    WriteDcCircuitFile(state);
    EXPECT_EQ(state.iterationText, std::to_string(iteration));
    EXPECT_EQ(ReadBytes(state.baseName + std::to_string(iteration) + ".cir"), "* x\r\n");
  }
}

}  // namespace
}  // namespace etherm
