// etherm-batch: the two analyses without a window, in the current folder.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "batch/batch_display.h"
#include "batch/batch_report.h"
#include "batch/celsius_argument.h"
#include "batch/interrupt.h"
#include "batch/margin_csv.h"
#include "batch/temperature_limits.h"
#include "model/listener_fan_out.h"
#include "process/child.h"
#include "report/run_recorder.h"
#include "report/started_gnuplot.h"
#include "textio/failure.h"

namespace {

const char kUsage[] =
    "usage: etherm-batch dc [--accelerate] [--keep-iteration-files] [--ambient C]\n"
    "                       [--tmax LIMITS] [OPTION...] BASE\n"
    "       etherm-batch tran [--engine windowed|continuous] [--tolerance K]\n"
    "                         [--no-iteration-files] [--window-limit K] [--ambient C]\n"
    "                         [--tmax LIMITS] [OPTION...] BASE\n"
    "Runs the DC or transient electrothermal analysis of BASE.par and BASE.cir in the current\n"
    "folder. The summary goes to standard output, warnings and failures to standard error; the\n"
    "results to BASE.csv, BASE.iterations.csv, the run log wyniki.txt and the files of the\n"
    "analysis. Options may stand anywhere on the line.\n"
    "\n"
    "Options:\n"
    "  -v, --verbose         also print every status line of every iteration on standard\n"
    "                        error (the run log wyniki.txt keeps them all in any case).\n"
    "  --no-plot             no plots BASE.svg and BASE.png; the summary, BASE.csv and\n"
    "                        BASE.iterations.csv are written all the same.\n"
    "  --no-iteration-files  a transient run removes each window's circuit file and simulator\n"
    "                        listing (BASEn.cir, BASEn.out) once the window is done.\n"
    "  --keep-iteration-files  a DC run writes each iteration's files (BASEn.cir, .csd, .out,\n"
    "                        .txt, .moc, .tem) and keeps them; without it a DC run writes none\n"
    "                        (only a failed iteration's, to look at) and is faster.\n"
    "  --window-limit K      a transient window asks the simulator for at most K times the time\n"
    "                        the last window advanced (K above 1, such as 4): long runs cost in\n"
    "                        proportion to their length; the same 1 K settle test.\n"
    "  --engine E            the transient's engine: continuous (the default where the\n"
    "                        simulator serves paused transients, as etherm-sim does) runs one\n"
    "                        simulation, paused where the temperatures are taken and set in\n"
    "                        place, never restarted; windowed (the default with any other\n"
    "                        simulator) restarts the circuit every window from the state\n"
    "                        carried to its start.\n"
    "  --tolerance K         kelvin (default 1): a window is accepted while the temperatures\n"
    "                        computed stay within K of those simulated; the continuous engine\n"
    "                        sizes its segments for about half of K.\n"
    "  --accelerate          a DC run steps each point by Newton's method on the estimated\n"
    "                        slope of power against temperature; fewer simulator runs.\n"
    "  --ambient C           the ambient temperature in degrees Celsius instead of 295 K\n"
    "                        (21.85 C); also the temperature of the circuit's other devices\n"
    "                        (.OPTIONS TEMP) unless the circuit sets its own.\n"
    "  --tmax LIMITS         device temperature limits in degrees Celsius (150, or\n"
    "                        Q1=175,Q2=150); points over them are listed at the end and the\n"
    "                        exit status is 3. Without it the summary still flags a device\n"
    "                        above 150 C, and the exit status stays 0.\n"
    "  -h, --help            print this text and exit.\n"
    "\n"
    "On a terminal a progress line shows the iteration and the sweep value or the simulated\n"
    "time against the end, with the rate and the time left; otherwise a progress line is\n"
    "written once a minute.\n"
    "Exit status: 0 the analysis ended; 1 it failed (the reason on standard error); 2 wrong\n"
    "arguments; 3 a --tmax limit was exceeded; 128 + N ended by signal N (Ctrl-C).\n"
    "Environment: ETHERM_SIMULATOR, ETHERM_SIM_TIMEOUT, ETHERM_SIM_MEMORY_MB,\n"
    "ETHERM_SIM_NO_SERVE (see the user's guide).\n";

}  // namespace

