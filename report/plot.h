#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "report/run_description.h"

namespace etherm::report {

class StartedGnuplot;

struct PlotOptions {
  std::string folder = ".";         // where BASE.csv is and the pictures go
  std::string program = "gnuplot";  // looked up in PATH unless it holds a slash
  std::chrono::milliseconds timeout{60000};
  // A gnuplot of `program` started ahead (StartedGnuplot), to draw instead of a fresh one; one
  // that has ended by then is not used.
  StartedGnuplot* started = nullptr;
};

// How a plot ended; `message` is one line for the user.
struct PlotStatus {
  enum class Kind { kWritten, kSkipped, kFailed };
  Kind kind = Kind::kFailed;
  std::string message;
};

// Draws BASE.csv into BASE.svg and BASE.png (800x600): every device's temperature against time
// or the sweep value on top, its power below on the same x axis. Never throws for a missing
// program, a bad file or a failing plot: the status says what happened, and pictures of an
// earlier run are replaced only by complete new ones.
PlotStatus PlotRun(const RunDescription& run, const PlotOptions& options = {});

// The gnuplot script drawing `csv` into `svg` and `png`; throws Failure for a name that cannot
// be written into a script (a line break).
std::string PlotScript(const RunDescription& run, const std::string& csv, const std::string& svg,
                       const std::string& png);

// For other pictures drawn the same way. A gnuplot string taken literally; throws Failure for a
// line break.
std::string GnuplotText(const std::string& text);
// The lines sending what follows to `file` as an 800x600 PNG picture.
std::string GnuplotPngOutput(const std::string& file);
// The name a picture is drawn under before it replaces `file`.
std::string PlotPartName(const std::string& file);
// Runs options.program on `script`, which draws each of `outputs` under its PlotPartName; the
// pictures replace `outputs` only when all of them were drawn. `options.folder` is not used.
PlotStatus DrawPlot(const std::string& script, const std::vector<std::string>& outputs,
                    const PlotOptions& options = {});

}  // namespace etherm::report
