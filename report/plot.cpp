#include "report/plot.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "process/child.h"
#include "report/results_csv.h"
#include "report/started_gnuplot.h"
#include "textio/failure.h"
#include "textio/file_access.h"

namespace etherm::report {

namespace {

namespace fs = std::filesystem;

// A gnuplot string that is taken literally: in single quotes nothing is expanded, and a quote
// is written twice.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\n' || c == '\r') throw Failure("the name \"" + text + "\" holds a line break");
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

// gnuplot reads names beginning with '<', '|', '$', '-' or '+' as commands, data blocks or
// special files; a folder in front keeps every name a plain file.
std::string PlainPath(const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : "./" + path;
}

std::string Panels(const RunDescription& run, const std::string& csv) {
  size_t n = run.deviceNames.size();
  std::string style = run.kind == AnalysisKind::kDc ? "linespoints pt 7 ps 0.6" : "lines";
  auto curves = [&](size_t firstColumn) {
    std::string list;
    for (size_t i = 0; i < n; ++i) {
      list += i == 0 ? Quoted(csv) : std::string("''");
      list += " skip 1 using 1:" + std::to_string(firstColumn + i) + " with " + style + " lw 1.5" +
              " title " + Quoted(run.deviceNames[i]);
      if (i + 1 < n) list += ", \\\n     ";
    }
    return list + "\n";
  };
  return "set multiplot\n"
         "set lmargin at screen 0.12\n"
         "set rmargin at screen 0.80\n"
         "set key outside right top\n"
         "set grid\n"
         "set autoscale xfix\n"
         "set tmargin at screen 0.95\n"
         "set bmargin at screen 0.54\n"
         "set format x ''\n"
         "unset xlabel\n"
         "set ylabel 'temperature (K)'\n"
         "plot " +
         curves(2) +
         "set tmargin at screen 0.50\n"
         "set bmargin at screen 0.10\n"
         "set format x '% h'\n"
         "set xlabel " +
         Quoted(XAxisLabel(run)) +
         "\n"
         "set ylabel 'power (W)'\n"
         "plot " +
         curves(2 + n) + "unset multiplot\n";
}

PlotStatus Status(PlotStatus::Kind kind, const std::string& text) {
  return {kind, (kind == PlotStatus::Kind::kSkipped ? "plot skipped: " : "plot failed: ") + text};
}

// The last line gnuplot wrote that says something (its error comes after an echo of the line).
std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of(" \t\r\n");
  if (end == std::string::npos) return "";
  size_t start = text.find_last_of('\n', end);
  start = start == std::string::npos ? 0 : start + 1;
  size_t first = text.find_first_not_of(" \t", start);
  return text.substr(first, end + 1 - first);
}

}  // namespace

std::string PlotScript(const RunDescription& run, const std::string& csv, const std::string& svg,
                       const std::string& png) {
  std::string panels = Panels(run, PlainPath(csv));
  return "set encoding utf8\n"
         "set datafile separator comma\n" +
         GnuplotPngOutput(png) + panels +
         "set output\n"
         "set terminal svg size 800,600 fixed noenhanced font 'sans,10'\n"
         "set output " +
         Quoted(PlainPath(svg)) + "\n" + panels + "set output\n";
}

std::string GnuplotText(const std::string& text) {
  return Quoted(text);
}

std::string GnuplotPngOutput(const std::string& file) {
  return "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
         "  set terminal pngcairo size 800,600 noenhanced font 'sans,10'\n"
         "} else {\n"
         "  set terminal png size 800,600 noenhanced\n"
         "}\n"
         "set output " +
         Quoted(PlainPath(file)) + "\n";
}

std::string PlotPartName(const std::string& file) {
  return file + ".part";
}

