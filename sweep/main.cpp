// etherm-sweep: many analyses of one circuit, one case folder and one etherm-batch each, run by
// GNU parallel or a Slurm job array.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sweep/commands.h"
#include "textio/failure.h"

namespace {

using etherm::AnalysisKind;

constexpr const char* kUsage =
    "usage: etherm-sweep prepare CASES.csv BASE\n"
    "       etherm-sweep run [--jobs N] [--plot] dc|tran BASE\n"
    "       etherm-sweep slurm [--throttle K] [--plot] dc|tran BASE\n"
    "       etherm-sweep gather BASE\n"
    "       etherm-sweep run-case [--plot] dc|tran BASE NAME\n"
    "prepare writes cases/NAME/BASE.par and BASE.cir for every row of CASES.csv (header\n"
    "case,QUANTITY,...; a quantity is a circuit .PARAM name, rth:DEVICE, rth:DEVICE:OTHER,\n"
    "end, start, step, stop or ambient); run runs the cases with GNU parallel, again only\n"
    "those not yet done; slurm writes cases/sweep.sbatch for a Slurm job array; gather writes\n"
    "sweep.csv (and sweep.png) with each case's summary; run-case runs one case. The cases\n"
    "draw no plots of their own unless --plot is given.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "etherm-sweep: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

// A count after an option: a whole number from 1 on.
bool ParseCount(const char* text, int* value) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || n < 1 || n > 1000000) return false;
  *value = static_cast<int>(n);
  return true;
}

bool ParseAnalysis(const std::string& word, AnalysisKind* analysis) {
  if (word == "dc")
    *analysis = AnalysisKind::kDc;
  else if (word == "tran")
    *analysis = AnalysisKind::kTransient;
  else
    return false;
  return true;
}

int Main(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("");
  // Asked for, the text is the program's output and no mistake.
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const std::string& command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  // Options stand before the analysis word: run --jobs, slurm --throttle, and --plot.
  int count = 0;
  bool plot = false;
  const char* counted = command == "run" ? "--jobs" : command == "slurm" ? "--throttle" : nullptr;
  const bool plotted = command == "run" || command == "slurm" || command == "run-case";
  while (!rest.empty() && rest[0].rfind("--", 0) == 0) {
    if (counted != nullptr && rest[0] == counted) {
      if (rest.size() < 2 || !ParseCount(rest[1].c_str(), &count)) {
        return Usage(std::string(counted) + " needs a whole number from 1 on");
      }
      rest.erase(rest.begin(), rest.begin() + 2);
    } else if (plotted && rest[0] == "--plot") {
      plot = true;
      rest.erase(rest.begin());
    } else {
      return Usage("unknown option " + rest[0]);
    }
  }
  AnalysisKind analysis = AnalysisKind::kDc;
  if (command == "prepare" && rest.size() == 2) {
    etherm::sweep::Prepare(rest[0], rest[1], stdout);
    return 0;
  }
  if (command == "gather" && rest.size() == 1) {
    etherm::sweep::Gather(rest[0], stdout);
    return 0;
  }
  if (command == "run" && rest.size() == 2 && ParseAnalysis(rest[0], &analysis)) {
    etherm::sweep::RunOptions options;
    options.analysis = analysis;
    options.base = rest[1];
    options.jobs = count;
    options.progress = isatty(STDERR_FILENO) != 0;
    options.plot = plot;
    return etherm::sweep::Run(options, stdout);
  }
  if (command == "slurm" && rest.size() == 2 && ParseAnalysis(rest[0], &analysis)) {
    etherm::sweep::WriteSlurmScript({analysis, rest[1], count, plot}, stdout);
    return 0;
  }
  if (command == "run-case" && rest.size() == 3 && ParseAnalysis(rest[0], &analysis)) {
    // The name is a folder under cases/, never a path out of it.
    if (rest[2].empty() || rest[2] == "." || rest[2] == ".." ||
        rest[2].find('/') != std::string::npos) {
      return Usage("\"" + rest[2] + "\" is no case name");
    }
    etherm::sweep::RunCase(analysis, rest[1], rest[2], plot);
  }
  return Usage("");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const etherm::Failure& failure) {
    std::fprintf(stderr, "etherm-sweep: %s\n", failure.what());
    return 1;
  }
}
