#include <cmath>

#include "analysis/analysis_test_support.h"
#include "analysis/run_files.h"

namespace etherm {
namespace {

// A diode whose current steps from 0.1 A to 2 A at 0.5 ms.
constexpr char kDiodeCircuit[] =
    "diode under a current step\n"
    "I1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\n"
    "D1 1 0 DP\n"
    ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 XTI=3 EG=1.11)\n"
    ".TRAN 10u 2m\n"
    ".PROBE/CSDF V(1) I(D1)\n"
    ".END\n";

// Own impedance 25 K/W in two terms (40 % at 0.3 ms, 60 % at 1.5 ms); plain products.
constexpr char kDiodeProblem[] =
    "TRAN diode\n1\n0.002\nDP 2 2 25 0.4 0.0003 0.6 0.0015 0\n0\n0\n0\n1\n";

// The temperature of the thermal impedance driven by the accepted powers, integrated
// independently of the system's convolution: power linear between rows, exact response of
// each term to it.
std::vector<double> ModelTemperatures(const std::vector<std::vector<double>>& powers) {
  const double resistance = 25, weight[2] = {0.4, 0.6}, tau[2] = {0.0003, 0.0015};
  double rise[2];
  std::vector<double> temperatures;
  for (std::size_t n = 0; n < powers.size(); ++n) {
    const double t = powers[n][0], p = powers[n][1];
    for (int k = 0; k < 2; ++k) {
      const double r = resistance * weight[k];
      if (n == 0) {
        rise[k] = r * p;  // steady state at time 0
        continue;
      }
      const double dt = t - powers[n - 1][0], p0 = powers[n - 1][1];
      if (dt == 0) continue;
      const double e = std::exp(-dt / tau[k]);
      rise[k] = rise[k] * e + r * (p0 * (1 - e) + (p - p0) * (1 - tau[k] / dt * (1 - e)));
    }
    temperatures.push_back(295 + rise[0] + rise[1]);
  }
  return temperatures;
}

TEST_F(AnalysisTest, TransientRunFollowsTheThermalModel) {
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", kDiodeProblem);
  RunTransientAnalysis(state());

  // Each accumulated file: two header lines once, then rows of numbers only.
  for (const char* name : {"c.wyn", "c.moc", "c.tem"}) {
    const auto lines = Lines(name);
    ASSERT_GT(lines.size(), 10u) << name;
    EXPECT_EQ(lines[0], "TITLE='diode under a current step'") << name;
    for (std::size_t n = 2; n < lines.size(); ++n) {
      ASSERT_TRUE(lines[n][0] == ' ' || lines[n][0] == '-') << name << " line " << n + 1;
    }
  }
  EXPECT_EQ(Lines("c.moc")[1].substr(0, 8), "czas DP ");

  const auto powers = Numbers("c.moc", 2);
  const auto temperatures = Numbers("c.tem", 2);
  ASSERT_EQ(powers.size(), temperatures.size());
  const auto model = ModelTemperatures(powers);
  double hottest = 0;
  for (std::size_t n = 0; n < temperatures.size(); ++n) {
    ASSERT_EQ(temperatures[n][0], powers[n][0]);
    if (n > 0) {
      ASSERT_GE(temperatures[n][0], temperatures[n - 1][0]) << "times decrease";
    }
    EXPECT_NEAR(temperatures[n][1], model[n], 1.0) << "at " << temperatures[n][0] << " s";
    hottest = std::max(hottest, temperatures[n][1]);
  }
  EXPECT_GE(temperatures.back()[0], 0.002);
  EXPECT_GT(hottest, 320);  // the step heats the diode by tens of kelvin

  // The window at 0 was simulated again until the temperatures at 0 settled.
  const auto log = Lines("wyniki.txt");
  int startsAtZero = 0;
  for (const auto& line : log) startsAtZero += line == "t0=  0.00000000000000E+0000";
  EXPECT_GE(startsAtZero, 1);

  // History lines: the time, a blank, then the rest as cut from "temp.txt", which begins with
  // the blank after the time: each of the two own rises 23 wide and followed by a blank.
  const auto history = Lines("c.spl");
  ASSERT_GT(history.size(), 2u);
  EXPECT_EQ(history[0], "0 0 0 ");
  for (std::size_t n = 1; n < history.size(); ++n) {
    ASSERT_EQ(history[n].size(), 23u + 1 + 1 + 2 * 24) << history[n];
    EXPECT_EQ(history[n].substr(23, 2), "  ") << history[n];
  }

  // A second run in the same state starts afresh and gives the same files.
  const std::string first = ReadFile("c.tem");
  RunTransientAnalysis(state());
  EXPECT_EQ(ReadFile("c.tem"), first);
}

TEST_F(AnalysisTest, InductorAndCapacitorStatesCrossTheWindows) {
  // A ringing RLC whose inductor current and capacitor voltage are carried from window to
  // window. With next to no thermal resistance the device stays at 295 K (22 °C), so the
  // windowed run must follow one simulation of the whole time at that temperature.
  const std::string circuit =
      "RLC into a diode\n"
      "V1 1 0 PULSE(0 5 20u 1u 1u 60u 150u)\n"
      "R1 1 2 2\nL1 2 3 100u\nC1 3 0 2u\nRD 3 4 100\nD1 4 0 DX\n"
      ".MODEL DX D(T_ABS=27 IS=1e-14 N=1)\n"
      ".TRAN 0.2u 400u\n"
      ".PROBE/CSDF V(4) I(D1) I(L1) V(3)\n"
      ".END\n";
  WriteLines("c.cir", circuit);
  WriteLines("c.par", "TRAN\n1\n0.0004\nDX 2 1 0.001 1 0.0001 0\n0\n1\n1\n1\n");
  RunTransientAnalysis(state());
  int windows = 0;
  for (const auto& line : Lines("wyniki.txt")) windows += line.rfind("t0= ", 0) == 0;
  ASSERT_GE(windows, 2);  // at least one window starts mid-pulse, with current in L1

  std::string reference = circuit;
  reference.replace(reference.find("T_ABS=27"), 8, "T_ABS=22");
  WriteLines("ref.cir", reference);
  state().windowEndTime = 1;
  const auto full = SimulateTable("ref.cir", 0.0, 5);
  ASSERT_GT(full.size(), 100u);
  const auto accepted = Numbers("c.wyn", 2);
  for (std::size_t column : {1u, 3u, 4u}) {  // V(4), I(L1), V(3)
    double scale = 0;
    for (const auto& row : full) scale = std::max(scale, std::fabs(row[column]));
    double worst = 0, at = 0;
    for (const auto& row : accepted) {
      if (row[0] > full.back()[0]) break;  // the last window runs past the end time
      const double deviation = std::fabs(row[column] - ValueAt(full, row[0], column));
      if (deviation > worst) worst = deviation, at = row[0];
    }
    EXPECT_LE(worst, 1e-3 * scale) << "column " << column << ", worst at " << at << " s";
  }
}

TEST_F(AnalysisTest, TransientWindowThatNeverAdvancesEnds) {
  // Power flipping between 1 W and 5 W: the temperature at time 0 never settles, so the
  // window at 0 is repeated.
  UseFlippingStandIn("'V(1)' 'I(D1)'", "0 4.5e-5 9e-5");
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", kDiodeProblem);
  const std::string text = FailureOf([&] { RunTransientAnalysis(state()); });
  EXPECT_NE(text.find("window at 0.0000000E+0000 s has not advanced in 100 iterations"),
            std::string::npos)
      << text;
  EXPECT_EQ(ReadFile("count"), "100\n");
  // No window was accepted: no result file of this run is left, staged or in place.
  for (const std::string& name : Files()) {
    if (name.rfind("wyniki", 0) == 0 || name.rfind("c.", 0) == 0) {
      EXPECT_TRUE(name == "c.cir" || name == "c.par") << name;
    }
  }
}

TEST_F(AnalysisTest, WindowStartingWithinAPicosecondIsALaterWindow) {
  // No current at time 0, then 1 A at 1 V. 98 % of the 25 K/W follow the power at once
  // (1E-15 s), so the first window is accepted up to its line at 5E-13 s and the next starts
  // there; the other 2 % (10 us, too little to move 1 K, so the window reaches the end time)
  // have barely risen by then. That window must carry the accepted history, or its
  // temperatures would continue from the end of the first window, 9E-05 s, 0.5 K warmer.
  UseStandIn(
      "out=\"${1%.cir}.csd\"\n"
      "{ printf '#H\\r\\n\\r\\nTITLE\\r\\n'; for k in 4 5 6 7 8 9 10 11 12; do printf 'x\\r\\n'; "
      "done\n"
      "  printf \"'V(1)' 'I(D1)'\\r\\n\"\n"
      "  i=0; for t in 0 5e-13 4.5e-5 9e-5; do\n"
      "    printf \"#C $t 2\\r\\n1.00000000e+000:1   $i.00000000e+000:2   \\r\\n\"; i=1; done\n"
      "  printf '#;\\r\\n'; } > \"$out\"");
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", "TRAN diode\n1\n0.00009\nDP 2 2 25 0.98 1e-15 0.02 1e-5 0\n0\n0\n0\n1\n");
  RunTransientAnalysis(state());
  const auto log = Lines("wyniki.txt");
  EXPECT_NE(std::find(log.begin(), log.end(), "t0=  5.00000000000000E-0013"), log.end());
  const auto temperatures = Numbers("c.tem", 2);
  ASSERT_GT(temperatures.size(), 3u);
  EXPECT_EQ(temperatures[0][1], 295);
  for (std::size_t n = 1; n < temperatures.size(); ++n) {
    EXPECT_GE(temperatures[n][0], temperatures[n - 1][0]) << n;
    if (temperatures[n][0] <= 1e-12) {
      EXPECT_NEAR(temperatures[n][1], 319.5, 0.01) << n;
    }
  }
  EXPECT_GE(temperatures.back()[0], 0.00009);
  EXPECT_NEAR(temperatures.back()[1], 320, 0.01);
}

TEST_F(AnalysisTest, NineDevicesKeepEveryValueOfTheAcceptedLines) {
  // Nine diodes under pulsed currents. Lines of nine devices' values are longer than the 200
  // characters accumulated lines are cut to. The later windows start from the accepted lines:
  // their circuits' initial conditions from the results, their thermal history from the
  // powers; neither may see a number cut short.
  std::string circuit = "nine diodes under current pulses\n";
  std::string probes = ".PROBE/CSDF";
  std::string problem = "TRAN nine diodes\n9\n0.00015\n";
  for (int d = 1; d <= 9; ++d) {
    const std::string n = std::to_string(d);
    circuit += "I" + n + " 0 " + n + " PULSE(0 0." + n + " 50u 1u 1u 60u 120u)\n";
    circuit += "D" + n + " " + n + " 0 D" + n + "\n";
    circuit += ".MODEL D" + n + " D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n";
    probes += " V(" + n + ") I(D" + n + ")";
    problem += "D" + n + " 2 1 20.0 1 0.00005 0\n0\n";
  }
  WriteLines("c.cir", circuit + ".TRAN 2u 0.3m\n" + probes + "\n.END\n");
  WriteLines("c.par", problem + "0\n0\n1\n");
  RunTransientAnalysis(state());

  const auto lines = Lines("c.moc");
  ASSERT_GT(Lines("c.spl").size(), 10u);  // windows that continue from earlier ones
  for (std::size_t n = 2; n < lines.size(); ++n) {
    EXPECT_EQ(LineNumbers(lines[n]).size(), 10u) << "line " << n + 1 << ": " << lines[n];
  }
  // Each accepted temperature line follows from the accepted powers alone: the windows after
  // the first read the powers of the first.
  const auto powers = Numbers("c.moc", 2);
  const auto temperatures = Numbers("c.tem", 2);
  ASSERT_EQ(powers.size(), temperatures.size());
  double rise = 0;
  for (std::size_t n = 0; n < powers.size(); ++n) {
    const double t = powers[n][0];
    if (t == 0) {
      rise = 20 * powers[n][1];
    } else {
      const double e = std::exp(-(t - powers[n - 1][0]) / 0.00005);
      rise = e * rise + std::sqrt(e) * (1 - std::sqrt(e)) * 20 * powers[n - 1][1] +
             (1 - std::sqrt(e)) * 20 * powers[n][1];
    }
    EXPECT_NEAR(temperatures[n][1], 295 + rise, 1e-9) << "at " << t << " s";
  }
}

}  // namespace
}  // namespace etherm