int main(int argc, char** argv) {
  using etherm::BatchDisplay;
  // The option may stand anywhere; the analysis and the base name keep their order.
  etherm::TransientOptions options;
  options.engine = etherm::TransientEngine::kContinuousWhereServed;
  etherm::DcOptions dcOptions;
  std::optional<double> ambientC;
  std::optional<etherm::TemperatureLimits> limits;
  bool plot = true;
  bool verbose = false;
  bool help = false;
  std::vector<const char*> words;
  // An option given twice took its last value silently; which one the user meant is unknown.
  std::vector<std::string> given;
  bool windowLimitGiven = false;
  for (int i = 1; i < argc; ++i) {
    for (const char* once : {"--ambient", "--tmax", "--window-limit", "--engine", "--tolerance"}) {
      if (std::strcmp(argv[i], once) != 0) continue;
      if (std::find(given.begin(), given.end(), once) != given.end()) {
        std::fprintf(stderr, "etherm-batch: %s is given twice; give it once\n", once);
        return 2;
      }
      given.push_back(once);
    }
    if (std::strcmp(argv[i], "--no-iteration-files") == 0) {
      options.keepIterationFiles = false;
    } else if (std::strcmp(argv[i], "--keep-iteration-files") == 0) {
      dcOptions.keepIterationFiles = true;
    } else if (std::strcmp(argv[i], "--verbose") == 0 || std::strcmp(argv[i], "-v") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      help = true;
    } else if (std::strcmp(argv[i], "--no-plot") == 0) {
      plot = false;
    } else if (std::strcmp(argv[i], "--ambient") == 0) {
      ambientC = i + 1 < argc ? etherm::CelsiusArgument(argv[++i]) : std::nullopt;
      if (!ambientC) {
        std::fputs(
            "etherm-batch: --ambient needs a temperature in degrees Celsius above -273.15"
            " and below 1000\n",
            stderr);
        return 2;
      }
    } else if (std::strcmp(argv[i], "--tmax") == 0) {
      try {
        limits = etherm::ParseTemperatureLimits(i + 1 < argc ? argv[++i] : "");
      } catch (const etherm::Failure& failure) {
        std::fprintf(stderr, "etherm-batch: %s\n", failure.what());
        return 2;
      }
    } else if (std::strcmp(argv[i], "--window-limit") == 0) {
      const char* text = i + 1 < argc ? argv[++i] : "";
      char* end = nullptr;
      const double factor = std::strtod(text, &end);
      if (*text == '\0' || *end != '\0' || !(factor > 1) || !std::isfinite(factor)) {
        std::fputs("etherm-batch: --window-limit needs a factor above 1, such as 4\n", stderr);
        return 2;
      }
      options.windowGrowthLimit = factor;
      windowLimitGiven = true;
    } else if (std::strcmp(argv[i], "--engine") == 0) {
      const char* engine = i + 1 < argc ? argv[++i] : "";
      if (std::strcmp(engine, "windowed") == 0) {
        options.engine = etherm::TransientEngine::kWindowed;
      } else if (std::strcmp(engine, "continuous") == 0) {
        options.engine = etherm::TransientEngine::kContinuous;
      } else {
        std::fputs("etherm-batch: --engine is windowed or continuous\n", stderr);
        return 2;
      }
    } else if (std::strcmp(argv[i], "--tolerance") == 0) {
      const char* text = i + 1 < argc ? argv[++i] : "";
      char* end = nullptr;
      const double kelvin = std::strtod(text, &end);
      if (*text == '\0' || *end != '\0' || !(kelvin > 0) || !(kelvin <= 100)) {
        std::fputs("etherm-batch: --tolerance needs kelvin above 0 and at most 100, such as 0.1\n",
                   stderr);
        return 2;
      }
      options.tolerance = kelvin;
    } else if (std::strcmp(argv[i], "--accelerate") == 0) {
      dcOptions.accelerate = true;
    } else {
      words.push_back(argv[i]);
    }
  }
  const bool usable =
      words.size() == 2 && (std::strcmp(words[0], "dc") == 0 || std::strcmp(words[0], "tran") == 0);
  if (help || !usable) {
    // Asked for, the text is the program's output; otherwise it explains a mistake.
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  const bool dc = std::strcmp(words[0], "dc") == 0;
  if (!dc && dcOptions.keepIterationFiles) {
    std::fputs(
        "etherm-batch: --keep-iteration-files is an option of dc; a transient run keeps its "
        "iteration files unless --no-iteration-files is given\n",
        stderr);
    return 2;
  }
  if (dc && windowLimitGiven) {
    std::fputs("etherm-batch: --window-limit is an option of tran; a DC run has no windows\n",
               stderr);
    return 2;
  }
  // The state is large; keep it off the stack.
  auto state = std::make_unique<etherm::AnalysisState>();
  state->baseName = words[1];
  if (ambientC) {
    state->ambientTemperature = *ambientC + etherm::kCelsiusZero;
    state->ambientForCircuit = true;
  }
  BatchDisplay display(*state, dc ? etherm::AnalysisKind::kDc : etherm::AnalysisKind::kTransient,
                       stderr, isatty(STDERR_FILENO) != 0, verbose);
  etherm::MarginCsv margins(*state);
  etherm::ListenerFanOut listeners;
  listeners.Add(&display);
  etherm::report::RunRecorder recorder(
      *state, dc ? etherm::AnalysisKind::kDc : etherm::AnalysisKind::kTransient, nullptr);
  listeners.Add(&recorder);
  if (limits) recorder.SetTemperatureLimits(limits->everyDevice, limits->byName);
  if (dc) listeners.Add(&margins);
  std::unique_ptr<etherm::TemperatureLimitWatch> limitWatch;
  if (limits) {
    try {
      limitWatch = etherm::MakeTemperatureLimitWatch(*limits, state->baseName, dc);
    } catch (const etherm::Failure& failure) {
      std::fprintf(stderr, "etherm-batch: %s\n", failure.what());
      return 2;
    }
    if (limitWatch) listeners.Add(limitWatch.get());
  }
  state->listener = &listeners;
  etherm::InstallInterruptHandlers();
  // Started now, gnuplot's start (a third of a plot's time) overlaps the analysis. Without
  // results it is ended unused.
  const std::unique_ptr<etherm::report::StartedGnuplot> gnuplot =
      plot ? etherm::report::StartedGnuplot::Start() : nullptr;
  // Plotting keeps an interrupted user waiting for nothing they asked for.
  const auto report = [&](bool completed) {
    display.Finish();
    etherm::ShowRunReport(recorder, completed, plot && etherm::process::InterruptSignal() == 0,
                          stdout, stderr, gnuplot.get());
  };
  try {
    if (dc) {
      etherm::RunDcAnalysis(*state, dcOptions);
    } else {
      etherm::RunTransientAnalysis(*state, options);
    }
  } catch (const etherm::Failure& failure) {
    report(false);
    if (const int status = etherm::ReportInterrupt(stderr)) return status;
    std::fprintf(stderr, "etherm-batch: %s\n", failure.what());
    // What was accepted before the failure may already be over a limit.
    if (limitWatch) limitWatch->Print(stdout);
    return 1;
  }
  report(etherm::process::InterruptSignal() == 0);
  if (const int status = etherm::ReportInterrupt(stderr)) return status;
  if (limitWatch && limitWatch->Exceeded()) {
    limitWatch->Print(stdout);
    return 3;  // the results are complete, a limit was exceeded
  }
  return 0;
}
