// Where a transient run's time goes, window by window: runs the transient analysis of BASE in
// FOLDER (as etherm-batch does, with the etherm-sim beside this program) and prints one line
// of key=value figures: windows (iterations), simulator runs (the run log's "pierwszy" lines),
// wall time, the simulator's time (the wait for each run, as the analysis measures it) and the
// analysis's own time per window (the time from one window's start to the next, less its
// simulator time), as the mean of the first and of the last quarter of the windows, and the
// largest resident memory of the analysis (without the simulator's).
//
//   transient_windows_bench [--no-iteration-files] FOLDER BASE
//
// Only the analysis's public entry and its listener are used, so the same source measures
// older versions of the analysis too.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "model/analysis_state.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

class WindowClock : public etherm::AnalysisListener {
 public:
  void IterationStarted(int) override { starts_.push_back(Clock::now()); }
  void IterationFinished(const etherm::IterationReport& report) override {
    simulator_.push_back(report.simulatorSeconds);
  }

  // Own time of each window: from its start to the next window's start (the run's end for the
  // last), less its simulator time.
  std::vector<double> OwnTimes(Clock::time_point end) const {
    std::vector<double> own;
    for (std::size_t n = 0; n < starts_.size() && n < simulator_.size(); ++n) {
      const Clock::time_point next = n + 1 < starts_.size() ? starts_[n + 1] : end;
      own.push_back(Seconds(next - starts_[n]) - simulator_[n]);
    }
    return own;
  }
  const std::vector<double>& simulator() const { return simulator_; }

 private:
  std::vector<Clock::time_point> starts_;
  std::vector<double> simulator_;
};

double Mean(std::vector<double>::const_iterator first, std::vector<double>::const_iterator last) {
  return first == last ? 0.0 : std::accumulate(first, last, 0.0) / double(last - first);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int CountLines(const std::string& file, const std::string& start) {
  std::ifstream in(file, std::ios::binary);
  int count = 0;
  for (std::string line; std::getline(in, line);) count += line.rfind(start, 0) == 0;
  return count;
}

// Older trees, which the scaling script builds this file into, have no window limit.
template <class Options>
bool SetWindowLimit(Options& options, double factor) {
  if constexpr (requires { options.windowGrowthLimit; }) {
    options.windowGrowthLimit = factor;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  etherm::TransientOptions options;
  int arg = 1;
  for (; arg < argc && std::string(argv[arg]).rfind("--", 0) == 0; ++arg) {
    const std::string option = argv[arg];
    if (option == "--no-iteration-files") {
      options.keepIterationFiles = false;
    } else if (option == "--window-limit" && arg + 1 < argc &&
               SetWindowLimit(options, std::atof(argv[arg + 1]))) {
      ++arg;
    } else {
      arg = argc;  // unknown: the usage below
    }
  }
  if (argc - arg != 2) {
    std::fprintf(stderr, "usage: %s [--no-iteration-files] [--window-limit K] FOLDER BASE\n",
                 argv[0]);
    return 2;
  }
  std::filesystem::current_path(argv[arg]);
  etherm::AnalysisState state;
  state.baseName = argv[arg + 1];
  WindowClock clock;
  state.listener = &clock;
  const Clock::time_point start = Clock::now();
  try {
    etherm::RunTransientAnalysis(state, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  const Clock::time_point end = Clock::now();

  const std::vector<double> own = clock.OwnTimes(end);
  const std::size_t quarter = std::max<std::size_t>(own.size() / 4, 1);
  const double first = Mean(own.begin(), own.begin() + long(std::min(quarter, own.size())));
  const double last = Mean(own.end() - long(std::min(quarter, own.size())), own.end());
  const double simulator = std::accumulate(clock.simulator().begin(), clock.simulator().end(), 0.0);
  const int runs = CountLines("wyniki.txt", "pierwszy");
  const double median = Median(clock.simulator());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "windows=%zu runs=%d wall_s=%.3f simulator_s=%.3f median_sim_ms=%.3f "
      "own_ms_per_window=%.3f own_first_quarter_ms=%.3f own_last_quarter_ms=%.3f "
      "last_over_first=%.2f wall_over_runs_x_median=%.2f max_rss_kb=%ld\n",
      own.size(), runs, Seconds(end - start), simulator, median * 1e3,
      Mean(own.begin(), own.end()) * 1e3, first * 1e3, last * 1e3, first > 0 ? last / first : 0,
      runs > 0 && median > 0 ? Seconds(end - start) / (runs * median) : 0, usage.ru_maxrss);
  return 0;
}
