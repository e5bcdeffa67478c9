// Small switching converters through the windowed transient beside ngspice's own self-heating
// solution of each (batch/testdata/converters): the windows restart each converter in every
// phase of its switching period (switch on, off, at an edge, in a dead time), carrying its
// inductors and capacitors, and the temperatures must follow the uninterrupted solution.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "testing/direct_method.h"
#include "testing/scratch_folder.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using etherm::testing::CompareWithDirect;
using etherm::testing::Difference;
using etherm::testing::NumberRows;
using etherm::testing::ProgramRun;
using etherm::testing::ReadBytes;
using etherm::testing::RunEthermTransient;
using etherm::testing::RunNgspice;
using etherm::testing::ScratchFolder;
using etherm::testing::WindowStarts;

constexpr char kConverters[] = ETHERM_CONVERTERS_DIR;

// The windowed engine's goal against the direct solution.

struct Converter {
  const char* name;  // folder and base name; the direct deck is NAME_direct.cir
  double period;     // of the switching, s
  double end;        // the .par's end time, s
  const char* devices[2];
};

// The name alone in ctest's and gtest's listings, not the bytes of the value.
void PrintTo(const Converter& converter, std::ostream* out) {
  *out << converter.name;
}

// Copies the converter's files and the shared heat sink network into the current folder.
void CopyConverter(const Converter& converter) {
  const fs::path folder = fs::path(kConverters) / converter.name;
  for (const auto& entry : fs::directory_iterator(folder)) {
    fs::copy_file(entry.path(), entry.path().filename());
  }
  fs::copy_file(fs::path(kConverters) / "heatsink.inc", "heatsink.inc");
}

// Where each window began in the switching period, as fractions of it.
std::string Phases(const std::vector<double>& starts, double period) {
  std::ostringstream text;
  for (double start : starts) {
    const double cycles = start / period;
    text << " " << cycles - static_cast<long long>(cycles);
  }
  return text.str();
}

// The windowed engine within 1 K; the continuous one, which never restarts, within 0.5 K. Every
// restart of the windowed engine imposes each carried quantity once: a carried capacitor's node
// imposed twice (its ic= and the saved state's hold, apart in the ninth digit) once made the
// boost, the flyback and the half bridge hang at 20.3 us, 62 us and 35.7 us.
struct Engine {
  const char* name;
  const char* option;
  double toleranceK;
  // The .par lists no inductor or capacitor to carry: the windows restart each converter from
  // the whole saved state alone.
  bool unlisted = false;
};

// The carried inductors' and capacitors' counts of the .par in the current folder set to 0.
void UnlistCarried(const std::string& parFile) {
  std::istringstream lines(ReadBytes(parFile));
  std::string out, line;
  while (std::getline(lines, line)) {
    if (line.find("carried") != std::string::npos && !line.empty() && line[0] != '0')
      line = "0" + line.substr(line.find_first_not_of("0123456789"));
    out += line + "\n";
  }
  std::ofstream(parFile, std::ios::binary) << out;
}

class ConverterMatrix : public ::testing::TestWithParam<std::tuple<Converter, Engine>> {};

