// The bias point of a restart imposes every carried quantity once: a table of small circuits,
// each planned (which nodes are held, which entries another branch fixes, which capacitors are
// left to the circuit) and run on ngspice from that bias point.
#include "bias_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim_test_util.h"
#include "text_util.h"

namespace etherm::sim::test {
namespace {

Translation TranslationOf(const std::string& text) {
  return Translate(LoadDeck("c.cir", [&](const std::string&) { return std::optional(text); }));
}

struct Case {
  const char* name;
  const char* circuit;  // without its title, .TRAN and .PROBE lines
  std::vector<std::string> held, dropped, leftToTheCircuit;
  std::vector<std::pair<std::string, std::string>> imposedAt;  // capacitor, value
  std::vector<std::pair<std::string, double>> atStart;         // probe, value at time 0
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // The capacitor's 9-digit ic= and its node's saved voltage differ in the last digits: the
      // saved voltage decides and is imposed once (two sources put 10 A through 1e-9 ohm).
      {"listed capacitor on a saved node",
       "V1 in 0 DC 24\nR1 in out 1\nC1 out 0 100u ic=4.01844524\nRL out 0 2\n"
       ".ic v(out)=4.0184452394807701\n",
       {},
       {"out"},
       {},
       {{"C1", "4.0184452394807701e+00"}},
       {{"V(OUT)", 4.0184452394807701}}},
      {"listed inductor between saved nodes",
       "V1 in 0 DC 5\nR1 in a 1\nL1 a b 1m ic=2\nR2 b 0 1\n.ic v(a)=3 v(b)=2\n",
       {"a", "b"},
       {},
       {},
       {},
       {{"V(A)", 3}, {"V(B)", 2}, {"I(L1)", 2}}},
      // An inductor is a short in the bias point: holding both its ends shorted two holds.
      {"inductor without ic= between saved nodes",
       "V1 in 0 DC 5\nR1 in a 1\nL2 a b 1m\nR2 b 0 1\n.ic v(a)=2.5 v(b)=2.4999\n",
       {"a"},
       {"b"},
       {},
       {},
       {{"V(A)", 2.5}, {"V(B)", 2.5}}},
      {"node a source fixes",
       "V1 in 0 DC 5\nR1 in a 1k\nC1 a 0 1n\n.ic v(in)=4.9999 v(a)=1\n",
       {"a"},
       {"in"},
       {},
       {},
       {{"V(IN)", 5}, {"V(A)", 1}}},
      {"capacitor across a supply",
       "V1 in 0 DC 5\nC1 in 0 1u ic=4.9999\nR1 in 0 10\n",
       {},
       {},
       {"C1"},
       {},
       {{"V(IN)", 5}}},
      {"floating source between saved nodes",
       "VG gd sw PULSE(0 12 0 1n 1n 5u 10u)\nR1 gd 0 1k\nR2 sw 0 1k\n.ic v(gd)=0.1 v(sw)=0.1\n",
       {"gd"},
       {"sw"},
       {},
       {},
       {{"V(GD)", 0.1}, {"V(SW)", 0.1}}},
      {"capacitors in series, both listed",
       "V1 in 0 DC 10\nR1 in a 1k\nC1 a b 1u ic=3.0000001\nC2 b 0 1u ic=2\nR2 b 0 1meg\n"
       ".ic v(a)=5 v(b)=2\n",
       {},
       {"a", "b"},
       {},
       {{"C1", "3.0000000000000000e+00"}, {"C2", "2.0000000000000000e+00"}},
       {{"V(A)", 5}, {"V(B)", 2}}},
      {"subcircuit node a source inside it fixes",
       "V1 in 0 DC 1\nR1 in b 10\nX1 b REF\n.SUBCKT REF p\nV1 n 0 0.7\nR1 p n 100\n.ENDS\n"
       ".ic v(x1.n)=0.69 v(b)=0.5\n",
       {"b"},
       {"x1.n"},
       {},
       {},
       {{"V(X1.N)", 0.7}, {"V(B)", 0.5}}},
      {"capacitor inside a subcircuit",
       "V1 in 0 DC 1\nR1 in a 1k\nX1 a CAP\n.SUBCKT CAP p\nC1 p 0 1u ic=1.5\nR1 p 0 1k\n.ENDS\n"
       ".ic v(a)=1.4\n",
       {},
       {"a"},
       {},
       {},
       {{"V(A)", 1.5}}},
  };
  return cases;
}

std::string Circuit(const Case& c) {
  std::string probes;
  for (const auto& [probe, value] : c.atStart) probes += " " + probe;
  return std::string("t\n") + c.circuit + ".TRAN 0.1u 2u\n.PROBE" + probes + "\n";
}

TEST(BiasPlan, EachQuantityIsImposedOnce) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const Translation t = TranslationOf(Circuit(c));
    const BiasPlan plan = PlanBiasPoint(t);
    std::vector<std::string> held;
    for (const BiasPlan::Hold& h : plan.holds) held.push_back(h.node);
    EXPECT_EQ(held, c.held);
    EXPECT_EQ(plan.dropped, c.dropped);
    std::vector<std::string> left;
    for (std::size_t line : plan.notImposed) left.push_back(t.body[line].words[0]);
    EXPECT_EQ(left, c.leftToTheCircuit);
    std::vector<std::pair<std::string, std::string>> imposed;
    for (const auto& [line, value] : plan.valueOf) imposed.emplace_back(t.body[line].words[0], value);
    EXPECT_EQ(imposed, c.imposedAt);
  }
}

// Every case runs from its bias point at once (no fallback to ngspice's holds, no crawl) and
// starts from the imposed values.
TEST(BiasPlan, EachCaseStartsFromItsImposedValues) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    dir.Write("c.cir", Circuit(c));
    ASSERT_EQ(RunEthermSim(dir, "c.cir"), 0) << dir.Read("c.out");
    EXPECT_EQ(dir.Read("c.out").find("ngspice's own holds"), std::string::npos)
        << dir.Read("c.out");
    const Csdf d = ReadCsdf(dir.Read("c.csd"));
    for (const auto& [probe, value] : c.atStart) {
      // The capacitors' sources see 1e-9 ohm, their currents a few amperes at most.
      EXPECT_NEAR(d.Column(probe).at(0), value, 1e-7) << probe;
    }
  }
}

}  // namespace
}  // namespace etherm::sim::test
