// Every input the fuzzers found a fault with, and every seed, run through the fuzzers' entries:
// each must end in a reported failure or none, never in a crash or another exception.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/entries.h"
#include "testing/scratch_folder.h"

namespace etherm::fuzz {
namespace {

struct Target {
  const char* name;
  std::function<void(std::string_view)> run;
};

// Names the case by its target in test listings, not by the bytes of the struct.
void PrintTo(const Target& target, std::ostream* os) {
  *os << target.name;
}

const Target kTargets[] = {
    {"problem_file", RunProblemFile},
    {"dc_writer", RunDcWriter},
    {"transient_writer", RunTransientWriter},
    {"sim_translate", RunSimTranslation},
    {"serve_lines", RunServeLines},
#ifdef ETHERM_FUZZ_FOSTER
    {"foster_tables", RunFosterTables},
#endif
};

std::vector<std::filesystem::path> Inputs(const std::string& target) {
  std::vector<std::filesystem::path> files;
  for (const char* kind : {"regressions", "corpus"}) {
    const std::filesystem::path dir = std::filesystem::path(kind) / target;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  return files;
}

class FuzzInputs : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzInputs, EndWithoutFault) {
  const Target& target = GetParam();
  const std::vector<std::filesystem::path> files = Inputs(target.name);
  EXPECT_FALSE(files.empty()) << "no seeds for " << target.name;
  for (const std::filesystem::path& file : files) {
    SCOPED_TRACE(file.string());
    EXPECT_NO_THROW(target.run(testing::ReadBytes(file)));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzInputs, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace etherm::fuzz