TEST_P(ConverterMatrix, FollowsNgspiceSelfHeating) {
  const Converter& converter = std::get<0>(GetParam());
  const Engine& engine = std::get<1>(GetParam());
  const double kToleranceK = engine.toleranceK;
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  CopyConverter(converter);
  const std::string base = converter.name;
  if (engine.unlisted) UnlistCarried(base + ".par");

  const ProgramRun direct = RunNgspice(base + "_direct.cir");
  ASSERT_EQ(direct.status, 0) << direct.text << ReadBytes("ngspice.out");
  // A hang is ended by the per-pass time limit (three passes) or, at the latest, by timeout.
  const ProgramRun etherm = RunEthermTransient(base, "ETHERM_SIM_TIMEOUT=60", 300, engine.option);
  std::vector<double> starts = WindowStarts(ReadBytes("wyniki.txt"));
  std::erase_if(starts, [&](double start) { return start >= converter.end * (1 - 1e-9); });
  // Accepted rows up to a failure count too: how far the windows before it were off.
  const auto solution = NumberRows(base + "_direct.txt", 0);
  ASSERT_FALSE(solution.empty());
  const auto accepted =
      fs::exists(base + ".tem") ? NumberRows(base + ".tem", 2) : std::vector<std::vector<double>>{};
  const std::vector<Difference> worst = CompareWithDirect(accepted, solution, 2);
  std::ostringstream report;
  report << base << " (" << engine.name << "): " << starts.size() + 1 << " windows, etherm-batch "
         << etherm.seconds << " s, ngspice " << direct.seconds << " s ("
         << etherm.seconds / direct.seconds << " x); largest difference " << converter.devices[0]
         << " " << worst[0].worst << " K at " << worst[0].at << " s, " << converter.devices[1]
         << " " << worst[1].worst << " K at " << worst[1].at
         << " s; window starts in the period:" << Phases(starts, converter.period);
  RecordProperty("report", report.str());
  ASSERT_EQ(etherm.status, 0) << report.str() << "\nlast window start "
                              << (starts.empty() ? 0 : starts.back()) << " s\n"
                              << etherm.text;

  ASSERT_FALSE(accepted.empty());
  EXPECT_GE(accepted.back()[0], converter.end * (1 - 1e-9)) << report.str();
  for (std::size_t d = 0; d < 2; ++d) {
    // Heated well beyond the tolerance, so that following the solution means something.
    double peak = 0;
    for (const auto& row : solution) peak = std::max(peak, row[1 + 2 * d]);
    EXPECT_GT(peak, 3 * kToleranceK) << converter.devices[d];
    EXPECT_LE(worst[d].worst, kToleranceK) << converter.devices[d] << " off by " << worst[d].worst
                                           << " K at " << worst[d].at << " s; " << report.str();
  }
}

// Periods and duty cycles differ so that the restarts fall in each phase across the table.
INSTANTIATE_TEST_SUITE_P(
    Converters, ConverterMatrix,
    ::testing::Combine(
        ::testing::Values(
            // gate source against ground while the switch's source node swings; on 44 % of 10 us
            Converter{"buck_gnd", 10e-6, 0.3e-3, {"MSW", "DFW"}},
            // switch to ground, diode to the output; on 49 % of 8 us
            Converter{"boost", 8e-6, 0.24e-3, {"MBO", "DBO"}},
            // two switches, 0.5 us dead times in 12 us
            Converter{"sync_buck", 12e-6, 0.36e-3, {"MHI", "MLO"}},
            // coupled inductors (K), both carried; on 35 % of 10 us
            Converter{"flyback", 10e-6, 0.3e-3, {"MFB", "DFB"}},
            // series LC driven just above resonance, 0.3 us dead times in 6 us
            Converter{"half_bridge", 6e-6, 0.18e-3, {"MHB1", "MHB2"}}),
        ::testing::Values(Engine{"windowed", "--engine windowed", 1.0},
                          Engine{"windowed_unlisted", "--engine windowed", 1.0, true},
                          Engine{"continuous", "--engine continuous", 0.5})),
    [](const ::testing::TestParamInfo<std::tuple<Converter, Engine>>& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// The direct method's heat sink network, shared by the converters: its step response is the sum
// of the terms the .par files list.
TEST(ConverterHeatSink, StepResponseIsTheSumOfTheTerms) {
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  for (const char* file : {"heatsink.inc", "check_step.cir"}) {
    fs::copy_file(fs::path(kConverters) / file, file);
  }
  const ProgramRun check = RunNgspice("check_step.cir");
  EXPECT_EQ(check.status, 0) << ReadBytes("ngspice.out") << check.text;
}

}  // namespace
}  // namespace etherm
