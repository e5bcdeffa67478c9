#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "report/plot.h"
#include "report/recorded_run.h"
#include "sweep/commands.h"
#include "sweep/job_log.h"
#include "sweep/problem_fields.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"

namespace etherm::sweep {

namespace {

namespace fs = std::filesystem;

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

// The summary the case's etherm-batch printed, read back from its BASE.csv and
// BASE.iterations.csv; none, with the reason in `problem`, when they are gone or unusable.
std::optional<report::RunSummary> CaseSummary(const std::string& name, const std::string& base,
                                              const ProblemFields& fields, std::string* problem) {
  if (!fs::exists(CaseFile(name, base + ".csv"))) {
    *problem = "no results";
    return std::nullopt;
  }
  try {
    report::RunSummary summary = report::ReadRecordedRun(
        fields.transient ? AnalysisKind::kTransient : AnalysisKind::kDc, CaseFile(name, ""), base);
    const auto devices = summary.Devices();
    for (std::size_t d = 0; d < devices.size(); ++d) {
      if (devices.size() != fields.devices.size() || devices[d].name != fields.devices[d]) {
        throw Failure(CaseFile(name, base + ".csv") + " holds other devices than " +
                      CaseFile(name, base + ".par"));
      }
    }
    return summary;
  } catch (const Failure& failure) {
    *problem = failure.what();
    return std::nullopt;
  }
}

std::string PlotScript(const CaseTable& table, const std::vector<std::string>& devices,
                       const std::vector<std::vector<report::DeviceSummary>>& figures,
                       const std::string& png) {
  std::vector<std::pair<double, std::size_t>> order;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    if (!figures[n].empty()) order.push_back({table.cases[n].numbers[0], n});
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  bool distinct = true;
  for (std::size_t k = 1; k < order.size(); ++k) distinct &= order[k].first != order[k - 1].first;
  std::string script = "set encoding utf8\n" + report::GnuplotPngOutput(png) +
                       "set key outside right\n"
                       "set grid\n"
                       "set offsets graph 0.05, graph 0.05, graph 0.05, graph 0.05\n"
                       "set xlabel " +
                       report::GnuplotText(table.quantities[0].name) +
                       "\n"
                       "set ylabel 'peak temperature (K)'\n"
                       "$data << EOD\n";
  for (const auto& [x, n] : order) {
    script += NumberText(x);
    for (const auto& d : figures[n]) script += " " + NumberText(d.peakTemperature);
    script += "\n";
  }
  script += "EOD\nplot ";
  // Cases that share the first value differ in another; lines would join them wrongly.
  for (std::size_t d = 0; d < devices.size(); ++d) {
    script += std::string(d ? ", " : "") + "$data using 1:" + std::to_string(d + 2) +
              (distinct ? " with linespoints" : " with points") + " pointtype 7" + " title " +
              report::GnuplotText(devices[d]);
  }
  return script + "\nset output\n";
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
    csv += "," + d + "_peak_K," + d + (fields.transient ? "_at_s," : "_at,") + d + "_final_K," + d +
           "_peak_W," + d + "_mean_W";
  }
  csv += ",iterations,wall_s\n";

  std::vector<std::vector<report::DeviceSummary>> figures;
  std::size_t ok = 0;
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const Case& c = table.cases[n];
    const Outcome outcome = OutcomeOf(c.name, log, static_cast<int>(n) + 1);
    ok += outcome.ok;
    std::optional<report::RunSummary> summary;
    std::string status = outcome.status;
    if (outcome.ok) {
      std::string problem;
      summary = CaseSummary(c.name, base, fields, &problem);
      // Logged as done, but its results have been removed or spoilt since (run again).
      if (!summary && problem == "no results") {
        status += " (no results)";
      } else if (!summary) {
        status += " (results unreadable)";
        std::fprintf(out, "case %s: %s\n", c.name.c_str(), problem.c_str());
      }
    }
    figures.push_back(summary ? summary->Devices() : std::vector<report::DeviceSummary>{});
    csv += c.name;
    for (const std::string& v : c.values) csv += "," + v;
    csv += "," + status;
    for (std::size_t d = 0; d < fields.devices.size(); ++d) {
      if (figures.back().empty()) {
        csv += ",,,,,";
        continue;
      }
      const report::DeviceSummary& f = figures.back()[d];
      for (double v : {f.peakTemperature, f.peakAt, f.finalTemperature, f.peakPower, f.meanPower}) {
        csv += "," + NumberText(v);
      }
    }
    csv += "," + (summary ? std::to_string(summary->iterations()) : std::string());
    csv += "," + outcome.wall + "\n";
  }
  WriteWholeFile("sweep.csv", csv);
  std::fprintf(out, "sweep.csv: %zu cases, %zu ok\n", table.cases.size(), ok);

  if (std::all_of(figures.begin(), figures.end(), [](const auto& f) { return f.empty(); })) {
    std::fprintf(out, "plot skipped: no case has results\n");
    return;
  }
  const std::string png = "sweep.png";
  report::PlotStatus plot;
  try {
    plot = report::DrawPlot(PlotScript(table, fields.devices, figures, report::PlotPartName(png)),
                            {png});
  } catch (const Failure& failure) {
    plot = {report::PlotStatus::Kind::kFailed, std::string("plot failed: ") + failure.what()};
  }
  if (plot.kind == report::PlotStatus::Kind::kWritten) {
    std::fprintf(out, "%s: peak temperatures against %s\n", png.c_str(),
                 table.quantities[0].name.c_str());
  } else {
    std::fprintf(out, "%s\n", plot.message.c_str());
  }
}

}  // namespace etherm::sweep
