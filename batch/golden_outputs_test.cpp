// Every file a run of a bundled example writes, byte for byte, against the manifest recorded
// before the inside was reshaped. The clock lines of the run log are the only bytes allowed to
// differ; the iterations CSV, which holds the simulator's run times, and the plots, which are
// gnuplot's and its fonts', are not recorded. ETHERM_UPDATE_GOLDEN=1 rewrites the manifests
// (then review the diff and say why).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "testing/scratch_folder.h"

namespace etherm {
namespace {

namespace fs = std::filesystem;
using etherm::testing::ReadBytes;
using etherm::testing::ScratchFolder;

constexpr char kExamples[] = ETHERM_EXAMPLES_DIR;
constexpr char kManifests[] = ETHERM_GOLDEN_DIR;

// FNV-1a: enough to tell two runs' bytes apart; the size beside it makes a report readable.
std::uint64_t Fnv1a(const std::string& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// The run log holds the time of day of each simulator run ("14:51:41"); those lines are masked.
std::string WithoutClock(const std::string& log) {
  std::string out;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line, '\n')) {
    const bool clock = line.size() == 9 && line[2] == ':' && line[5] == ':' && line[8] == '\r';
    out += clock ? std::string("hh:mm:ss\r") : line;
    out += '\n';
  }
  return out;
}

std::map<std::string, std::string> Manifest(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".iterations.csv")) continue;
    std::string bytes = ReadBytes(entry.path());
    if (name == "wyniki.txt") bytes = WithoutClock(bytes);
    char text[64];
    std::snprintf(text, sizeof text, "%zu %016llx", bytes.size(),
                  static_cast<unsigned long long>(Fnv1a(bytes)));
    entries[name] = text;
  }
  return entries;
}

std::map<std::string, std::string> ReadManifest(const fs::path& file) {
  std::map<std::string, std::string> entries;
  std::ifstream in(file);
  std::string name, size, hash;
  while (in >> name >> size >> hash) entries[name] = size + " " + hash;
  return entries;
}

struct Example {
  const char* name;
  const char* analysis;
};

void PrintTo(const Example& example, std::ostream* os) {
  *os << example.name;
}

class GoldenOutputs : public ::testing::TestWithParam<Example> {};

TEST_P(GoldenOutputs, EveryFileAsRecorded) {
  const Example example = GetParam();
  const char* bin = std::getenv("ETHERM_BIN");
  ASSERT_NE(bin, nullptr);
  ScratchFolder folder(ScratchFolder::Enter::kYes);
  for (const char* extension : {".cir", ".par"}) {
    fs::copy_file(fs::path(kExamples) / example.name / (std::string(example.name) + extension),
                  std::string(example.name) + extension);
  }
  const std::string command = std::string("ETHERM_SIMULATOR=") + bin + "/etherm-sim " + bin +
                              "/etherm-batch --no-plot " + example.analysis + " " + example.name +
                              " 2>/dev/null >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const std::map<std::string, std::string> actual = Manifest(".");
  const fs::path manifestFile = fs::path(kManifests) / (std::string(example.name) + ".manifest");
  if (std::getenv("ETHERM_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(manifestFile);
    for (const auto& [name, entry] : actual) out << name << ' ' << entry << '\n';
    GTEST_SKIP() << "wrote " << manifestFile;
  }
  const std::map<std::string, std::string> expected = ReadManifest(manifestFile);
  ASSERT_FALSE(expected.empty()) << "no manifest " << manifestFile;
  for (const auto& [name, entry] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      ADD_FAILURE() << name << " was not written";
    } else {
      EXPECT_EQ(found->second, entry) << name << " differs (size and hash)";
    }
  }
  for (const auto& [name, entry] : actual) {
    EXPECT_TRUE(expected.count(name)) << name << " is written but not recorded";
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, GoldenOutputs,
                         ::testing::Values(Example{"diode_dc", "dc"}, Example{"bjt_pair_dc", "dc"},
                                           // The windowed engine's files, as specified.
                                           Example{"diode_pulses_tran", "tran --engine windowed"},
                                           Example{"mosfet_switch_tran", "tran --engine windowed"}),
                         [](const ::testing::TestParamInfo<Example>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace etherm
