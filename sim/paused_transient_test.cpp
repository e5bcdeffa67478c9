// A transient paused, its devices' temperatures changed in place and resumed, follows the
// circuit as a fresh load at the new temperature would from there: the continuous engine's
// simulator side, through etherm-sim --serve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "serve_protocol.h"
#include "serve_test_util.h"
#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

using serve::Outcome;
using serve::Request;
using serve::Verb;

struct Family {
  const char* name;
  const char* circuit;  // with T_ABS=@ where the temperature goes
  const char* model;
  const char* probe;  // the probed quantity compared
};

std::string WithTemperature(const std::string& text, const std::string& celsius) {
  std::string out = text;
  const std::size_t at = out.find('@');
  out.replace(at, 1, celsius);
  return out;
}

// Linear interpolation in (x, y) at `at`.
double At(const std::vector<double>& x, const std::vector<double>& y, double at) {
  const auto later = std::lower_bound(x.begin(), x.end(), at);
  if (later == x.begin()) return y.front();
  if (later == x.end()) return y.back();
  const std::size_t i = static_cast<std::size_t>(later - x.begin());
  const double w = (at - x[i - 1]) / (x[i] - x[i - 1]);
  return y[i - 1] + w * (y[i] - y[i - 1]);
}

TEST(PausedTransient, TemperaturesChangedInPlaceAgreeWithAFreshLoad) {
  const Family families[] = {
      {"diode",
       "t\nV1 a 0 SIN(0.2 1 10k)\nR1 a b 10\nD1 b 0 DX\n"
       ".model DX D(T_ABS=@ IS=1e-12 N=1.2 RS=0.5 XTI=3 EG=1.11)\n.tran 0.2u 200u\n"
       ".probe I(D1)\n",
       "DX", "I(D1)"},
      {"VDMOS",
       "t\nVD d 0 DC 5\nRD d x 2\nVG g 0 SIN(5 1 10k)\nM1 x g 0 MX\n"
       ".model MX VDMOS(T_ABS=@ VTO=3 KP=5 RD=0.05 TCVTH=0.005 MU=-1.5)\n.tran 0.2u 200u\n"
       ".probe ID(M1)\n",
       "MX", "ID(M1)"},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.name);
    ScratchDir dir;
    dir.Write("paused.cir", WithTemperature(f.circuit, "27"));
    dir.Write("fresh.cir", WithTemperature(f.circuit, "127"));
    ServingSim sim(dir);
    sim.Send(std::string(serve::kHello2));
    ASSERT_EQ(sim.ReadLine(), std::string(serve::kReady2));
    long id = 0;
    const auto ask = [&](Request request) {
      request.id = ++id;
      sim.Send(serve::FormatRequest(request));
      for (;;) {
        const std::optional<serve::Answer> a = serve::ParseAnswer(sim.ReadLine().value_or(""));
        if (!a || a->outcome != Outcome::kProgress) return a ? a->outcome : Outcome::kFailed;
      }
    };
    ASSERT_EQ(ask({"paused.cir", 0, Verb::kBegin}), Outcome::kDone) << dir.Read("paused.out");
    ASSERT_EQ(ask({"first.csd", 0, Verb::kUntil, 1e-4}), Outcome::kDone) << dir.Read("paused.out");
    Request temps{"", 0, Verb::kTemps};
    temps.temps = {{f.model, 127}};
    ASSERT_EQ(ask(temps), Outcome::kDone) << dir.Read("paused.out");
    ASSERT_EQ(ask({"second.csd", 0, Verb::kUntil, 2e-4}), Outcome::kDone) << dir.Read("paused.out");
    ASSERT_EQ(ask({"fresh.cir", 0, Verb::kRun}), Outcome::kDone) << dir.Read("fresh.out");
    EXPECT_EQ(sim.CloseAndWait(), 0);

    const Csdf first = ReadCsdf(dir.Read("first.csd"));
    const Csdf second = ReadCsdf(dir.Read("second.csd"));
    const Csdf fresh = ReadCsdf(dir.Read("fresh.csd"));
    ASSERT_FALSE(first.x.empty());
    ASSERT_FALSE(second.x.empty());
    // The pause falls on its time exactly, and the next segment starts with that point.
    EXPECT_EQ(first.x.back(), 1e-4);
    EXPECT_EQ(second.x.front(), 1e-4);
    EXPECT_NEAR(second.x.back(), 2e-4, 1e-12);
    const std::vector<double> after = second.Column(f.probe);
    const std::vector<double> reference = fresh.Column(f.probe);
    double scale = 0;
    for (double v : reference) scale = std::max(scale, std::abs(v));
    double worst = 0, worstAt = 0;
    for (std::size_t i = 1; i < second.x.size(); ++i) {
      const double d = std::abs(after[i] - At(fresh.x, reference, second.x[i]));
      if (d > worst) {
        worst = d;
        worstAt = second.x[i];
      }
    }
    EXPECT_LE(worst, 1e-3 * scale) << "largest difference " << worst << " of " << scale << " at " << worstAt;
    // And the change is real: the cold circuit differs by far more.
    const std::vector<double> cold = first.Column(f.probe);
    double coldWorst = 0;
    for (std::size_t i = 0; i < first.x.size(); ++i) {
      coldWorst = std::max(coldWorst, std::abs(cold[i] - At(fresh.x, reference, first.x[i])));
    }
    EXPECT_GT(coldWorst, 10 * worst);
  }
}

}  // namespace
}  // namespace etherm::sim::test
