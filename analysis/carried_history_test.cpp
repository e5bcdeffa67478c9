// A transient run whose windows carry their history writes, byte for byte, the files of the same
// run computing every window's history from time 0 out of its accumulated files.
#include <map>

#include "analysis/analysis_test_support.h"
#include "model/file_names.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;

constexpr char kExamples[] = ETHERM_EXAMPLES_DIR;

// Two diodes under current pulses of their own, on one heat sink: own impedances of two
// terms, coupled both ways (one mutual term from D2 into D1, two from D1 into D2); powers from
// the diode model.
constexpr char kCoupledCircuit[] =
    "two diodes under current pulses on one heat sink\n"
    "I1 0 1 PULSE(0 3 0.2m 10u 10u 0.8m 2m)\n"
    "I2 0 2 PULSE(0 2 0.7m 10u 10u 0.5m 1.5m)\n"
    "D1 1 0 DA\n"
    "D2 2 0 DB\n"
    ".MODEL DA D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 IKF=10 XTI=3 ISR=1E-10 NR=2 M=0.33 VJ=0.7)\n"
    ".MODEL DB D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 IKF=10 XTI=3 ISR=1E-10 NR=2 M=0.33 VJ=0.7)\n"
    ".TRAN 10u 4m\n"
    ".PROBE/CSDF V(1) I(D1) V(2) I(D2)\n"
    ".END\n";
constexpr char kCoupledProblem[] =
    "TRAN two coupled diodes\n"
    "2\n"
    "0.003\n"
    "DA 2 2 20.0 0.4 0.0003 0.6 0.002 1 2 0 1 8.0 1 0.001\n"
    "1 2.5E-9 1.75 0.042 10 3 0 1E-10 2 0.33 0.7 0.004\n"
    "DB 2 2 30.0 0.5 0.0005 0.5 0.003 1 1 0 2 6.0 0.5 0.0004 0.5 0.004\n"
    "1 2.5E-9 1.75 0.042 10 3 0 1E-10 2 0.33 0.7 0.004\n"
    "0\n0\n0\n";

// The run log's clock lines ("14:51:41") are the only bytes two runs may differ in.
std::string WithoutClock(const std::string& log) {
  std::string out;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    end = end == std::string::npos ? log.size() : end + 1;
    const std::string line = log.substr(start, end - start);
    const bool clock = line.size() == 10 && line[2] == ':' && line[5] == ':';
    out += clock ? "hh:mm:ss\r\n" : line;
    start = end;
  }
  return out;
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const std::string bytes = etherm::testing::ReadBytes(entry.path());
    files[name] = name == "wyniki.txt" ? WithoutClock(bytes) : bytes;
  }
  return files;
}

struct Case {
  const char* name;
  const char* circuit;  // the example's own files when null
  const char* problem;
  const char* endTime;  // an example's shorter end time, so the recomputation stays quick
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class CarriedHistory : public AnalysisTest, public ::testing::WithParamInterface<Case> {
 protected:
  // Runs the case in its own folder; the history carried or recomputed.
  void Run(const fs::path& folder, bool recompute) {
    const Case c = GetParam();
    fs::create_directory(folder);
    if (c.circuit == nullptr) {
      const fs::path example = fs::path(kExamples) / c.name / c.name;
      fs::copy_file(example.string() + ".cir", folder / (std::string(c.name) + ".cir"));
      // Line 3 of a transient problem file starts with its end time.
      std::string problem = etherm::testing::ReadBytes(example.string() + ".par");
      const std::size_t line3 = problem.find('\n', problem.find('\n') + 1) + 1;
      problem.replace(line3, problem.find_first_of(" \t\r\n", line3) - line3, c.endTime);
      etherm::testing::WriteBytes((folder / (std::string(c.name) + ".par")).string(), problem);
    } else {
      WriteLines((folder / (std::string(c.name) + ".cir")).string(), c.circuit);
      WriteLines((folder / (std::string(c.name) + ".par")).string(), c.problem);
    }
    const fs::path back = fs::current_path();
    fs::current_path(folder);
    AnalysisState state;
    state.baseName = c.name;
    TransientOptions options;
    options.recomputeHistory = recompute;
    const std::string failure = FailureOf([&] { RunTransientAnalysis(state, options); });
    fs::current_path(back);
    ASSERT_EQ(failure, "no failure");
  }
};

TEST_P(CarriedHistory, FilesEqualThoseOfTheRecomputationFromTimeZero) {
  Run("carried", false);
  Run("recomputed", true);
  const auto carried = Contents("carried");
  const auto recomputed = Contents("recomputed");
  ASSERT_GT(carried.size(), 20u);  // the accumulated files, temp.txt and many windows' files
  for (const auto& [name, bytes] : recomputed) {
    const auto found = carried.find(name);
    ASSERT_NE(found, carried.end()) << name << " is missing";
    EXPECT_TRUE(found->second == bytes) << name << " differs";
  }
  EXPECT_EQ(carried.size(), recomputed.size());
  // Many windows, each continuing from the history of the ones before.
  EXPECT_GT(Lines(std::string("carried/") + GetParam().name + ".spl").size(), 50u);
}

// Removes "temp.txt" when an iteration starts, as a user tidying the folder might.
class RemoveTermRises : public AnalysisListener {
 public:
  explicit RemoveTermRises(int iteration) : iteration_(iteration) {}
  void IterationStarted(int iteration) override {
    if (iteration == iteration_) fs::remove(kTermRiseFileName);
  }

 private:
  int iteration_;
};

using CarriedHistoryRun = AnalysisTest;

TEST_F(CarriedHistoryRun, TermRiseFileRemovedDuringTheRunIsWrittenAgain) {
  WriteLines("c.cir", kCoupledCircuit);
  std::string problem = kCoupledProblem;
  WriteLines("c.par", problem.replace(problem.find("0.003"), 5, "0.0012"));
  RunTransientAnalysis(state());
  const std::string untouched = ReadFile(kTermRiseFileName);
  const std::string results = ReadFile("c.tem");
  ASSERT_GT(Lines("c.spl").size(), 20u);

  RemoveTermRises remover(20);
  state().listener = &remover;
  RunTransientAnalysis(state());
  EXPECT_TRUE(ReadFile(kTermRiseFileName) == untouched);
  EXPECT_TRUE(ReadFile("c.tem") == results);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CarriedHistory,
    ::testing::Values(Case{"diode_pulses_tran", nullptr, nullptr, "0.004"},
                      Case{"mosfet_switch_tran", nullptr, nullptr, "0.003"},
                      Case{"coupled", kCoupledCircuit, kCoupledProblem, nullptr}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace etherm
