// The state etherm-sim saves beside a transient run's probe data, on real ngspice.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

// The names line and the rows of a state file.
struct State {
  std::string head;
  std::vector<std::string> names;
  std::vector<std::vector<double>> rows;
};

State ReadState(const std::string& text) {
  State s;
  std::istringstream in(text);
  std::string line;
  std::getline(in, s.head);
  if (!s.head.empty() && s.head.back() == '\r') s.head.pop_back();
  if (std::getline(in, line)) {
    std::istringstream names(line);
    for (std::string n; names >> n;) s.names.push_back(n);
  }
  while (std::getline(in, line)) {
    std::istringstream values(line);
    std::vector<double> row;
    for (double v; values >> v;) row.push_back(v);
    if (!row.empty()) s.rows.push_back(row);
  }
  return s;
}

TEST(EthermSimState, FreeNodesInductorCurrentsAndCapacitorVoltagesAtEveryPoint) {
  ScratchDir dir;
  dir.Write("s.cir",
            "state\r\nVIN in 0 PULSE(0 5 1u 1u 1u 5u 20u)\r\nVG g a 2\r\nR1 g b 100\r\n"
            "L1 b a 1m\r\nC1 in a 10n\r\nR2 a 0 1k\r\nX1 a SUB\r\n.SUBCKT SUB p\r\n"
            "R1 p n3 1k\r\nC1 n3 0 1n\r\n.ENDS\r\n.TRAN 0.1u 10u\r\n"
            ".PROBE V(a) I(L1) V(in,a) V(x1.n3)\r\n");
  dir.Write("s.stan", "stale\r\n");
  ASSERT_EQ(RunEthermSim(dir, "s.cir"), 0) << dir.Read("s.out");
  const State s = ReadState(dir.Read("s.stan"));
  // VIN fixes in, VG fixes g (the plus node of a source between two others).
  EXPECT_EQ(s.head, "etherm-stan 1 5");
  std::vector<std::string> sorted = s.names;
  std::sort(sorted.begin(), sorted.end() - 2);
  EXPECT_EQ(sorted, (std::vector<std::string>{"v(a)", "v(b)", "v(x1.n3)", "ic(l1)", "ic(c1)"}));
  const Csdf d = ReadCsdf(dir.Read("s.csd"));
  ASSERT_EQ(s.rows.size(), d.x.size());
  auto column = [&](const std::string& name) {
    return static_cast<std::size_t>(std::find(s.names.begin(), s.names.end(), name) -
                                    s.names.begin()) +
           1;
  };
  for (std::size_t i = 0; i < d.x.size(); ++i) {
    ASSERT_EQ(s.rows[i].size(), 6u);
    EXPECT_EQ(s.rows[i][0], d.x[i]);
    // The probe data hold 9 digits, the state every bit.
    EXPECT_NEAR(s.rows[i][column("v(a)")], d.Column("V(A)")[i], 1e-8);
    EXPECT_NEAR(s.rows[i][column("ic(l1)")], d.Column("I(L1)")[i], 1e-11);
    EXPECT_NEAR(s.rows[i][column("ic(c1)")], d.Column("V(IN,A)")[i], 1e-8);
    EXPECT_NEAR(s.rows[i][column("v(x1.n3)")], d.Column("V(X1.N3)")[i], 1e-8);
  }

  // A DC run saves none and leaves none from before.
  dir.Write("s.cir", "dc\r\nV1 1 0 1\r\nR1 1 2 1k\r\nC1 2 0 1n\r\n.DC V1 0 1 1\r\n.PROBE V(2)\r\n");
  dir.Write("s.stan", "stale\r\n");
  ASSERT_EQ(RunEthermSim(dir, "s.cir"), 0) << dir.Read("s.out");
  EXPECT_FALSE(dir.Exists("s.stan"));
}

TEST(EthermSimState, ACircuitOfTooManyValuesSavesItsCountAlone) {
  ScratchDir dir;
  std::string circuit = "ladder\r\nV1 n0 0 PULSE(0 1 0 1u 1u 5u 10u)\r\n";
  for (int k = 1; k <= 1001; ++k) {
    circuit += "R" + std::to_string(k) + " n" + std::to_string(k - 1) + " n" + std::to_string(k) +
               " 10\r\n";
  }
  circuit += "C1 n1001 0 1n\r\n.TRAN 1u 2u\r\n.PROBE V(n1001)\r\n";
  dir.Write("l.cir", circuit);
  ASSERT_EQ(RunEthermSim(dir, "l.cir"), 0) << dir.Read("l.out");
  EXPECT_EQ(dir.Read("l.stan"), "etherm-stan 1 1002\r\n");
  EXPECT_NE(dir.Read("l.out").find("the circuit has 1002 state values, more than the 1000"),
            std::string::npos);
}

TEST(EthermSimState, NodesASubcircuitSourceFixesAreNotHeld) {
  // A source inside the subcircuit fixes x1.n: a hold on it would contradict that source.
  ScratchDir dir;
  dir.Write("h.cir",
            "held\r\nV1 in 0 1\r\nR1 in b 10\r\nX1 b REF\r\n.SUBCKT REF p\r\nV1 n 0 0.7\r\n"
            "R1 p n 100\r\n.ENDS\r\nC1 b 0 1n ic=0.5\r\n.ic v(x1.n)=0.7\r\n.TRAN 0.1u 2u\r\n"
            ".PROBE V(b) V(x1.n)\r\n");
  ASSERT_EQ(RunEthermSim(dir, "h.cir"), 0) << dir.Read("h.out");
  EXPECT_EQ(dir.Read("h.out").find("trying ngspice's own holds"), std::string::npos)
      << dir.Read("h.out");
  EXPECT_EQ(dir.Read("h.out").find("Vetherm_hold"), std::string::npos) << dir.Read("h.out");
  const Csdf d = ReadCsdf(dir.Read("h.csd"));
  EXPECT_NEAR(d.Column("V(B)").at(0), 0.5, 1e-6);
  EXPECT_NEAR(d.Column("V(X1.N)").at(0), 0.7, 1e-6);
}

}  // namespace
}  // namespace etherm::sim::test
