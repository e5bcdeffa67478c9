#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "sweep/child.h"
#include "sweep/commands.h"
#include "sweep/job_log.h"
#include "sweep/problem_fields.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm::sweep {

namespace {

namespace fs = std::filesystem;

struct Peak {
  double temperature = 0;
  double at = 0;
};

// Each device's highest temperature in a .tem file and the first sweep value or time where it
// stood; none when the file is missing or holds no row.
std::vector<Peak> Peaks(const std::string& file, bool transient, std::size_t devices) {
  std::vector<Peak> peaks;
  if (!fs::exists(file)) return peaks;
  std::istringstream in(ReadWholeFile(file));
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    if (++lineNumber <= (transient ? 2 : 0)) continue;  // title and names
    std::istringstream words(line);
    std::vector<double> row;
    for (std::string w; words >> w;) {
      double v;
      if (!ParseRealToken(w, &v)) break;
      row.push_back(v);
    }
    if (row.size() < devices + 1) continue;
    if (peaks.empty()) peaks.assign(devices, Peak{row[1], row[0]});
    for (std::size_t d = 0; d < devices; ++d) {
      if (row[d + 1] > peaks[d].temperature) peaks[d] = {row[d + 1], row[0]};
    }
  }
  return peaks;
}

// Iterations of a run: its log holds "startuję" (Windows-1250) once per iteration.
int Iterations(const std::string& file) {
  if (!fs::exists(file)) return -1;
  const std::string log = ReadWholeFile(file);
  int count = 0;
  for (std::size_t p = log.find("startuj\xea"); p != std::string::npos;
       p = log.find("startuj\xea", p + 1)) {
    ++count;
  }
  return count;
}

struct Outcome {
  std::string status = "not run";
  std::string wall;
  bool ok = false;
};

// A Slurm task leaves "STATUS SECONDS" in its folder; a parallel run is in the job log.
Outcome OutcomeOf(const std::string& name, const std::map<int, JobEntry>& log, int job) {
  Outcome o;
  const std::string statusFile = CaseFile(name, "etherm-batch.status");
  if (fs::exists(statusFile)) {
    std::istringstream in(ReadWholeFile(statusFile));
    int status = -1;
    if (in >> status >> o.wall) {
      o.ok = status == 0;
      o.status = o.ok ? "ok" : "failed (exit " + std::to_string(status) + ")";
    }
    return o;
  }
  const auto it = log.find(job);
  if (it == log.end()) return o;
  o.wall = it->second.runtime;
  o.ok = it->second.Ok();
  if (o.ok) {
    o.status = "ok";
  } else if (it->second.signal != 0) {
    o.status = "failed (signal " + std::to_string(it->second.signal) + ")";
  } else {
    o.status = "failed (exit " + std::to_string(it->second.exitValue) + ")";
  }
  return o;
}

// Text in a gnuplot string in single quotes, where '' stands for one quote.
std::string PlotText(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::string PlotScript(const CaseTable& table, const std::vector<std::string>& devices,
                       const std::vector<std::vector<Peak>>& peaks) {
  std::vector<std::pair<double, std::size_t>> order;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    if (!peaks[n].empty()) order.push_back({table.cases[n].numbers[0], n});
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  bool distinct = true;
  for (std::size_t k = 1; k < order.size(); ++k) distinct &= order[k].first != order[k - 1].first;
  std::string script =
      "set terminal png size 800,500\n"
      "set output 'sweep.png'\n"
      "set key outside right\n"
      "set grid\n"
      "set offsets graph 0.05, graph 0.05, graph 0.05, graph 0.05\n"
      "set xlabel " +
      PlotText(table.quantities[0].name) +
      "\n"
      "set ylabel 'peak temperature (K)'\n"
      "$data << EOD\n";
  for (const auto& [x, n] : order) {
    script += NumberText(x);
    for (const Peak& p : peaks[n]) script += " " + NumberText(p.temperature);
    script += "\n";
  }
  script += "EOD\nplot ";
  // Cases that share the first value differ in another; lines would join them wrongly.
  for (std::size_t d = 0; d < devices.size(); ++d) {
    script += std::string(d ? ", " : "") + "$data using 1:" + std::to_string(d + 2) +
              (distinct ? " with linespoints" : " with points") + " pointtype 7" + " title " +
              PlotText(devices[d]);
  }
  return script + "\n";
}

}  // namespace

void Gather(const std::string& base, std::FILE* out) {
  CheckBaseName(base);
  const CaseTable table = ReadPreparedCases();
  const ProblemFields fields = LocateProblemFields(CaseFile(table.cases[0].name, base));
  const std::map<int, JobEntry> log = ReadJobLog(std::string(kCasesFolder) + "/" + kJobLogFile);

  std::string csv = "case";
  for (const Quantity& q : table.quantities) csv += "," + q.name;
  csv += ",status";
  for (const std::string& d : fields.devices) {
    csv += "," + d + "_peak_K," + d + (fields.transient ? "_at_s" : "_at");
  }
  csv += ",iterations,wall_s\n";

  std::vector<std::vector<Peak>> peaks;
  std::size_t ok = 0;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const Case& c = table.cases[n];
    const Outcome outcome = OutcomeOf(c.name, log, static_cast<int>(n) + 1);
    ok += outcome.ok;
    peaks.push_back(
        outcome.ok ? Peaks(CaseFile(c.name, base + ".tem"), fields.transient, fields.devices.size())
                   : std::vector<Peak>{});
    csv += c.name;
    for (const std::string& v : c.values) csv += "," + v;
    // Logged as done, but its results have been removed since (run again to redo them).
    csv += "," + outcome.status + (outcome.ok && peaks.back().empty() ? " (no results)" : "");
    for (std::size_t d = 0; d < fields.devices.size(); ++d) {
      if (peaks.back().empty()) {
        csv += ",,";
      } else {
        csv += "," + NumberText(peaks.back()[d].temperature) + "," + NumberText(peaks.back()[d].at);
      }
    }
    const int iterations = Iterations(CaseFile(c.name, "wyniki.txt"));
    csv += "," + (iterations < 0 ? std::string() : std::to_string(iterations));
    csv += "," + outcome.wall + "\n";
  }
  WriteWholeFile("sweep.csv", csv);
  std::fprintf(out, "sweep.csv: %zu cases, %zu ok\n", table.cases.size(), ok);

  const bool anyPeak =
      std::any_of(peaks.begin(), peaks.end(), [](const auto& p) { return !p.empty(); });
  if (!anyPeak) return;
  const std::string script = PlotScript(table, fields.devices, peaks);
  const ChildExit plot = RunProgram({"gnuplot"}, &script);
  if (!plot.started) {
    std::fprintf(out, "gnuplot not found: sweep.png skipped\n");
  } else if (plot.status != 0) {
    std::fprintf(out, "gnuplot failed (exit %d): sweep.png skipped\n", plot.status);
  } else {
    std::fprintf(out, "sweep.png: peak temperatures against %s\n",
                 table.quantities[0].name.c_str());
  }
}

}  // namespace etherm::sweep
