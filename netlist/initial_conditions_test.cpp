// Which carried values a later window's circuit takes: only .ic entries ngspice can hold, and
// the whole state where the simulator saved it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/circuit_state.h"
#include "netlist/test_support.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {
namespace {

using testing::CrLfLines;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

// A later window of a one-device circuit: `elements` then ".TRAN" and `probe`, whose two node
// quantities carry 1.5 and 2.5.
class InitialConditionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_ = testing::WriterSetup{};
    setup_.baseName = (folder_.path() / "w").string();
    setup_.problem.devices.assign(1, Device{});
    setup_.problem.devices[0].name = NameField::From("MSW");
    testing::SetProbeNodeCount(setup_.problem, 2);
    setup_.deviceTemperature[1] = 300.0;
    setup_.probeNodeNames.Fill(120);
    setup_.iterationNumber = 1;
  }

  // The written lines of the later window.
  std::vector<std::string> Write(std::vector<std::string> elements, const std::string& probe,
                                 const std::string& title = "title") {
    elements.insert(elements.begin(), title);
    elements.push_back(".MODEL MSW VDMOS(T_ABS=27 VTO=3)");
    elements.push_back(".TRAN 1u 1m");
    elements.push_back(probe);
    elements.push_back(".END");
    WriteBytes(setup_.baseName + ".cir", CrLfLines(elements));
    WriteBytes(setup_.baseName + ".wyn", "");
    testing::WriteTransientCircuitFile(setup_);  // the first window takes the probe list
    setup_.windowStartTime = 5e-05;
    setup_.windowEndTime = 1e-04;
    setup_.iterationNumber = 2;
    WriteBytes(setup_.baseName + ".wyn", CrLfLines({"title", " time a b c d", Line(0, {0, 0, 0, 0}),
                                                    Line(5e-05, {1.5, 0.25, 2.5, 0.5})}));
    testing::WriteTransientCircuitFile(setup_);
    std::vector<std::string> lines;
    const std::string text = ReadBytes(setup_.baseName + "2.cir");
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find("\r\n", at);
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  static std::string Line(double t, const std::vector<double>& values) {
    std::string text = FormatExponent(t, 23);
    for (double v : values) text += " " + FormatExponent(v, 23);
    return text;
  }

  // The ".ic" line, or "" when there is none.
  static std::string IcLine(const std::vector<std::string>& lines) {
    for (const std::string& l : lines) {
      if (l.rfind(".ic", 0) == 0) return l;
    }
    return "";
  }

  ScratchFolder folder_;
  testing::WriterSetup setup_;
};

const std::string k15 = FormatExponent(1.5, 16), k25 = FormatExponent(2.5, 16);

TEST_F(InitialConditionsTest, OnlyNodesAnInitialValueCanBeHeldOn) {
  struct Case {
    const char* what;
    std::vector<std::string> elements;
    std::string probe;
    std::string ic;  // "" for no .ic line
  };
  const Case cases[] = {
      {"free nodes as before",
       {"VIN in 0 24", "M1 d g 0 MSW", "RG in g 10", "RL in d 2"},
       ".PROBE/CSDF V(g) IG(M1) V(d) ID(M1)",
       ".ic   V(g)=" + k15 + "  V(d)=" + k25 + " "},
      {"voltage difference",
       {"VIN in 0 24", "M1 in g sw MSW", "RG in g 10", "RL sw 0 2"},
       ".PROBE/CSDF V(in,sw) ID(M1) V(g) IG(M1)",
       ".ic   V(g)=" + k25 + " "},
      {"nodes E sources drive",
       {"VIN in 0 24", "M1 in g sw MSW", "VG g sw 10", "RL sw 0 2", "Eds ds 0 in sw 1",
        "Egs gs 0 g sw 1"},
       ".PROBE/CSDF V(ds) ID(M1) V(gs) IG(M1)",
       ""},
      {"floating gate drive fixes the gate, not its reference",
       {"VIN in 0 24", "M1 in g sw MSW", "VG g sw 10", "RL sw 0 2"},
       ".PROBE/CSDF V(sw) ID(M1) V(g) IG(M1)",
       ".ic   V(sw)=" + k15 + " "},
      {"a node tied to ground through a chain, lower case, H source",
       {"V1 a b 1", "h1 B 0 V1 2", "M1 a c 0 MSW", "RC a c 1"},
       ".PROBE/CSDF v(a) ID(M1) V(c) IG(M1)",
       ".ic   V(c)=" + k25 + " "},
      {"sources inside a subcircuit fix nothing outside it",
       {".SUBCKT REF a", "V1 a 0 5", ".ENDS", "M1 a c 0 MSW", "RC a c 1"},
       ".PROBE/CSDF V(a) ID(M1) V(c) IG(M1)",
       ".ic   V(a)=" + k15 + "  V(c)=" + k25 + " "},
  };
  for (const Case& c : cases) {
    SetUp();
    EXPECT_EQ(IcLine(Write(c.elements, c.probe)), c.ic) << c.what;
  }
}

TEST_F(InitialConditionsTest, WholeStateJoinsTheListedValues) {
  CircuitState state;
  state.names = {"v(in)", "v(g)", "v(sw)", "v(out)", "v(x1.n3)", "ic(l1)", "ic(cout)"};
  state.values = {24, 9.5, 23.75, 11.5, 0.125, 2.25, 11.5};
  setup_.state = &state;
  const std::vector<std::string> lines =
      Write({"VIN in 0 24", "M1 in g sw MSW", "VG g sw 10", "D1 0 sw DF", "L1 sw out 47u IC=0",
             "Cout out 0 100u", "RL out 0 2", "X1 out REF"},
            ".PROBE/CSDF V(in,sw) ID(M1) V(sw) IG(M1)");
  EXPECT_EQ(IcLine(lines), ".ic   V(sw)=" + FormatExponent(2.5, 16) +
                               "  v(out)=" + FormatExponent(11.5, 23) +
                               "  v(x1.n3)=" + FormatExponent(0.125, 23) + " ");
  EXPECT_EQ(lines[5], "L1 sw out 47u ic=" + FormatExponent(2.25, 23));
  EXPECT_EQ(lines[6], "Cout out 0 100u ic=" + FormatExponent(11.5, 23));

  // Without a value for a line beyond the lists, the line still fails as before.
  state.names.pop_back();
  state.values.pop_back();
  SetUp();
  setup_.state = &state;
  EXPECT_THROW(Write({"VIN in 0 24", "Cout out 0 100u"}, ".PROBE/CSDF V(out) ID(M1) V(in) IG(M1)"),
               Failure);
}

TEST_F(InitialConditionsTest, TheTitleIsNeverAnElementLine) {
  // Titles once went through the element rules: "LED driver" took the first inductor's value
  // (and the inductor the next one), "Vin step" became a source line.
  setup_.problem.inductorCount = 1;
  for (const char* title : {"LED driver", "Vin step 0 5", "Cap bank", "XOR gate", ".PROBE me"}) {
    SetUp();
    setup_.problem.inductorCount = 1;
    testing::SetProbeNodeCount(setup_.problem, 1);
    const std::vector<std::string> lines =
        Write({"VIN in 0 24", "M1 in g 0 MSW", "RG in g 10", "L1 in 0 1m"},
              ".PROBE/CSDF V(g) ID(M1) I(L1)", title);
    EXPECT_EQ(lines[0], title);
    // The inductor's value stands after the node pair in the results: 2.5.
    EXPECT_EQ(lines[4], "L1 in 0 1m ic=" + FormatExponent(2.5, 23)) << title;
  }
}

}  // namespace
}  // namespace etherm
