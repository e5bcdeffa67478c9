#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foster/cauer.h"
#include "foster/foster_fit.h"
#include "foster/foster_network.h"
#include "foster/table_file.h"
#include "model/analysis_state.h"
#include "model/problem_file.h"
#include "testing/failure_of.h"
#include "testing/scratch_folder.h"

namespace etherm {
namespace {

using testing::FailureOf;
using testing::ScratchFolder;

// A curve of the network at `perDecade` log-spaced times from `first` to `last`.
Curve CurveOf(const FosterNetwork& network, double first, double last, int perDecade) {
  Curve curve;
  const int count = static_cast<int>(std::round(std::log10(last / first) * perDecade));
  for (int i = 0; i <= count; ++i) {
    const double t = first * std::pow(10.0, static_cast<double>(i) / perDecade);
    curve.push_back({t, Impedance(network, t)});
  }
  return curve;
}

// A power transistor's four terms, a decade or so apart.
const FosterNetwork kFourTerms = {{4, 5e-5}, {8, 5e-4}, {12, 3e-3}, {16, 2e-2}};

struct RecoveryCase {
  const char* label;
  FosterNetwork network;
  int terms;  // 0: let the fit choose
  double first, last;
  int perDecade;
};

TEST(FosterFit, RecoversKnownNetworksWithinOnePercentEverywhere) {
  const RecoveryCase cases[] = {
      {"one term", {{2.5, 0.01}}, 0, 1e-4, 10, 8},
      {"two terms, K/W in thousands", {{300, 2e-3}, {1200, 0.4}}, 0, 1e-5, 100, 6},
      {"two terms asked for", {{0.8, 1e-6}, {0.2, 1e-3}}, 2, 1e-7, 1e-1, 10},
      {"four terms asked for", kFourTerms, 4, 1e-6, 1, 8},
      {"four terms, count chosen", kFourTerms, 0, 1e-6, 1, 8},
      {"curve still rising at its end", kFourTerms, 0, 1e-5, 1e-2, 12},
  };
  for (const RecoveryCase& c : cases) {
    SCOPED_TRACE(c.label);
    const Curve curve = CurveOf(c.network, c.first, c.last, c.perDecade);
    const FosterFit fit = FitFoster(curve, c.terms);
    EXPECT_LT(fit.largestRelativeError, 0.01);
    EXPECT_LT(LargestRelativeError(fit.network, curve), 0.01);
    if (c.terms > 0) {
      EXPECT_EQ(fit.network.size(), static_cast<std::size_t>(c.terms));
    }
    EXPECT_LE(fit.network.size(), static_cast<std::size_t>(kMaxFosterTerms));
    for (std::size_t k = 1; k < fit.network.size(); ++k) {
      EXPECT_LE(fit.network[k - 1].timeConstant, fit.network[k].timeConstant);
    }
  }
}

TEST(FosterFit, ChoosesTheFewestTermsThatFit) {
  const Curve oneTerm = CurveOf({{5, 0.02}}, 1e-4, 1, 10);
  EXPECT_EQ(FitFoster(oneTerm, 0).network.size(), 1u);
  std::vector<std::size_t> tried;
  const Curve twoTerms = CurveOf({{1, 1e-4}, {4, 0.1}}, 1e-5, 10, 10);
  const FosterFit fit = FitFoster(twoTerms, 0, [&](int terms, const FosterFit& f) {
    EXPECT_EQ(f.network.size(), static_cast<std::size_t>(terms));
    tried.push_back(f.network.size());
  });
  EXPECT_EQ(fit.network.size(), 2u);
  EXPECT_EQ(tried, (std::vector<std::size_t>{1, 2}));
}

// The 3-stage ladder's junction rise under 1 W by integrating its node equations (RK4, fixed
// steps well inside the fastest mode), for comparison with the Foster terms' closed form.
using Ladder3 = std::array<CauerStage, 3>;
using Temps = std::array<double, 3>;

Temps Slope(const Ladder3& ladder, const Temps& temp) {
  Temps d{};
  for (std::size_t i = 0; i < 3; ++i) {
    double flow = i == 0 ? 1.0 : 0.0;
    if (i > 0) flow -= (temp[i] - temp[i - 1]) / ladder[i - 1].resistance;
    flow -= (temp[i] - (i + 1 < 3 ? temp[i + 1] : 0.0)) / ladder[i].resistance;
    d[i] = flow / ladder[i].capacitance;
  }
  return d;
}

std::vector<double> CauerStepResponse(const Ladder3& ladder, const std::vector<double>& times) {
  double fastest = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const double g = 1 / ladder[i].resistance + (i > 0 ? 1 / ladder[i - 1].resistance : 0);
    fastest = std::max(fastest, 2 * g / ladder[i].capacitance);
  }
  const double dt = 0.05 / fastest;
  Temps temp{};
  std::vector<double> rises;
  double t = 0;
  for (double target : times) {
    while (t < target) {
      const double h = std::min(dt, target - t);
      auto step = [&](const Temps& k, double f) {
        Temps y;
        for (std::size_t i = 0; i < 3; ++i) y[i] = temp[i] + f * h * k[i];
        return y;
      };
      const Temps k1 = Slope(ladder, temp);
      const Temps k2 = Slope(ladder, step(k1, 0.5));
      const Temps k3 = Slope(ladder, step(k2, 0.5));
      const Temps k4 = Slope(ladder, step(k3, 1.0));
      for (std::size_t i = 0; i < 3; ++i) {
        temp[i] += h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
      }
      t += h;
    }
    rises.push_back(temp[0]);
  }
  return rises;
}

TEST(CauerToFoster, ThreeStagesReproduceTheLaddersStepResponse) {
  const Ladder3 ladder = {{{0.2, 1e-3}, {0.5, 5e-3}, {1.0, 2e-2}}};
  const FosterNetwork foster = CauerToFoster({ladder.begin(), ladder.end()});
  ASSERT_EQ(foster.size(), 3u);
  double total = 0;
  for (const FosterTerm& term : foster) total += term.resistance;
  EXPECT_NEAR(total, 1.7, 1e-12);
  std::vector<double> times;
  for (double t = 1e-5; t < 0.3; t *= 1.5) times.push_back(t);
  const std::vector<double> rises = CauerStepResponse(ladder, times);
  for (std::size_t i = 0; i < times.size(); ++i) {
    EXPECT_NEAR(Impedance(foster, times[i]), rises[i], 1e-3 * rises[i]) << "t = " << times[i];
  }
}

TEST(CauerToFoster, OneStageIsOneTermOfTauRC) {
  const FosterNetwork foster = CauerToFoster({{3.0, 0.5}});
  ASSERT_EQ(foster.size(), 1u);
  EXPECT_NEAR(foster[0].resistance, 3.0, 1e-12);
  EXPECT_NEAR(foster[0].timeConstant, 1.5, 1e-12);
}

TEST(CauerToFoster, LaddersBeyondTheStageBoundAreRefused) {
  const std::vector<CauerStage> ladder(kMaxCauerStages + 1, CauerStage{0.1, 1e-3});
  EXPECT_EQ(FailureOf([&] { CauerToFoster(ladder); }),
            "a Cauer ladder of 1001 stages is more than the 1000 etherm-foster converts (its work "
            "grows with the cube of the stages)");
}

TEST(DeviceLine, HoldsOwnResistanceAndWeightsSortedByTimeConstant) {
  const FosterNetwork shuffled = {{12, 3e-3}, {4, 5e-5}, {16, 2e-2}, {8, 5e-4}, {0, 1}};
  EXPECT_EQ(DeviceLine(Normalized(shuffled), "MSW", 3),
            "MSW 3 4 40 0.1 5e-05 0.2 0.0005 0.3 0.003 0.4 0.02 0");
}

TEST(TableFile, ReadsHeaderCommentsSeparatorsAndLineEnds) {
  ScratchFolder folder;
  testing::WriteBytes(folder.File("curve.csv"),
                      "\xEF\xBB\xBF# read off the datasheet\r\n"
                      "t [s],Zth [K/W],tau_I\r\n"
                      "\r\n"
                      "1e-4, 0.25   # first\r\n"
                      "2E-3\t\t0.5\n"
                      "  .01 ,0.5\n");
  const Curve curve = ReadCurve(folder.File("curve.csv"));
  ASSERT_EQ(curve.size(), 3u);
  EXPECT_EQ(curve[0].time, 1e-4);
  EXPECT_EQ(curve[0].zth, 0.25);
  EXPECT_EQ(curve[1].time, 2e-3);
  EXPECT_EQ(curve[2].time, 0.01);
  EXPECT_EQ(curve[2].zth, 0.5);
}

struct BadFileCase {
  const char* content;
  const char* message;  // after "PATH line N: " or "PATH: "
};

TEST(TableFile, BadCurvesAreRefusedWithFileLineAndCause) {
  const BadFileCase cases[] = {
      {"", ": no lines with time and Zth"},
      {"time,zth\n# nothing measured\n", ": no lines with time and Zth"},
      {"t z\n1e-3 0.1\n2e-3 abc\n", " line 3: \"abc\" is not a number"},
      {"1e-3 0.1\nt z\n", " line 2: \"t\" is not a number"},
      {"1e-3 0.1x\n2e-3 0.2\n", " line 1: \"0.1x\" is not a number"},
      // A mistyped first row was taken for a header and dropped: 0.5 K/W instead of 1.
      {"O.5,0.001\n1,0.002\n", " line 1: \"O.5\" is not a number"},
      {"le-5,0.1\n1e-3,0.2\n", " line 1: \"le-5\" is not a number"},
      {"time 0.1x\n1e-3,0.2\n", " line 1: \"time\" is not a number"},
      {"0,001 0,1\n", " line 1: expected 2 numbers (time and Zth), found 4"},
      {"1e-3\n", " line 1: expected 2 numbers (time and Zth), found 1"},
      {"1e-3 0.1\n2e-3 0.3\n3e-3 0.2\n",
       " line 3: Zth falls from 0.3 to 0.2; a thermal impedance never decreases"},
      {"0 0.1\n", " line 1: the time must be above 0, found 0"},
      {"-1e-3 0.1\n", " line 1: the time must be above 0, found -0.001"},
      {"1e-3 0\n", " line 1: Zth must be above 0, found 0"},
      {"1e-3 0.1\n1e-3 0.2\n",
       " line 2: time 0.001 does not follow the previous time 0.001; times must rise"},
      {"1e-2 0.1\n1e-3 0.2\n",
       " line 2: time 0.001 does not follow the previous time 0.01; times must rise"},
  };
  ScratchFolder folder;
  const std::string path = folder.File("curve.csv");
  for (const BadFileCase& c : cases) {
    SCOPED_TRACE(c.content);
    testing::WriteBytes(path, c.content);
    EXPECT_EQ(FailureOf([&] { ReadCurve(path); }), path + c.message);
  }
  EXPECT_EQ(FailureOf([&] { ReadCurve(folder.File("missing.csv")); }),
            folder.File("missing.csv") + ": File not found");
}

TEST(TableFile, FosterAndCauerTablesNeedPositiveValues) {
  ScratchFolder folder;
  const std::string path = folder.File("table.csv");
  testing::WriteBytes(path, "R tau\n0.5 1e-3\n0 1e-2\n");
  EXPECT_EQ(FailureOf([&] { ReadFosterTable(path); }),
            path + " line 3: R must be above 0, found 0");
  testing::WriteBytes(path, "0.5 -1e-3\n");
  EXPECT_EQ(FailureOf([&] { ReadFosterTable(path); }),
            path + " line 1: tau must be above 0, found -0.001");
  testing::WriteBytes(path, "R C\n0.5 1e-3\n0.7 0\n");
  EXPECT_EQ(FailureOf([&] { ReadCauerLadder(path); }),
            path + " line 3: C must be above 0, found 0");
  testing::WriteBytes(path, "0.2 1e-4\n0.5 2e-3\n");
  ASSERT_EQ(ReadCauerLadder(path).size(), 2u);
}

TEST(FosterFit, TooFewPointsForTheTermsAreRefused) {
  const Curve three = CurveOf({{1, 1e-3}}, 1e-4, 1e-2, 1);
  EXPECT_EQ(FailureOf([&] { FitFoster(three, 2); }),
            "3 points are fewer than the 4 parameters (R and tau) of 2 terms");
  EXPECT_EQ(FailureOf([&] { FitFoster({three[0]}, 0); }),
            "1 point is fewer than the 2 parameters (R and tau) of 1 term");
  EXPECT_EQ(FitFoster(three, 0).network.size(), 1u);
}

// Runs etherm-foster in the folder; returns its exit status, standard output and errors.
struct ProgramRun {
  int status;
  std::string out;
  std::string errors;
};

ProgramRun RunProgram(const ScratchFolder& folder, const std::string& args) {
  const char* bin = std::getenv("ETHERM_BIN");
  if (bin == nullptr) return {-1, "", "ETHERM_BIN not set"};
  const std::string command = "cd '" + folder.path().string() + "' && '" + bin +
                              "/etherm-foster' " + args + " >out.txt 2>err.txt </dev/null";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testing::ReadBytes(folder.path() / "out.txt"),
          testing::ReadBytes(folder.path() / "err.txt")};
}

