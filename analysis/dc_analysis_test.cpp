#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

// A power diode fed from the swept source through a resistor.
constexpr char kDiodeCircuit[] =
    "diode and resistor\n"
    "V1 1 0 DC 1\n"
    "R1 1 2 2\n"
    "D1 2 0 DP\n"
    ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 XTI=3 EG=1.11)\n"
    ".DC V1 1 8 1\n"
    ".PROBE/CSDF V(2) I(D1)\n"
    ".END\n";

TEST_F(AnalysisTest, DcPointsObeyTheThermalNetwork) {
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", DiodeProblem(0, 1.5, 6, 25));
  RunDcAnalysis(state());
  const auto results = Numbers("c.wyn", 0);
  const auto powers = Numbers("c.moc", 0);
  const auto temperatures = Numbers("c.tem", 0);
  ASSERT_EQ(results.size(), 4u);  // 0, 1.5, 3, 4.5
  ASSERT_EQ(powers.size(), 4u);
  ASSERT_EQ(temperatures.size(), 4u);
  for (std::size_t n = 0; n < results.size(); ++n) {
    const double sweep = 1.5 * static_cast<double>(n);
    EXPECT_EQ(results[n][0], sweep);
    const double power = results[n][1] * results[n][2];
    EXPECT_NEAR(powers[n][1], power, 1e-6 * std::fabs(power) + 1e-12);
    EXPECT_NEAR(temperatures[n][1], 295 + 25 * power, 1.0) << "at " << sweep;
  }
  // The hottest point is tens of kelvin above ambient: the loop really iterated.
  EXPECT_GT(temperatures.back()[1], 330);
  // Only the run's own files remain beside the inputs.
  EXPECT_EQ(Files(), (std::vector<std::string>{"a1.cir", "c.cir", "c.moc", "c.par", "c.tem",
                                               "c.wyn", "wyniki.txt"}));
}

TEST_F(AnalysisTest, DcSweepRules) {
  // Without thermal resistance every point settles in its first iteration.
  struct Case {
    double start, step, end;
    std::vector<double> points;
  } cases[] = {
      {0, 1, 5, {0, 1, 2, 3, 4}},
      {5, -1, 0, {5, 4, 3, 2, 1}},
      {3, 1, 3, {3}},
  };
  WriteLines("c.cir", kDiodeCircuit);
  for (const auto& c : cases) {
    WriteLines("c.par", DiodeProblem(c.start, c.step, c.end, 0));
    RunDcAnalysis(state());
    const auto results = Numbers("c.wyn", 0);
    ASSERT_EQ(results.size(), c.points.size()) << c.start << " " << c.step << " " << c.end;
    for (std::size_t n = 0; n < results.size(); ++n) EXPECT_EQ(results[n][0], c.points[n]);
    // Each point settled at once: one iteration of four log lines.
    const auto log = Lines("wyniki.txt");
    ASSERT_EQ(log.size(), 4 * c.points.size());
    EXPECT_EQ(log[0], "startuj\xEA");
    EXPECT_EQ(log[1], "pierwszy");
    EXPECT_EQ(log[2].size(), 8u);
    EXPECT_EQ(log[3].substr(0, 4), "dc= ");
    EXPECT_EQ(std::strtod(log.back().c_str() + 4, nullptr), c.points.back() + c.step);
  }
}

