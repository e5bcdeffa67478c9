// Time-dependent sources keep their absolute timing when a transient window starts later: the
// window's circuit shifts each source by the window start, and etherm-sim must run the shifted
// sources (negative delays, PWL points before 0) with the same waveform.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

// The window start as the transient writer prints it: 10 decimals.
std::string Start(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10f", s);
  return buf;
}

std::string Shifted(const std::string& time, double s) {
  return "{" + time + "-" + Start(s) + "}";
}

std::string Sources(double s) {
  const double fc = 40e3, fs = 8e3;
  char sffm[128];
  // SFFM carries its timing in its two phases (degrees): a shift by s adds 360 f s to each.
  std::snprintf(sffm, sizeof sffm, "SFFM(0 1 40k 1.5 8k %.12g %.12g)", 30 + 360 * fc * s,
                10 + 360 * fs * s);
  return "sources\r\n"
         "V1 1 0 PULSE(0 5 " +
         Shifted("10u", s) +
         " 2u 3u 20u 50u)\r\n"
         "V2 2 0 PULSE(1 -2 " +
         Shifted("30u", s) +
         " 5u 5u 15u)\r\n"
         "V3 3 0 SIN(0.5 2 20k " +
         Shifted("5u", s) +
         " 0)\r\n"
         "V4 4 0 PWL(" +
         Shifted("0", s) + " 0 " + Shifted("10u", s) + " 3 " + Shifted("25u", s) + " -1 " +
         Shifted("60u", s) + " 2 " + Shifted("90u", s) +
         " 0)\r\n"
         "V5 5 0 EXP(0 4 " +
         Shifted("15u", s) + " 8u " + Shifted("55u", s) +
         " 12u)\r\n"
         "V6 6 0 " +
         sffm +
         "\r\n"
         "R1 1 0 1k\r\nR2 2 0 1k\r\nR3 3 0 1k\r\nR4 4 0 1k\r\nR5 5 0 1k\r\nR6 6 0 1k\r\n"
         "V9 9 0 DC 1\r\nR9 9 0 1k\r\n";
}

TEST(EthermSimSources, ShiftedSourcesKeepTheirAbsoluteTiming) {
  const double T = 100e-6;
  const char* names[] = {"V(1)", "V(2)", "V(3)", "V(4)", "V(5)", "V(6)"};
  const char* kinds[] = {"periodic PULSE", "single PULSE", "SIN", "PWL", "EXP", "SFFM"};
  ScratchDir dir;
  dir.Write("full.cir", Sources(0) +
                            ".TRAN 0.05u 100u 0 0.025u\r\n"
                            ".PROBE V(1) V(2) V(3) V(4) V(5) V(6)\r\n");
  ASSERT_EQ(RunEthermSim(dir, "full.cir"), 0) << dir.Read("full.out");
  Csdf full = ReadCsdf(dir.Read("full.csd"));
  // Starts every 7 us over two periods of the pulse fall in every phase of every source. EXP
  // has kinks ngspice sets no breakpoints at; the small maximum step keeps the interpolation of
  // the reference between its points well below the tolerance there.
  for (double s = 7e-6; s < T - 5e-6; s += 7e-6) {
    char length[32];
    std::snprintf(length, sizeof length, "%.10f", T - s);
    dir.Write("win.cir", Sources(s) + ".TRAN 0.05u " + length +
                             " 0 0.025u\r\n"
                             ".PROBE V(1) V(2) V(3) V(4) V(5) V(6)\r\n");
    ASSERT_EQ(RunEthermSim(dir, "win.cir"), 0) << "window from " << s << "\n"
                                               << dir.Read("win.out");
    Csdf win = ReadCsdf(dir.Read("win.csd"));
    for (int q = 0; q < 6; ++q) {
      std::vector<double> ref = full.Column(names[q]), got = win.Column(names[q]);
      double scale = 0;
      for (double v : ref) scale = std::max(scale, std::fabs(v));
      double worst = 0, at = 0;
      for (size_t i = 0; i < win.x.size(); ++i) {
        double d = std::fabs(got[i] - At(full.x, ref, s + win.x[i]));
        if (d > worst) worst = d, at = s + win.x[i];
      }
      EXPECT_LE(worst, 1e-3 * scale) << kinds[q] << ", window from " << s << ": worst at " << at;
    }
  }
}

TEST(EthermSimSources, PulseDelayThatNgspiceWouldPanicOnRuns) {
  // ngspice 39 alone stops this with "breakpoint in the past"; shifted by one period it is the
  // same waveform from time 0 on.
  ScratchDir dir;
  const std::string rest = "R1 1 0 1k\r\n.TRAN 0.1u 130u\r\n.PROBE V(1)\r\n";
  dir.Write("neg.cir", "panic case\r\nV1 1 0 PULSE(0 5 -60u 1u 1u 40u 100u)\r\n" + rest);
  dir.Write("pos.cir", "panic case\r\nV1 1 0 PULSE(0 5 40u 1u 1u 40u 100u)\r\n" + rest);
  ASSERT_EQ(RunEthermSim(dir, "neg.cir"), 0) << dir.Read("neg.out");
  ASSERT_EQ(RunEthermSim(dir, "pos.cir"), 0) << dir.Read("pos.out");
  Csdf neg = ReadCsdf(dir.Read("neg.csd")), pos = ReadCsdf(dir.Read("pos.csd"));
  std::vector<double> a = neg.Column("V(1)"), b = pos.Column("V(1)");
  for (size_t i = 0; i < neg.x.size(); ++i)
    ASSERT_NEAR(a[i], At(pos.x, b, neg.x[i]), 5e-3) << "at " << neg.x[i];
  EXPECT_NEAR(At(neg.x, a, 60e-6), 5, 1e-9);
  EXPECT_NEAR(At(neg.x, a, 100e-6), 0, 1e-9);
}

// A later window's periodic pulse, started before the window, still has its edges as
// breakpoints: without them ngspice steps over edges shorter than its step and the energy of a
// switching edge comes out wrong. Starts in the off phase and on the plateau.
TEST(EthermSimSources, LaterWindowPulseKeepsItsEdgesAsTimePoints) {
  struct Case {
    const char* start;
    double edges[2];  // s, the next edge's ends in the window's time
  };
  const Case cases[] = {{"37u", {3e-6, 3.02e-6}}, {"42u", {2.92e-6, 2.94e-6}}};
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("w.cir", std::string("window\r\nV1 1 0 PULSE(0 5 {10u-") + c.start +
                           "} 20n 20n 4.9u 10u)\r\nR1 1 0 1k\r\n.TRAN 0.1u 8u\r\n.PROBE V(1)\r\n");
    ASSERT_EQ(RunEthermSim(dir, "w.cir"), 0) << dir.Read("w.out");
    const Csdf run = ReadCsdf(dir.Read("w.csd"));
    for (double edge : c.edges) {
      double nearest = 1;
      for (double x : run.x) nearest = std::min(nearest, std::fabs(x - edge));
      EXPECT_LT(nearest, 1e-12) << "start " << c.start << ", edge at " << edge;
    }
  }
}

}  // namespace
}  // namespace etherm::sim::test
