// The dialect's translation, pinned by golden texts: circuit lines in, ngspice deck out.

#include "translate.h"

#include <gtest/gtest.h>

#include <map>

#include "emit_deck.h"
#include "sim_error.h"
#include "text_util.h"

namespace etherm::sim {
namespace {

Deck DeckOf(const std::string& text, const std::map<std::string, std::string>& files = {}) {
  std::map<std::string, std::string> all = files;
  all["dir/c.cir"] = text;
  return LoadDeck("dir/c.cir", [&](const std::string& path) -> std::optional<std::string> {
    auto it = all.find(path);
    if (it == all.end()) return std::nullopt;
    return it->second;
  });
}

std::string Emit(const std::string& circuit, DeckStage stage = {},
                 const std::map<std::string, std::string>& files = {}) {
  return Join(EmitDeck(Translate(DeckOf(circuit, files)), stage), "\n");
}

TEST(Translate, RunDecks) {
  struct Case {
    const char* name;
    std::string circuit, deck;
  } cases[] = {
      {"T_ABS becomes temp= on every device of the model, in its scope",
       "title\r\n"
       "Q1 2 3 0 QN\r\n"
       "Q2 2 3 0 QN temp=50 area=2\r\n"
       "Q3 2 3 0 QO\r\n"
       ".MODEL  QN       NPN(t_abs=77.500 IS=1E-14 BF=100)\r\n"
       ".model QO PNP(IS=1e-14)\r\n"
       ".DC V1  7.50000000000000E+0000  7.50000000000000E+0000  5.00000000000000E-0001\r\n",
       "title\n"
       "Q1 2 3 0 QN temp=77.500\n"
       "Q2 2 3 0 QN area=2 temp=77.500\n"
       "Q3 2 3 0 QO\n"
       ".MODEL  QN       NPN(IS=1E-14 BF=100)\n"
       ".model QO PNP(IS=1e-14)\n"
       ".dc V1 7.50000000000000E+0000 7.50000000000000E+0000 5.00000000000000E-0001\n"
       ".save all\n.end"},
      {"subcircuit calls with PARAMS:, a T_ABS expression, a model shadowed inside",
       "title\n"
       "X1 4 5 6 QSUB PARAMS: t=  77.500\n"
       "X2 4 5 6 QSUB params:t=27\n"
       ".SUBCKT QSUB c b e PARAMS: t=27\n"
       "Q1 c b e QN\n"
       "D1 c b DX\n"
       ".MODEL QN NPN(T_ABS={t} IS=1e-14)\n"
       ".ENDS\n"
       ".MODEL QN NPN(t_abs=10 IS=1e-14)\n"
       ".model DX D(t_abs=-273.000)\n"
       ".tran 1n 1u\n",
       "title\n"
       "X1 4 5 6 QSUB t=77.500\n"
       "X2 4 5 6 QSUB t=27\n"
       ".SUBCKT QSUB c b e t=27\n"
       "Q1 c b e QN temp={t}\n"
       "D1 c b DX temp=-273.000\n"
       ".MODEL QN NPN(IS=1e-14)\n"
       ".ENDS\n"
       ".MODEL QN NPN(IS=1e-14)\n"
       ".model DX D()\n"
       ".tran 1n 1u\n"
       ".save all\n.end"},
      {"continuations, comments, .OP dropped, .TRAN/OP, lines after .END ignored",
       "title\n"
       "* a comment\n"
       "*# shell rm -rf /\n"
       "R1 1 2 1k ; inline comment\n"
       "+ tc1=0\n"
       ".OP\n"
       ".TRAN/OP 1n 1u\n"
       ".END\n"
       "R9 9 0 1\n",
       "title\nR1 1 2 1k tc1=0\n.tran 1n 1u\n.save all\n.end"},
      {"terminal currents measured by 0 V sources, in subcircuits too",
       "title\n"
       "Q1 c b e QN\n"
       "X1 c b SUB\n"
       ".subckt SUB p q\n"
       "M3 p q 0 0 NM L=1u\n"
       ".ends\n"
       ".model QN NPN()\n"
       ".model NM NMOS()\n"
       ".PROBE/CSDF V(c) V(c,b) IB(Q1) IE(Q1) ID(X1.M3) I(V1)\n"
       ".dc LIN V1 0 1 0.5\n",
       "title\n"
       "Vetherm_s_q1_2 b etherm_s_q1_2 0\n"
       "Vetherm_s_q1_3 e etherm_s_q1_3 0\n"
       "Q1 c etherm_s_q1_2 etherm_s_q1_3 QN\n"
       "X1 c b SUB\n"
       ".subckt SUB p q\n"
       "Vetherm_s_m3_1 p etherm_s_m3_1 0\n"
       "M3 etherm_s_m3_1 q 0 0 NM L=1u\n"
       ".ends\n"
       ".model QN NPN()\n"
       ".model NM NMOS()\n"
       ".dc V1 0 1 0.5\n"
       ".save all\n.end"},
      {".IC values in any exponent width, ic= on C and L, .IC I(L) from an included bias file",
       "title\n"
       "L1 a b 10u\n"
       "C1 b 0 1u ic= 1.50000000000000E+0000\n"
       ".ic   V(a)= 1.2345678E+0000  V(b)=-2.00000000000000E-0001\n"
       ".INC bias.bsp\n"
       ".tran 1n 1u\n",
       "title\n"
       "L1 a b 10u ic=5e-3\n"
       "C1 b 0 1u ic=1.50000000000000E+0000\n"
       ".ic V(a)=1.2345678E+0000 V(b)=-2.00000000000000E-0001\n"
       ".tran 1n 1u\n"
       ".save all\n.end"},
      {"pulses whose delay may be negative: single ones become PWL; non-negative plain delays and "
       "DC sweeps stay (periodic ones: EthermSimSources)",
       "title\n"
       "I2 2 0 DC 0 PULSE 0 1m -3u 0 2n 5u\n"
       "V3 3 0 PULSE(0 5 2u 1n 1n 10u 20u)\n"
       "V4 4 0 PULSE(0 5 {td})\n"
       ".TRAN   1n 0.0001200000\n",
       "title\n"
       "I2 2 0 DC 0 PWL({(-3u)} 0 {(-3u)+(1n)} 1m {(-3u)+(1n)+(5u)} 1m {(-3u)+(1n)+(5u)+(2n)} 0)\n"
       "V3 3 0 PULSE(0 5 2u 1n 1n 10u 20u)\n"
       "V4 4 0 PWL({(td)} 0 {(td)+(1n)} 5)\n"
       ".tran 1n 0.0001200000\n"
       ".save all\n.end"},
  };
  std::map<std::string, std::string> files{{"dir/bias.bsp", "* bias\r\n.IC I(L1)=5e-3\r\n"}};
  for (const Case& c : cases) EXPECT_EQ(Emit(c.circuit, {}, files), c.deck) << c.name;
}

TEST(Translate, BiasPointStages) {
  const std::string circuit =
      "rlc\nV1 in 0 PULSE(0 5 1u 1u 1u 1u 4u)\nR1 in a 50\nL1 a b 2m ic=0.1\nC1 b c 0.5u ic=2\n"
      "L2 c 0 1m\nK1 L1 L2 0.5\nR2 c 0 100\n.ic V(a)=1\n.TRAN 0.1u 40u\n.PROBE V(a) I(C1)\n";
  EXPECT_TRUE(NeedsBiasPointRun(Translate(DeckOf(circuit))));
  DeckStage bias;
  bias.kind = DeckStage::kBiasPoint;
  EXPECT_EQ(Emit(circuit, bias),
            "rlc\nV1 in 0 PULSE(0 5 1u 1u 1u 1u 4u)\nR1 in a 50\n"
            "L1 a etherm_ic_L1 2m ic=0.1\n"
            "Ietherm_ic_L1 etherm_ic_L1 b DC 0.1\n"
            "Retherm_ic_L1 etherm_ic_L1 b 1e12\n"
            "Vetherm_s_c1_1 b etherm_s_c1_1 0\n"
            "C1 etherm_s_c1_1 c 0.5u ic=2\n"
            "Vetherm_ic_C1 etherm_s_c1_1 etherm_ic_C1 DC 2\n"
            "Retherm_ic_C1 etherm_ic_C1 c 1e-9\n"
            "L2 c 0 1m\nK1 L1 L2 0.5\nR2 c 0 100\nVetherm_hold_1 a 0 DC 1\n"
            ".op\n.save all\n.end");
  // Held by ngspice itself when sources cannot hold them; only a transient's starting point
  // takes ngspice's holds.
  bias.holdBySources = false;
  EXPECT_NE(Emit(circuit, bias).find("\n.ic v(a)=1\n"), std::string::npos);
  EXPECT_NE(Emit(circuit, bias).find("\n.tran 1e-12 1e-12\n"), std::string::npos);
  bias.holdBySources = true;
  DeckStage from;
  from.kind = DeckStage::kFromBias;
  from.icLine = ".ic v(a)=1 v(b)=2";
  EXPECT_EQ(Emit(circuit, from),
            "rlc\nV1 in 0 PULSE(0 5 1u 1u 1u 1u 4u)\nR1 in a 50\nL1 a b 2m ic=0.1\n"
            "Vetherm_s_c1_1 b etherm_s_c1_1 0\nC1 etherm_s_c1_1 c 0.5u ic=2\n"
            "L2 c 0 1m\nK1 L1 L2 0.5\nR2 c 0 100\n"
            ".tran 0.1u 40u uic\n.ic v(a)=1 v(b)=2\n.save all\n.end");
  EXPECT_FALSE(NeedsBiasPointRun(Translate(DeckOf("t\nC1 1 0 1u ic=1\n.tran 1n 1u uic\n"))));
  EXPECT_FALSE(NeedsBiasPointRun(Translate(DeckOf("t\nC1 1 0 1u\n.ic v(1)=1\n.tran 1n 1u\n"))));
}

TEST(Translate, ProbesAndBiasFile) {
  Translation t =
      Translate(DeckOf("t\nV1 1 0 1\nL1 1 2 1m\nX1 1 S\n.subckt S a\nL3 a 0 1m\nD2 a 0 DX\n.ends\n"
                       ".model DX D()\n.probe v(1) V(1, 2) I(L1) I(X1.L3) I(X1.D2) V(X1.A) V(0)\n"
                       ".SAVEBIAS \"a1.bsp\" TRAN TIME=0.0001200000\n.tran 1n 1u\n"));
  std::vector<std::string> seen;
  for (const Probe& p : t.probes) seen.push_back(p.label + "=" + p.vectorA + "-" + p.vectorB);
  EXPECT_EQ(Join(seen, " "),
            "V(1)=1- V(1,2)=1-2 I(L1)=l1#branch- I(X1.L3)=l.x1.l3#branch- "
            "I(X1.D2)=v.x1.vetherm_s_d2_1#branch- V(X1.A)=x1.a- V(0)=-");
  ASSERT_TRUE(t.saveBias);
  EXPECT_EQ(t.saveBias->file, "a1.bsp");
  EXPECT_DOUBLE_EQ(t.saveBias->time, 1.2e-4);
}

TEST(Translate, Refusals) {
  struct Case {
    const char* circuit;
    const char* says;
  } cases[] = {
      {"t\nR1 1 0 1\n.control\nshell ls\n.endc\n.dc V1 0 1 1\n", "line 3: .CONTROL blocks are"},
      {"t\nR1 1 0 1\n.inc lib.inc\n.dc V1 0 1 1\n", "lib.inc line 2: .CONTROL blocks are"},
      {"t\n.probe IX(Q1)\n.dc V1 0 1 1\n", "line 2: unknown probe quantity IX(Q1)"},
      {"t\n.probe IB(J1)\n.dc V1 0 1 1\n", "IB is not a terminal current of J1"},
      {"t\n.probe IC(Q9)\n.dc V1 0 1 1\n", "line 2: .PROBE IC(Q9): the circuit has no element Q9"},
      {"t\n.probe V(1) junk\n.dc V1 0 1 1\n", "unknown probe quantity junk"},
      {"t\n.dc V1 0 1 1\n.tran 1n 1u\n", "line 3: a second analysis"},
      {"t\nR1 1 0 1\n", "the circuit holds no analysis"},
      {"t\n.ac dec 10 1 1k\n.dc V1 0 1 1\n", ".AC is not supported"},
      {"t\n.model Q NPN(t_abs=hot)\n.dc V1 0 1 1\n", "the T_ABS value hot is neither"},
      {"t\n.model Q NPN(t_abs=inf)\n.dc V1 0 1 1\n", "the T_ABS value inf is neither"},
      {"t\n.model Q NPN(t_abs=1 T_ABS=2)\n.dc V1 0 1 1\n", "T_ABS is given twice"},
      {"t\n.model Q NPN(t_abs= )\n.dc V1 0 1 1\n", "T_ABS has no value"},
      {"t\n.savebias \"a.bsp\" TRAN TIME=nan\n.tran 1n 1u\n", "time nan is not a time"},
      {"t\nX1 1 2 S PARAMS: t=1)\n.dc V1 0 1 1\n", "X1 has \")\" in the parameter list"},
      {"t\n.subckt S a\nR1 a 0 1\n.dc V1 0 1 1\n", "S has no .ENDS"},
      {"t\n.savebias \"a.bsp\" DC\n.tran 1n 1u\n", ".SAVEBIAS is supported as"},
      {"t\n.savebias \"a.bsp\" TRAN TIME=1u\n.dc V1 0 1 1\n", "needs a .TRAN analysis"},
      {"t\n.dc DEC V1 1 10 5\n", "only linear .DC sweeps"},
      {"t\n.inc missing.lib\n.dc V1 0 1 1\n", "line 2: the file missing.lib named here cannot"},
      {"t\n.lib models.lib fast\n.dc V1 0 1 1\n", "the library models.lib has no section fast"},
      {"t\n.inc self.inc\n.dc V1 0 1 1\n", "nest more than"},
      {"t\n.ic I(X1.L1)=1\n.tran 1n 1u\n", "top level only"},
      {"t\n.func f(x) {1 + F (x - 1)}\n.dc V1 0 1 1\n",
       "line 2: the function F calls itself (F -> F)"},
      {"t\n.func h(x) {f(x)}\n.FUNC f(x) = {g(x)*2}\n.func g(y) {sqrt(y) + f(y)}\n.dc V1 0 1 1\n",
       "line 3: the function F calls itself (F -> G -> F)"},
      {"t\n.subckt A 1\n.subckt B 1\n.subckt a 1\n.ends\n.ends\n.ends\n.tran 1n 1u\n",
       "line 4: .SUBCKT A inside its own definition"},
  };
  std::map<std::string, std::string> files{{"dir/lib.inc", "R2 2 0 1\n.control\n.endc\n"},
                                           {"dir/models.lib", ".lib slow\nR3 3 0 1\n.endl\n"},
                                           {"dir/self.inc", ".inc self.inc\n"}};
  for (const Case& c : cases) {
    try {
      Translate(DeckOf(c.circuit, files));
      ADD_FAILURE() << "accepted: " << c.circuit;
    } catch (const SimError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
          << e.what() << "\nlacks: " << c.says;
    }
  }
}

TEST(Translate, FunctionsCallingOtherFunctionsAreAccepted) {
  EXPECT_NO_THROW(
      Translate(DeckOf("t\n.func g(x) {x*2}\n.func f(x) {g(x) + g(sin(x))}\n"
                       ".func h(f) {f + f(1)}\nV1 1 0 DC {h(2)}\n.dc V1 0 1 1\n")));
}

TEST(Translate, LibrarySectionsAndDtemp) {
  const std::string lib =
      "* models\n.LIB fast\n.model DF D(t_abs=50)\n.ENDL\n.LIB slow\n"
      ".model DF D(IS=1)\n.ENDL\n";
  Translation t =
      Translate(DeckOf("t\n.options temp=40\n.lib \"models.lib\" fast\nD1 1 0 DF\n"
                       ".dc V1 0 1 1\n",
                       {{"dir/models.lib", lib}}));
  DeckStage stage;
  stage.tempParams = {TempParam::kDtemp};
  EXPECT_EQ(Join(EmitDeck(t, stage), "\n"),
            "t\n.options temp=40\n.model DF D()\nD1 1 0 DF dtemp=1.0000000000000000e+01\n"
            ".dc V1 0 1 1\n.save all\n.end");
  ASSERT_EQ(t.tempModels.size(), 1u);
  EXPECT_EQ(t.tempModels[0].instances, std::vector<std::string>{"d1"});
  EXPECT_EQ(TemperatureDifference("{t}", "27"), "{(t)-(27)}");
  EXPECT_EQ(TemperatureDifference("77.5", "27"), "5.0500000000000000e+01");
}

}  // namespace
}  // namespace etherm::sim
