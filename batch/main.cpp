// etherm-batch: the two analyses without a window, in the current folder.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "analysis/analysis.h"
#include "batch/batch_display.h"
#include "batch/interrupt.h"
#include "textio/failure.h"

int main(int argc, char** argv) {
  using etherm::BatchDisplay;
  if (argc != 3 || (std::strcmp(argv[1], "dc") != 0 && std::strcmp(argv[1], "tran") != 0)) {
    std::fputs(
        "usage: etherm-batch dc BASE\n       etherm-batch tran BASE\n"
        "Runs the DC or transient electrothermal analysis of BASE.par and BASE.cir in the "
        "current folder.\n",
        stderr);
    return 2;
  }
  const bool dc = std::strcmp(argv[1], "dc") == 0;
  // The state is large; keep it off the stack.
  auto state = std::make_unique<etherm::AnalysisState>();
  state->baseName = argv[2];
  BatchDisplay display(*state,
                       dc ? BatchDisplay::Analysis::kDc : BatchDisplay::Analysis::kTransient,
                       stderr, isatty(STDERR_FILENO) != 0);
  state->listener = &display;
  etherm::InstallInterruptHandlers();
  try {
    if (dc) {
      etherm::RunDcAnalysis(*state);
    } else {
      etherm::RunTransientAnalysis(*state);
    }
  } catch (const etherm::Failure& failure) {
    display.Finish();
    if (const int status = etherm::ReportInterrupt(stderr)) return status;
    std::fprintf(stderr, "etherm-batch: %s\n", failure.what());
    return 1;
  }
  display.Finish();
  return etherm::ReportInterrupt(stderr);
}
