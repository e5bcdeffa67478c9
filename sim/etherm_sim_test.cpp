// etherm-sim as built, on real ngspice. Reference values come from ngspice run directly.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <sstream>

#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

double FullScale(const std::vector<double>& v) {
  double m = 0;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

void ExpectNear(double actual, double expected, const std::string& what) {
  EXPECT_NEAR(actual, expected, 1e-6 * std::fabs(expected) + 1e-12) << what;
}

// A BJT amplifier stage; QN's model line carries the device temperature as its first parameter.
const char* kBjtStage =
    "V1 1 0 DC 5\r\n"
    "R1 1 2 1k\r\n"
    "RB 1 3 100k\r\n";

TEST(EthermSimTemperature, TAbsGivesTheDeviceTheTemperatureNgspiceUsesForTemp) {
  ScratchDir dir;
  auto reference = [&](const std::string& instanceTemp) {
    std::string deck = std::string("ref\n") + kBjtStage + "Q1 2 3 0 QN" + instanceTemp +
                       "\n.model QN NPN(IS=1e-14 BF=100 XTI=3 EG=1.11)\n.dc V1 5 5 1\n"
                       ".save all @q1[ic]\n.control\nrun\nset wr_singlescale\nset wr_vecnames\n"
                       "option numdgt=15\nwrdata ref.txt @q1[ic]\n.endc\n.end\n";
    return RunNgspiceReference(dir, deck)["@q1[ic]"].at(0);
  };
  const double at77 = reference(" temp=77"), at27 = reference("");
  ASSERT_GT(std::fabs(at77 - at27), 1e-3 * std::fabs(at27)) << "77 C must change the current";

  struct Case {
    const char* name;
    std::string circuit;
    const char* quantity;
  } cases[] = {
      {"model line",
       std::string("t_abs model\r\n") + kBjtStage +
           "Q1 2 3 0 QN\r\n"
           ".MODEL  QN       NPN(t_abs=77.000 IS=1e-14 BF=100 XTI=3 EG=1.11)\r\n"
           ".PROBE/CSDF IC(Q1) V(2)\r\n.DC V1  5 5 1\r\n",
       "IC(Q1)"},
      {"subcircuit call",
       std::string("t_abs subcircuit\r\n") + kBjtStage +
           "X1 2 3 0 QSUB PARAMS: t=  77.000\r\n"
           ".SUBCKT QSUB c b e PARAMS: t=27\r\n"
           "Q1 c b e QM\r\n"
           ".MODEL QM NPN(T_ABS={t} IS=1e-14 BF=100 XTI=3 EG=1.11)\r\n"
           ".ENDS\r\n"
           ".PROBE IC(X1.Q1) V(2)\r\n.DC V1 5 5 1\r\n",
       "IC(X1.Q1)"},
  };
  for (const Case& c : cases) {
    dir.Write("t.cir", c.circuit);
    ASSERT_EQ(RunEthermSim(dir, "t.cir"), 0) << c.name << "\n" << dir.Read("t.out");
    Csdf data = ReadCsdf(dir.Read("t.csd"));
    ExpectNear(data.Column(c.quantity).at(0), at77, c.name);
  }
}

TEST(EthermSimProbes, QuantitiesObeyTheCircuitLaws) {
  ScratchDir dir;
  dir.Write("p.cir",
            "probe laws\n"
            "VDD vdd 0 DC 10\n"
            "VIN in 0 DC 1\n"
            "R1 in b 10k\n"
            "Q1 c b e QN\n"
            "RC vdd c 1k\n"
            "RE e 0 100\n"
            "D1 vdd dn DX\n"
            "RD dn 0 2k\n"
            "M1 md mg 0 0 NM L=1u W=10u\n"
            "RMD vdd md 5k\n"
            "VG mg 0 DC 2\n"
            "J1 jd 0 js JN\n"
            "RJD vdd jd 1k\n"
            "RJS js 0 100\n"
            "X1 vdd in SUBQ\n"
            ".subckt SUBQ p q\n"
            "Q1 k q ee QN\n"
            "RK p k 2k\n"
            "REE ee 0 200\n"
            ".ends\n"
            ".model QN NPN(IS=1e-15 BF=80)\n"
            ".model DX D(IS=1e-14)\n"
            ".model NM NMOS(LEVEL=1 VTO=1 KP=1e-4)\n"
            ".model JN NJF(VTO=-2 BETA=1e-4)\n"
            ".DC VIN 0.8 1.2 0.2\n"
            ".PROBE V(c) V(vdd,c) I(RC) IB(Q1) IC(Q1) IE(Q1) I(R1) V(in) V(b) V(e) I(D1) V(dn)\n"
            "+ ID(M1) IG(M1) V(md) ID(J1) IG(J1) V(jd) IC(X1.Q1) V(X1.K) I(VDD)\n");
  ASSERT_EQ(RunEthermSim(dir, "p.cir"), 0) << dir.Read("p.out");
  Csdf d = ReadCsdf(dir.Read("p.csd"));
  ASSERT_EQ(d.x.size(), 3u);
  for (size_t i = 0; i < d.x.size(); ++i) {
    auto v = [&](const char* q) { return d.Column(q).at(i); };
    ExpectNear(v("V(VDD,C)"), 10 - v("V(C)"), "V(a,b) is V(a) - V(b)");
    ExpectNear(v("I(RC)"), v("V(VDD,C)") / 1e3, "resistor current is its voltage over R");
    ExpectNear(v("IC(Q1)"), v("I(RC)"), "collector current flows in through RC");
    EXPECT_NEAR(v("IB(Q1)") + v("IC(Q1)") + v("IE(Q1)"), 0, 1e-9) << "terminal currents sum to 0";
    ExpectNear(v("IE(Q1)"), -v("V(E)") / 100, "emitter current leaves through RE");
    ExpectNear(v("IB(Q1)"), (v("V(IN)") - v("V(B)")) / 1e4, "base current comes through R1");
    ExpectNear(v("I(R1)"), v("IB(Q1)"), "I(R1) is the base current");
    ExpectNear(v("I(D1)"), v("V(DN)") / 2e3, "diode current flows on through RD");
    ExpectNear(v("ID(M1)"), (10 - v("V(MD)")) / 5e3, "drain current comes through RMD");
    EXPECT_NEAR(v("IG(M1)"), 0, 1e-12);
    ExpectNear(v("ID(J1)"), (10 - v("V(JD)")) / 1e3, "JFET drain current comes through RJD");
    EXPECT_NEAR(v("IG(J1)"), 0, 1e-9);
    ExpectNear(v("IC(X1.Q1)"), (10 - v("V(X1.K)")) / 2e3, "subcircuit collector current");
    // The supply delivers every branch current drawn from vdd (ngspice's sign: into the + node).
    ExpectNear(-v("I(VDD)"), v("I(RC)") + v("I(D1)") + v("ID(M1)") + v("ID(J1)") + v("IC(X1.Q1)"),
               "supply current is the sum of the branches");
  }
  EXPECT_GT(d.Column("IC(Q1)").at(2), d.Column("IC(Q1)").at(0)) << "the sweep reaches the BJT";
}

// An RLC circuit with a floating capacitor, as the transient analysis splits it into windows.
std::string RlcCircuit(double t1, double length, const std::string& extra, const std::string& icL,
                       const std::string& icC) {
  std::ostringstream s;
  s << "rlc window\r\n"
    << ".PARAM td=100u t1=" << t1 << "\r\n"
    << "V1 in 0 PULSE(0 5 {td-t1} 2u 2u 300u 1000u)\r\n"
    << "R1 in a 50\r\n"
    << "L1 a b 2m" << icL << "\r\n"
    << "C1 b c 0.5u" << icC << "\r\n"
    << "R2 c 0 100\r\n"
    << "R3 b 0 2k\r\n"
    << extra << ".TRAN   0.1u " << length << " 0 0.2u\r\n"
    << ".PROBE V(a) V(b) V(c) I(L1) V(b,c)\r\n";
  return s.str();
}

TEST(EthermSimTransient, WindowSplittingIsInvisible) {
  ScratchDir dir;
  const double T = 400e-6;
  // The capacitor starts charged, so the circuit rings before the pulse arrives at 100 us.
  dir.Write("full.cir", RlcCircuit(0, T, "", "", " ic=2"));
  ASSERT_EQ(RunEthermSim(dir, "full.cir"), 0) << dir.Read("full.out");
  Csdf full = ReadCsdf(dir.Read("full.csd"));
  ASSERT_GT(full.x.size(), 1000u);
  EXPECT_EQ(full.x.front(), 0);
  EXPECT_NEAR(full.Column("V(B,C)").at(0), 2, 1e-6) << "ic= holds in the starting bias point";

  for (double target : {60e-6, 100.5e-6, 250e-6}) {
    size_t k = 0;
    while (full.x[k] < target) ++k;
    const double t1 = full.x[k];
    auto value = [&](const char* q) { return WriterReal(full.Column(q).at(k)); };
    std::string ic = ".ic   V(A)=" + value("V(A)") + "  V(B)=" + value("V(B)") +
                     "  V(C)=" + value("V(C)") + "\r\n";
    dir.Write("win.cir",
              RlcCircuit(t1, T - t1, ic, " ic=" + value("I(L1)"), " ic=" + value("V(B,C)")));
    ASSERT_EQ(RunEthermSim(dir, "win.cir"), 0) << dir.Read("win.out");
    Csdf win = ReadCsdf(dir.Read("win.csd"));
    EXPECT_EQ(win.x.front(), 0);
    for (const std::string q : {"V(A)", "V(B)", "V(C)", "I(L1)", "V(B,C)"}) {
      std::vector<double> ref = full.Column(q), got = win.Column(q);
      double tolerance = 1e-3 * FullScale(ref);
      double worst = 0, worstAt = 0;
      for (size_t i = 0; i < win.x.size(); ++i) {
        double diff = std::fabs(got[i] - At(full.x, ref, t1 + win.x[i]));
        if (diff > worst) worst = diff, worstAt = t1 + win.x[i];
      }
      EXPECT_LE(worst, tolerance) << q << " window from " << t1 << " differs most at " << worstAt;
    }
  }
}

TEST(EthermSimTransient, InductorsWithoutIcKeepTheirBiasPointCurrent) {
  // C1's ic= makes the run start from a bias point; the inductors carry no ic= of their own and
  // must start with their bias-point current, not with 0.
  ScratchDir dir;
  dir.Write("l.cir",
            "inductors\r\nV1 1 0 DC 1\r\nX1 1 2 SUB\r\n.SUBCKT SUB a b\r\nL1 a b 1m\r\n"
            ".ENDS\r\nR2 2 0 10\r\nL2 1 4 2m\r\nR4 4 0 20\r\nC1 3 0 1n ic=0.5\r\n"
            "R3 3 0 1k\r\n.TRAN 0.1u 5u\r\n.PROBE I(X1.L1) I(L2) V(3)\r\n");
  ASSERT_EQ(RunEthermSim(dir, "l.cir"), 0) << dir.Read("l.out");
  Csdf d = ReadCsdf(dir.Read("l.csd"));
  ASSERT_GT(d.x.size(), 10u);
  EXPECT_EQ(d.x.front(), 0);
  EXPECT_NEAR(d.Column("V(3)").at(0), 0.5, 1e-6);
  for (size_t i = 0; i < d.x.size(); ++i) {
    EXPECT_NEAR(d.Column("I(X1.L1)").at(i), 0.1, 1e-6) << "at " << d.x[i];
    EXPECT_NEAR(d.Column("I(L2)").at(i), 0.05, 1e-6) << "at " << d.x[i];
  }
  EXPECT_LT(d.Column("V(3)").back(), 0.1) << "C1 discharges through R3";
}

TEST(EthermSimTransient, SaveBiasWritesTheBiasPointOnlyWhenTheRunReachesItsTime) {
  ScratchDir dir;
  const std::string circuit =
      "rl\r\nV1 in 0 PULSE(0 1 0 1u 1u 1 2)\r\nR1 in a 10\r\nL1 a b 100u\r\nR2 b 0 10\r\n"
      "C1 b x 1u\r\nR3 x 0 100\r\n.TRAN 1u 20u\r\n.PROBE V(a) V(b) I(L1) V(x)\r\n";
  dir.Write("a1.bsp", "stale\r\n");
  dir.Write("long.cir", circuit + ".SAVEBIAS \"a1.bsp\" TRAN TIME=30u\r\n");
  ASSERT_EQ(RunEthermSim(dir, "long.cir"), 0) << dir.Read("long.out");
  EXPECT_FALSE(dir.Exists("a1.bsp")) << "a run shorter than TIME writes no bias file";

  dir.Write("r.cir", circuit + ".savebias \"a1.bsp\" tran time=0.0000200000\r\n");
  ASSERT_EQ(RunEthermSim(dir, "r.cir"), 0) << dir.Read("r.out");
  ASSERT_TRUE(dir.Exists("a1.bsp"));
  Csdf run = ReadCsdf(dir.Read("r.csd"));
  std::string bias = dir.Read("a1.bsp");
  auto valueOf = [&](const std::string& key) {
    size_t p = bias.find(key + "=");
    EXPECT_NE(p, std::string::npos) << key << " missing from\n" << bias;
    return p == std::string::npos ? NAN : std::strtod(bias.c_str() + p + key.size() + 1, nullptr);
  };
  ExpectNear(valueOf(".IC V(A)"), run.Column("V(A)").back(), "V(a) at 20 us");
  ExpectNear(valueOf(".IC V(X)"), run.Column("V(X)").back(), "V(x) at 20 us");
  ExpectNear(valueOf(".IC I(L1)"), run.Column("I(L1)").back(), "I(L1) at 20 us");

  // A later deck that includes the bias file starts from that point.
  dir.Write("next.cir",
            "rl again\r\nV1 in 0 DC 1\r\nR1 in a 10\r\nL1 a b 100u\r\nR2 b 0 10\r\n"
            "C1 b x 1u\r\nR3 x 0 100\r\n.INC a1.bsp\r\n.TRAN 1u 5u\r\n"
            ".PROBE V(a) V(b) I(L1) V(x)\r\n");
  ASSERT_EQ(RunEthermSim(dir, "next.cir"), 0) << dir.Read("next.out");
  Csdf next = ReadCsdf(dir.Read("next.csd"));
  EXPECT_NEAR(next.Column("I(L1)").at(0), run.Column("I(L1)").back(), 1e-6);
  EXPECT_NEAR(next.Column("V(X)").at(0), run.Column("V(X)").back(), 1e-6);
}

// The listing and the probe data without the clock of the run.
std::string WithoutClock(std::string text) {
  for (const char* key : {"TIME='", "DATE='"}) {
    const size_t at = text.find(key);
    if (at != std::string::npos) text.replace(at + 6, 8, "--------");
  }
  return text;
}

// A user's ~/.spiceinit is found through the password database, so the test binds a folder of
// its own over that home in a private user and mount namespace: the real home is never touched.
TEST(EthermSimStartUp, AHostileHomeSpiceinitChangesNothing) {
  if (std::system("unshare --user --map-root-user --mount true 2>/dev/null") != 0)
    GTEST_SKIP() << "no private user and mount namespace here (unshare)";
  ScratchDir dir;
  const std::string circuit =
      "diode rc\r\nV1 in 0 PULSE(0 5 0 1u 1u 20u 50u)\r\nR1 in a 100\r\nD1 a b DX\r\n"
      "C1 b 0 1u\r\nR2 b 0 1k\r\n.MODEL DX D(IS=1e-14 N=1.5)\r\n.TRAN 1u 100u\r\n"
      ".PROBE V(a) V(b) I(R1)\r\n";
  dir.Write("plain.cir", circuit);
  ASSERT_EQ(RunEthermSim(dir, "plain.cir"), 0) << dir.Read("plain.out");

  std::filesystem::create_directory(dir.File("home"));
  dir.Write("home/.spiceinit",
            "option reltol=0.1\noption temp=150\nset ngbehavior=ps\nset filetype=binary\n"
            "set interactive\nset askquit\necho garbage from the init file\n"
            "shell touch '" +
                dir.File("owned") + "'\n");
  std::filesystem::rename(dir.File("plain.out"), dir.File("first.out"));
  std::filesystem::rename(dir.File("plain.csd"), dir.File("first.csd"));
  const char* bin = std::getenv("ETHERM_BIN");
  ASSERT_NE(bin, nullptr);
  // Inside the namespace the user is root; its home is looked up there, as ngspice does.
  dir.Write("inside.sh",
            "home=$(getent passwd $(id -u) | cut -d: -f6)\n"
            "mount --bind home \"$home\" || exit 90\n"
            "test -f \"$home/.spiceinit\" || exit 91\n"
            "exec '" +
                std::string(bin) + "/etherm-sim' plain.cir 2>/dev/null\n");
  const std::string command =
      "cd '" + dir.path() + "' && unshare --user --map-root-user --mount sh inside.sh </dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n" << dir.Read("plain.out");
  EXPECT_FALSE(dir.Exists("owned"));
  EXPECT_EQ(dir.Read("plain.out"), dir.Read("first.out"));
  EXPECT_EQ(WithoutClock(dir.Read("plain.csd")), WithoutClock(dir.Read("first.csd")));
}

TEST(EthermSimOutput, ProbeDataTextOfASmallCircuit) {
  ScratchDir dir;
  dir.Write("div.cir",
            "divider\r\nV1 1 0 DC 0\r\nR1 1 2 1k\r\nR2 2 0 1k\r\n"
            ".PROBE V(2) I(R1)\r\n.DC V1 0 2 1\r\n");
  // ngspice sources a .spiceinit of the working folder at start-up; a circuit folder must not
  // run commands.
  dir.Write(".spiceinit", "shell touch owned\n");
  ASSERT_EQ(RunEthermSim(dir, "div.cir"), 0) << dir.Read("div.out");
  EXPECT_FALSE(dir.Exists("owned"));
  std::string text = dir.Read("div.csd");
  size_t time = text.find("TIME='"), date = text.find("DATE='");
  ASSERT_NE(time, std::string::npos);
  ASSERT_NE(date, std::string::npos);
  text.replace(date + 6, 8, "mm/dd/yy");
  text.replace(time + 6, 8, "hh:mm:ss");
  EXPECT_EQ(text,
            "#H\r\n"
            "SOURCE='etherm-sim' VERSION='1'\r\n"
            "TITLE='divider'\r\n"
            "SUBTITLE=''\r\n"
            "TIME='hh:mm:ss' DATE='mm/dd/yy' TEMPERATURE='27'\r\n"
            "ANALYSIS='DC Sweep'\r\n"
            "ALLVALUES='NO' COMPLEXVALUES='NO' NODES='2'\r\n"
            "SWEEPVAR='V1' SWEEPMODE='VAR_STEP'\r\n"
            "XBEGIN='0' XEND='2'\r\n"
            "FORMAT='0 VOLTSorAMPS;EFLOAT : NODEorBRANCH;NODE  '\r\n"
            "DGTLDATA='NO'\r\n"
            "#N\r\n"
            "'V(2)' 'I(R1)'\r\n"
            "#C 0 2\r\n"
            "0.00000000e+000:1   0.00000000e+000:2   \r\n"
            "#C 1 2\r\n"
            "5.00000000e-001:1   5.00000000e-004:2   \r\n"
            "#C 2 2\r\n"
            "1.00000000e+000:1   1.00000000e-003:2   \r\n"
            "#;\r\n");
  EXPECT_FALSE(dir.Exists("div.csd.part"));
}

TEST(EthermSimFailures, FailedRunsLeaveNoProbeDataAndNameTheProblem) {
  struct Case {
    const char* name;
    const char* circuit;  // nullptr: no circuit file at all
    const char* listingSays;
  } cases[] = {
      {"syntax error", "t\nV1 1 0 DC 1\nR1 1 0 1k bogus=3\n.PROBE V(1)\n.DC V1 0 1 1\n",
       "line 3: ngspice rejects \"r1 1 0 1k bogus=3\": unknown parameter (bogus)"},
      {"unknown quantity",
       "t\nV1 1 0 DC 1\nQ1 1 1 0 QN\n.model QN NPN()\n.PROBE IX(Q1)\n"
       ".DC V1 0 1 1\n",
       "line 5: unknown probe quantity IX(Q1)"},
      {"no such node", "t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(9)\n.DC V1 0 1 1\n",
       "line 4: .PROBE V(9): the circuit has no node 9"},
      {"no convergence",
       "t\nI1 0 2 DC 1\nR2 2 0 1k\nB1 2 0 I={-exp(v(2))}\n.TRAN 1u 10u\n"
       ".PROBE V(2)\n",
       "the circuit does not converge"},
      {"control block",
       "t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(1)\n.DC V1 0 1 1\n.control\n"
       "shell touch owned\n.endc\n",
       "line 6: .CONTROL blocks are not accepted"},
      {"control block in an included file",
       "t\nV1 1 0 DC 1\n.inc evil.inc\n.PROBE V(1)\n"
       ".DC V1 0 1 1\n",
       "evil.inc line 2: .CONTROL blocks are not accepted"},
      {"missing include", "t\nV1 1 0 DC 1\n.INCLUDE nothere.lib\n.PROBE V(1)\n.DC V1 0 1 1\n",
       "line 3: the file nothere.lib named here cannot be read"},
      {"a folder included", "t\nV1 1 0 DC 1\n.inc sub\n.PROBE V(1)\n.DC V1 0 1 1\n",
       "line 3: the file sub named here is a directory, not a file"},
      {"an endless device included", "t\nV1 1 0 DC 1\n.lib /dev/zero\n.PROBE V(1)\n.DC V1 0 1 1\n",
       "line 3: the file zero named here is not a regular file"},
      {"a file beyond the size bound", "t\nV1 1 0 DC 1\n.inc huge.lib\n.PROBE V(1)\n.DC V1 0 1 1\n",
       "line 3: the file huge.lib named here holds more than 64 MB"},
      {"mutually recursive functions",
       "t\n.func f(x) {g(x)+1}\n.func g(x) {f(x)*2}\nV1 1 0 DC {f(1)}\nR1 1 0 1k\n"
       ".PROBE V(1)\n.DC V1 1 2 1\n",
       "line 2: the function F calls itself (F -> G -> F)"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("evil.inc", "R1 1 0 1k\n.control\nshell touch owned\n.endc\n");
    std::filesystem::create_directory(dir.File("sub"));
    dir.Write("huge.lib", "");
    std::filesystem::resize_file(dir.File("huge.lib"), (std::uintmax_t{64} << 20) + 1);  // sparse
    if (c.circuit) dir.Write("c.cir", c.circuit);
    // A refusal, the status the analyses do not retry.
    EXPECT_EQ(RunEthermSim(dir, "c.cir"), 1) << c.name;
    EXPECT_FALSE(dir.Exists("c.csd")) << c.name;
    EXPECT_FALSE(dir.Exists("owned")) << c.name;
    std::string listing = dir.Read("c.out");
    EXPECT_NE(listing.find(c.listingSays), std::string::npos)
        << c.name << ": listing lacks \"" << c.listingSays << "\"\n"
        << listing;
  }
}

TEST(EthermSimProgram, HelpAndMemoryBound) {
  ScratchDir dir;
  for (const char* option : {"--help", "-h"}) {
    const ProgramRun help = RunEthermSimProgram(dir, {option});
    EXPECT_EQ(help.status, 0) << option;
    EXPECT_EQ(help.out.rfind("usage: etherm-sim CIRCUIT.cir\n", 0), 0u) << option << help.out;
    EXPECT_FALSE(dir.Exists("--help.out"));
  }
  EXPECT_EQ(RunEthermSimProgram(dir, {}).status, 2);

  dir.Write("c.cir", "t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(1)\n.DC V1 0 1 1\n");
  const ProgramRun bad = RunEthermSimProgram(dir, {"c.cir"}, "ETHERM_SIM_MEMORY_MB=plenty");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(dir.Read("c.out").find("ETHERM_SIM_MEMORY_MB must be a whole number of megabytes"),
            std::string::npos)
      << dir.Read("c.out");
  EXPECT_EQ(RunEthermSimProgram(dir, {"c.cir"}, "ETHERM_SIM_MEMORY_MB=2048").status, 0);

  // A circuit named like one of the run's outputs would be removed before it is read.
  for (const char* name : {"d.out", "d.csd", "d.stan"}) {
    dir.Write(name, "t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(1)\n.DC V1 0 1 1\n");
    const ProgramRun refused = RunEthermSimProgram(dir, {name});
    EXPECT_EQ(refused.status, 2) << name;
    EXPECT_EQ(dir.Read(name).rfind("t\nV1", 0), 0u) << name;
  }
}

TEST(EthermSimProgram, EndsWhenItsParentEnds) {
  ScratchDir dir;
  // A transient of 1E9 steps: it would run for hours.
  dir.Write("long.cir",
            "t\nV1 1 0 SIN(0 1 1k)\nR1 1 2 1k\nC1 2 0 1u\n.PROBE V(2)\n"
            ".TRAN 1n 1 0 1n\n");
  const pid_t simulator = StartOrphanedEthermSim(dir, "long.cir");
  ASSERT_GT(simulator, 0);
  const bool ended = ProcessEnds(simulator, 20);
  EXPECT_TRUE(ended) << "etherm-sim outlived its parent";
  if (!ended) ::kill(simulator, SIGKILL);
}

// The input is checked before any output is removed, and a .SAVEBIAS file outside the circuit's
// folder is refused: the run would have removed it (and written it) wherever it was.
TEST(EthermSimProgram, InputsAreCheckedBeforeAnythingIsRemoved) {
  ScratchDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo.cir").c_str(), 0644), 0);
  std::filesystem::create_directory(dir.File("folder.cir"));
  dir.Write("notes.txt", "my notes\n");
  struct Case {
    const char* argument;
    int status;
    const char* says;
  } cases[] = {
      {"notes.txt", 2, "is not named NAME.cir"},
      {"missing.cir", 1, "cannot read the circuit file missing.cir"},
      {"fifo.cir", 1, "is not a regular file"},
      {"folder.cir", 1, "is not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const std::string base = std::filesystem::path(c.argument).stem();
    for (const char* ext : {".out", ".csd", ".stan"}) dir.Write(base + ext, "kept");
    const ProgramRun run = RunEthermSimProgram(dir, {c.argument});
    EXPECT_EQ(run.status, c.status);
    for (const char* ext : {".out", ".csd", ".stan"}) EXPECT_EQ(dir.Read(base + ext), "kept");
  }
  std::filesystem::create_directory(dir.File("v"));
  dir.Write("v/precious.txt", "precious");
  for (const char* file : {"../v/precious.txt", "/tmp/precious.txt"}) {
    SCOPED_TRACE(file);
    std::filesystem::create_directory(dir.File("w"));
    dir.Write("w/b.cir", std::string("t\nV1 1 0 DC 1\nR1 1 0 1k\n.PROBE V(1)\n.SAVEBIAS \"") +
                             file + "\" TRAN TIME=1u\n.TRAN 1u 2u\n");
    EXPECT_EQ(RunEthermSimProgram(dir, {"w/b.cir"}).status, 1);
    EXPECT_NE(dir.Read("w/b.out").find("lies outside the circuit's folder"), std::string::npos)
        << dir.Read("w/b.out");
  }
  EXPECT_EQ(dir.Read("v/precious.txt"), "precious");
}

// Every file etherm-sim writes is created anew: a link left under its name (or under the name of
// its half-written copy) is replaced, its target untouched.
TEST(EthermSimProgram, OutputsAreNeverWrittenThroughALink) {
  ScratchDir dir;
  dir.Write("c.cir",
            "t\nV1 1 0 SIN(0 1 1k)\nR1 1 2 1k\nC1 2 0 1u\n.PROBE V(2)\n"
            ".SAVEBIAS \"b.bsp\" TRAN TIME=1u\n.TRAN 1u 2u\n");
  const char* names[] = {"c.out",       "c.csd", "c.csd.part", "c.stan",
                         "c.stan.part", "b.bsp", "b.bsp.part"};
  for (const char* name : names) {
    dir.Write(std::string("target-") + name, "precious");
    std::filesystem::create_symlink(dir.File(std::string("target-") + name), dir.File(name));
  }
  ASSERT_EQ(RunEthermSim(dir, "c.cir"), 0) << dir.Read("c.out");
  for (const char* name : names) {
    EXPECT_EQ(dir.Read(std::string("target-") + name), "precious") << name;
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File(name)) &&
                 std::string(name).find(".part") == std::string::npos)
        << name << " is still a link";
  }
  EXPECT_TRUE(dir.Exists("c.csd"));
  EXPECT_TRUE(dir.Exists("b.bsp"));
}

}  // namespace
}  // namespace etherm::sim::test