TEST_F(AnalysisTest, DcFailures) {
  WriteLines("c.cir", kDiodeCircuit);
  // A zero step is refused before anything runs.
  WriteLines("c.par", DiodeProblem(0, 0, 5, 25));
  EXPECT_NE(FailureOf([&] { RunDcAnalysis(state()); }).find("sweep step is 0"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("c1.cir"));
  // So is a step that leads away from the end: only the start would be tried, and recorded
  // only if its first iteration happened to settle.
  WriteLines("c.par", DiodeProblem(3, 1, 2, 25));
  EXPECT_NE(FailureOf([&] { RunDcAnalysis(state()); }).find("leads away from the sweep end"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("c1.cir"));

  // A circuit without a .PROBE line would record nothing: every device at 295 K.
  std::string noProbe = kDiodeCircuit;
  noProbe.erase(noProbe.find(".PROBE"), noProbe.find(".END") - noProbe.find(".PROBE"));
  WriteLines("c.cir", noProbe);
  WriteLines("c.par", DiodeProblem(0, 1, 5, 25));
  EXPECT_EQ(FailureOf([&] { RunDcAnalysis(state()); }),
            "Circuit file \"c.cir\" has no .PROBE line; it must list 1 pair of a node voltage "
            "and a current for the modelled devices");
  // A device whose name matches no model of the circuit would stay cold in the simulator.
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", "DC\n1\n0\n1\n5\ndp 2 25 0\n1\n");
  EXPECT_NE(FailureOf([&] {
              RunDcAnalysis(state());
            }).find("has no .MODEL line named dp (case included)"),
            std::string::npos);

  // Power flipping between 1 W and 5 W: the first point never settles.
  UseFlippingStandIn("'V(2)' 'I(D1)'", "0");
  WriteLines("c.par", DiodeProblem(0, 1, 5, 25));
  const std::string text = FailureOf([&] { RunDcAnalysis(state()); });
  EXPECT_NE(text.find("sweep value 0 has not settled after 100 iterations"), std::string::npos)
      << text;
  EXPECT_NE(text.find("DP "), std::string::npos) << text;
  EXPECT_EQ(ReadFile("c.wyn"), "");  // nothing settled, nothing recorded
  EXPECT_EQ(ReadFile("count"), "100\n");
}

TEST_F(AnalysisTest, ModelThatCannotTakeItsTemperatureEndsTheFirstIteration) {
  // BSIM4 devices take neither temp= nor dtemp=: the simulator refuses the circuit rather than
  // compute the device cold, and the analysis shows its reason.
  WriteLines("c.cir",
             "bsim4 switch\n"
             "VD 1 0 DC 5\nVG 2 0 DC 1\nRD 1 3 100\n"
             "M1 3 2 0 0 MB W=10u L=1u\n"
             ".MODEL MB NMOS(T_ABS=27 LEVEL=14 VERSION=4.8)\n"
             ".DC VG 1 3 1\n"
             ".PROBE/CSDF V(2) IG(M1) V(3) ID(M1)\n"
             ".END\n");
  WriteLines("c.par", "DC\n1\n1\n1\n3\nMB 3 50 0\n2\n");
  const std::string text = FailureOf([&] { RunDcAnalysis(state()); });
  EXPECT_NE(text.find("ngspice cannot set the temperature of each device of model MB"),
            std::string::npos)
      << text;
  // Nothing was accepted, so no earlier results were replaced (there were none).
  EXPECT_FALSE(std::filesystem::exists("c.wyn"));
  EXPECT_FALSE(std::filesystem::exists("wyniki.txt"));
  EXPECT_TRUE(std::filesystem::exists("c1.cir"));  // the first iteration's files stay
  EXPECT_FALSE(std::filesystem::exists("c2.cir"));
}

TEST_F(AnalysisTest, DcAfterATransientProblemComputesAsInAFreshProgram) {
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", DiodeProblem(0, 1.5, 6, 25));
  RunDcAnalysis(state());
  const std::string fresh = ReadFile("c.tem");

  // The window program keeps one state: a transient problem whose own resistance and terms the
  // DC file does not mention (its run ends early, for want of a circuit) must not heat the DC
  // diode a second time.
  WriteLines("t.par", "TRAN diode\n1\n1e-3\nDP 2 1 50 1 0.001 0\n0\n0\n0\n1\n");
  state().baseName = "t";
  EXPECT_EQ(FailureOf([&] { RunTransientAnalysis(state()); }), "File not found: t.cir");
  state().baseName = "c";
  RunDcAnalysis(state());
  EXPECT_EQ(ReadFile("c.tem"), fresh);
}

// Records what a run reports.
class Recorder : public AnalysisListener {
 public:
  void IterationFinished(const IterationReport& report) override { iterations.push_back(report); }
  void Accepted(std::span<const AcceptedPoint> rows) override {
    points.insert(points.end(), rows.begin(), rows.end());
  }
  std::vector<IterationReport> iterations;
  std::vector<AcceptedPoint> points;
};

TEST_F(AnalysisTest, DcRunReportsItsIterationsAndPointsWithTheValuesOfTheFiles) {
  WriteLines("c.cir", kDiodeCircuit);
  WriteLines("c.par", DiodeProblem(0, 1.5, 6, 25));
  Recorder recorder;
  state().listener = &recorder;
  RunDcAnalysis(state());
  state().listener = nullptr;

  const auto results = Numbers("c.wyn", 0);
  const auto powers = Numbers("c.moc", 0);
  const auto temperatures = Numbers("c.tem", 0);
  ASSERT_EQ(recorder.points.size(), results.size());
  for (std::size_t n = 0; n < results.size(); ++n) {
    const AcceptedPoint& p = recorder.points[n];
    EXPECT_EQ(p.x, results[n][0]);
    EXPECT_EQ(p.probes, std::vector<double>(results[n].begin() + 1, results[n].end()));
    EXPECT_EQ(p.powers, std::vector<double>(powers[n].begin() + 1, powers[n].end()));
    EXPECT_EQ(p.temperatures,
              std::vector<double>(temperatures[n].begin() + 1, temperatures[n].end()));
  }
  ASSERT_GE(recorder.iterations.size(), results.size());
  int number = 0;
  for (const IterationReport& r : recorder.iterations) {
    EXPECT_EQ(r.iteration, ++number);
    ASSERT_EQ(r.givenTemperatures.size(), 1u);
    ASSERT_EQ(r.computedTemperatures.size(), 1u);
    EXPECT_EQ(r.largestDeviation, std::fabs(r.computedTemperatures[0] - r.givenTemperatures[0]));
    EXPECT_FALSE(r.acceptedEnd.has_value());
    EXPECT_GE(r.simulatorSeconds, 0);
  }
  // The iteration that settles the last point gave the simulator its accepted temperature
  // within 1 K.
  EXPECT_LE(recorder.iterations.back().largestDeviation, 1.0);
  EXPECT_EQ(recorder.iterations.back().computedTemperatures[0], temperatures.back()[1]);
}

// The run log without its clock lines, which differ from run to run.
std::string LogWithoutClock(const std::string& log) {
  std::string out;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const bool clock = line.size() == 9 && line[2] == ':' && line[5] == ':';
    out += (clock ? std::string("hh:mm:ss\r") : line) + "\n";
  }
  return out;
}

TEST_F(AnalysisTest, DcIterationFilesAreWrittenOnlyWhenKept) {
  namespace fs = std::filesystem;
  const fs::path top = fs::current_path();
  std::map<std::string, std::string> outputs[2];
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept" : "in memory");
    const fs::path folder = top / (keep ? "kept" : "memory");
    fs::create_directory(folder);
    fs::current_path(folder);
    WriteLines("c.cir", kDiodeCircuit);
    WriteLines("c.par", DiodeProblem(0, 1.5, 6, 25));
    state_ = std::make_unique<AnalysisState>();
    state().baseName = "c";
    DcOptions options;
    options.keepIterationFiles = keep;
    RunDcAnalysis(state(), options);
    for (const char* name : {"c.wyn", "c.moc", "c.tem", "a1.cir"})
      outputs[keep][name] = ReadFile(name);
    outputs[keep]["wyniki.txt"] = LogWithoutClock(ReadFile("wyniki.txt"));
    const auto log = Lines("wyniki.txt");
    const long iterations = std::count(log.begin(), log.end(), std::string("startuj\xEA"));
    ASSERT_GT(iterations, 4);
    std::vector<std::string> expected = {"a1.cir", "c.cir", "c.moc",     "c.par",
                                         "c.tem",  "c.wyn", "wyniki.txt"};
    if (keep) {
      for (long n = 1; n <= iterations; ++n)
        for (const char* extension : {".cir", ".csd", ".out", ".txt", ".moc", ".tem"})
          expected.push_back("c" + std::to_string(n) + extension);
      std::sort(expected.begin(), expected.end());
      // The copy is the last iteration's circuit, as its file holds it.
      EXPECT_EQ(ReadFile("a1.cir"), ReadFile("c" + std::to_string(iterations) + ".cir"));
    }
    EXPECT_EQ(Files(), expected);
    fs::current_path(top);
  }
  EXPECT_EQ(outputs[0], outputs[1]);
}

