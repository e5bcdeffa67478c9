// etherm-batch: the two analyses without a window, in the current folder.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "batch/batch_display.h"
#include "batch/batch_report.h"
#include "batch/interrupt.h"
#include "report/run_recorder.h"
#include "simulator/child_process.h"
#include "textio/failure.h"

int main(int argc, char** argv) {
  using etherm::BatchDisplay;
  // The option may stand anywhere; the analysis and the base name keep their order.
  etherm::TransientOptions options;
  bool plot = true;
  std::vector<const char*> words;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-iteration-files") == 0) {
      options.keepIterationFiles = false;
    } else if (std::strcmp(argv[i], "--no-plot") == 0) {
      plot = false;
    } else {
      words.push_back(argv[i]);
    }
  }
  const bool usable =
      words.size() == 2 && (std::strcmp(words[0], "dc") == 0 || std::strcmp(words[0], "tran") == 0);
  if (!usable) {
    std::fputs(
        "usage: etherm-batch dc BASE\n       etherm-batch tran [--no-iteration-files] BASE\n"
        "Runs the DC or transient electrothermal analysis of BASE.par and BASE.cir in the "
        "current folder.\n"
        "--no-plot (either analysis): no plots BASE.svg and BASE.png; the summary, BASE.csv and "
        "BASE.iterations.csv are written all the same.\n"
        "--no-iteration-files: a transient run removes each window's circuit file and simulator "
        "listing (BASEn.cir, BASEn.out) once the window is done (a DC run keeps none anyway).\n",
        stderr);
    return 2;
  }
  const bool dc = std::strcmp(words[0], "dc") == 0;
  // The state is large; keep it off the stack.
  auto state = std::make_unique<etherm::AnalysisState>();
  state->baseName = words[1];
  BatchDisplay display(*state,
                       dc ? BatchDisplay::Analysis::kDc : BatchDisplay::Analysis::kTransient,
                       stderr, isatty(STDERR_FILENO) != 0);
  etherm::report::RunRecorder recorder(
      *state, dc ? etherm::report::AnalysisKind::kDc : etherm::report::AnalysisKind::kTransient,
      &display);
  state->listener = &recorder;
  etherm::InstallInterruptHandlers();
  // Plotting keeps an interrupted user waiting for nothing they asked for.
  const auto report = [&](bool completed) {
    display.Finish();
    etherm::ShowRunReport(recorder, completed, plot && etherm::InterruptSignal() == 0, stdout,
                          stderr);
  };
  try {
    if (dc) {
      etherm::RunDcAnalysis(*state);
    } else {
      etherm::RunTransientAnalysis(*state, options);
    }
  } catch (const etherm::Failure& failure) {
    report(false);
    if (const int status = etherm::ReportInterrupt(stderr)) return status;
    std::fprintf(stderr, "etherm-batch: %s\n", failure.what());
    return 1;
  }
  report(etherm::InterruptSignal() == 0);
  return etherm::ReportInterrupt(stderr);
}
