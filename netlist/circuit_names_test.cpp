#include "netlist/circuit_names.h"

#include <gtest/gtest.h>

#include "testing/scratch_folder.h"

namespace etherm {
namespace {

using etherm::testing::ScratchFolder;
using etherm::testing::WriteBytes;

TEST(CircuitNames, AsTheSimulatorLabelsTheProbeData) {
  struct Case {
    const char* circuit;
    const char* swept;
    std::vector<std::string> probes;
  };
  const Case cases[] = {
      {"pair\r\nVIN 1 0 1\r\n.DC VIN 1 5 0.5\r\n.PROBE/CSDF V(2) IB(Q1) V(3) IC(Q1)\r\n.END\r\n",
       "VIN",
       {"V(2)", "IB(Q1)", "V(3)", "IC(Q1)"}},
      // Lower case, blanks in a pair of nodes, a continuation line, comments of both kinds.
      {"t\n* .PROBE V(99)\n.dc lin i2 0 1 0.1\n.probe v(3, 4) ; V(98)\n+ ic(x1.q3)\n.end\n",
       "i2",
       {"V(3,4)", "IC(X1.Q3)"}},
      // The option as a word of its own; a second .PROBE line adds to the first; inside a
      // subcircuit definition and after .END nothing counts; the title is no line to read.
      {".PROBE V(97)\n.SUBCKT S 1 2\n.PROBE V(96)\n.ENDS\n.PROBE /CSDF V(1)\n.PROBE I(D1)\n"
       ".TRAN 1u 1m\n.END\n.PROBE V(95)\n",
       "",
       {"V(1)", "I(D1)"}},
      // The simulator refuses a word that is no quantity; names stop there.
      {"t\r.PROBE V(1) VX I(D1)\r.DC V1 0 1 1\r", "V1", {"V(1)"}},
  };
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.circuit);
    WriteBytes("c.cir", c.circuit);
    const CircuitNames names = ReadCircuitNames("c.cir");
    EXPECT_EQ(names.sweptSource, c.swept);
    EXPECT_EQ(names.probeNames, c.probes);
  }
  const CircuitNames none = ReadCircuitNames("missing.cir");
  EXPECT_TRUE(none.sweptSource.empty());
  EXPECT_TRUE(none.probeNames.empty());
}

}  // namespace
}  // namespace etherm