TEST(FosterProgram, ItsDeviceLineIsReadBackByTheProblemFileReader) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  const FosterNetwork network = {{1.5, 2e-4}, {6, 0.05}};
  std::string csv = "time,zth\n";
  for (const CurvePoint& p : CurveOf(network, 1e-5, 1, 6)) {
    char line[64];
    std::snprintf(line, sizeof line, "%.9g,%.9g\n", p.time, p.zth);
    csv += line;
  }
  testing::WriteBytes("curve.csv", csv);
  const ProgramRun run = RunProgram(folder, "fit --name D1 --terminals=2 curve.csv");
  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_TRUE(run.out.starts_with("D1 2 2 ")) << run.out;
  EXPECT_NE(run.out.find("largest relative error"), std::string::npos) << run.out;
  ASSERT_TRUE(run.out.ends_with("\r\n")) << run.out;

  // The line goes into a problem file as it is, its comment included.
  testing::WriteBytes("q.par", testing::CrLfLines({"TRAN fitted", "1", "0.01"}) + run.out +
                                   testing::CrLfLines({"0", "0", "0", "1"}));
  auto state = std::make_unique<AnalysisState>();
  state->baseName = "q";
  UseProblem(*state, ReadProblemFile(state->baseName));
  const Problem& problem = state->problem;
  ASSERT_EQ(problem.deviceCount(), 1);  // no coupling entries made up a device
  const ThermalPair& own = problem.network.pair[0][0];
  ASSERT_EQ(own.terms.size(), 2u);
  EXPECT_EQ(problem.devices[0].terminalCount, 2);
  FosterNetwork read;
  for (const ThermalTerm& term : own.terms) {
    read.push_back({own.resistance * term.weight, term.timeConstant});
  }
  EXPECT_LT(LargestRelativeError(read, CurveOf(network, 1e-5, 1, 6)), 0.01);

  // Refusals of the program: each ends with status 1 (the file) or 2 (the command line), with
  // the reason, never by GSL's abort.
  std::string stages;
  for (int n = 0; n < 100000; ++n) stages += "0.1 1e-3\n";
  testing::WriteBytes("ladder.csv", stages);
  struct Refusal {
    const char* args;
    int status;
    const char* text;
  } refusals[] = {
      {"cauer ladder.csv", 1,
       "etherm-foster: ladder.csv: 100000 stages are more than the 1000 etherm-foster converts\n"},
      {"fit --terminals 12 curve.csv", 2,
       "etherm-foster: --terminals takes a whole number from 2 to 11, not \"12\"\n"},
      {"fit /dev/zero", 1, "etherm-foster: \"/dev/zero\" is not a regular file\n"},
  };
  for (const Refusal& r : refusals) {
    const ProgramRun refused = RunProgram(folder, r.args);
    EXPECT_EQ(refused.status, r.status) << r.args;
    EXPECT_EQ(refused.out, "") << r.args;
    EXPECT_TRUE(refused.errors.starts_with(r.text)) << r.args << ": " << refused.errors;
  }

  testing::WriteBytes("bad.csv", "1e-3 0.2\n2e-3 0.1\n");
  const ProgramRun bad = RunProgram(folder, "fit bad.csv");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.errors,
            "etherm-foster: bad.csv line 2: Zth falls from 0.2 to 0.1; a thermal impedance never "
            "decreases\n");
}

}  // namespace
}  // namespace etherm