// A failed iteration's files are there when its failure names them, in memory or not.
TEST_F(AnalysisTest, ADcFailureWritesTheFilesItNames) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    bool serve;
    std::string circuit;
    std::string failure;  // a part of it
    std::vector<std::string> files;
  } cases[] = {
      // The serving simulator refuses the circuit in memory: its text and listing are written.
      {"refused",
       true,
       std::string(kDiodeCircuit)
           .replace(std::string(kDiodeCircuit).find(".END"), 4, ".control\nshell ls\n.endc\n.END"),
       "; see its listing \"c1.out\"",
       {"a1.cir", "c1.cir", "c1.out"}},
      // Probe data that cannot be read (here from a simulator run on files, read back into
      // memory): the file the failure names is there.
      {"bad value",
       false,
       kDiodeCircuit,
       "Unreadable results file \"c1.csd\", line 15",
       {"a1.cir", "c1.cir", "c1.csd"}},
  };
  const fs::path top = fs::current_path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path folder = top / c.what;
    fs::create_directory(folder);
    fs::current_path(folder);
    if (!c.serve) {
      UseStandIn(
          "printf '#H\\r\\n\\r\\nTITLE\\r\\n' > \"${1%.cir}.csd\"\n"
          "for k in 4 5 6 7 8 9 10 11 12; do printf 'x\\r\\n'; done >> \"${1%.cir}.csd\"\n"
          "printf \"'V(2)' 'I(D1)'\\r\\n#C 0 2\\r\\n1.0x:1   1.00000000e+000:2   \\r\\n#;\\r\\n\" "
          ">> \"${1%.cir}.csd\"");
    }
    WriteLines("c.cir", c.circuit);
    WriteLines("c.par", DiodeProblem(0, 1, 5, 25));
    state_ = std::make_unique<AnalysisState>();
    state().baseName = "c";
    const std::string text = FailureOf([&] { RunDcAnalysis(state()); });
    EXPECT_NE(text.find(c.failure), std::string::npos) << text;
    std::vector<std::string> files;
    for (const std::string& name : Files())
      if (name.rfind("c.", 0) != 0 && name != "wyniki.txt" && name != "stand-in")
        files.push_back(name);
    EXPECT_EQ(files, c.files);
    EXPECT_EQ(ReadFile("a1.cir"), ReadFile("c1.cir"));
    fs::current_path(top);
    unsetenv("ETHERM_SIM_NO_SERVE");
    setenv("ETHERM_SIMULATOR", (std::string(std::getenv("ETHERM_BIN")) + "/etherm-sim").c_str(), 1);
  }
}

}  // namespace
}  // namespace etherm