PlotStatus PlotRun(const RunDescription& run, const PlotOptions& options) {
  std::string csv = ReportFileName(options.folder, run.baseName, ".csv");
  std::string svg = ReportFileName(options.folder, run.baseName, ".svg");
  std::string png = ReportFileName(options.folder, run.baseName, ".png");
  if (run.deviceNames.empty()) return Status(PlotStatus::Kind::kSkipped, "no devices to draw");
  {
    std::ifstream in(csv, std::ios::binary);
    if (!in) return Status(PlotStatus::Kind::kFailed, "\"" + csv + "\": " + IoErrorText(errno));
    std::string header, row;
    std::getline(in, header);
    if (!std::getline(in, row) || row.empty()) {
      return Status(PlotStatus::Kind::kSkipped, "\"" + csv + "\" holds no accepted rows");
    }
  }
  std::string script;
  try {
    script = PlotScript(run, csv, PlotPartName(svg), PlotPartName(png));
  } catch (const Failure& failure) {
    return Status(PlotStatus::Kind::kFailed, failure.what());
  }
  return DrawPlot(script, {svg, png}, options);
}

PlotStatus DrawPlot(const std::string& script, const std::vector<std::string>& outputs,
                    const PlotOptions& options) {
  // Drawn under other names first, so a failed plot leaves no half picture behind. Each is
  // created anew here, so that gnuplot, which opens its output as it finds it, never writes
  // through a link left under that name.
  for (const auto& file : outputs) {
    try {
      ::close(OpenOutputFile(PlotPartName(file), OutputOpening::kCreate));
    } catch (const Failure& failure) {
      return Status(PlotStatus::Kind::kFailed, failure.what());
    }
  }
  using process::ChildResult;
  ChildResult child;
  if (options.started != nullptr && options.started->program() == options.program) {
    child = options.started->Run(script, options.timeout);
  }
  // Not started ahead, or ended before it took the script: a gnuplot of its own.
  if (child.outcome == ChildResult::Outcome::kNotStarted) {
    process::ChildRequest request;
    request.argv = {options.program};
    request.searchPath = true;
    request.input = script;
    request.discardOutput = true;
    request.captureError = true;
    request.timeout = options.timeout;
    child = process::Run(request);
  }
  std::error_code ignored;
  auto discard = [&] {
    for (const auto& file : outputs) fs::remove(PlotPartName(file), ignored);
  };
  switch (child.outcome) {
    case ChildResult::Outcome::kNotStarted:
      discard();
      if (child.startError == ENOENT) {
        return Status(PlotStatus::Kind::kSkipped,
                      options.program + " not found (Debian package gnuplot-nox)");
      }
      return Status(PlotStatus::Kind::kFailed,
                    "cannot start " + options.program + ": " + std::strerror(child.startError));
    case ChildResult::Outcome::kTimedOut:
      discard();
      return Status(PlotStatus::Kind::kFailed,
                    options.program + " did not finish within " +
                        std::to_string((options.timeout.count() + 999) / 1000) + " s; stopped");
    case ChildResult::Outcome::kSignalled:
      discard();
      return Status(PlotStatus::Kind::kFailed,
                    options.program + " ended by signal " + std::to_string(child.endingSignal));
    case ChildResult::Outcome::kExited:
      break;
  }
  if (child.exitStatus != 0) {
    discard();
    std::string why = LastLine(child.errorText);
    return Status(PlotStatus::Kind::kFailed, options.program + " exited with status " +
                                                 std::to_string(child.exitStatus) +
                                                 (why.empty() ? "" : ": " + why));
  }
  for (const auto& file : outputs) {
    std::string part = PlotPartName(file);
    if (!fs::exists(part, ignored) || fs::file_size(part, ignored) == 0) {
      discard();
      return Status(PlotStatus::Kind::kFailed, options.program + " wrote no \"" + part + "\"");
    }
  }
  for (const auto& file : outputs) {
    std::error_code err;
    fs::rename(PlotPartName(file), file, err);
    if (err) {
      discard();
      return Status(PlotStatus::Kind::kFailed, "\"" + file + "\": " + IoErrorText(err.value()));
    }
  }
  std::string written;
  for (const auto& file : outputs) written += (written.empty() ? "" : ", ") + file;
  return {PlotStatus::Kind::kWritten, "plot written: " + written};
}

}  // namespace etherm::report
