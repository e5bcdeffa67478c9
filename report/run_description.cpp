#include "report/run_description.h"

#include <cctype>

#include "report/csv_text.h"
#include "textio/failure.h"

namespace etherm::report {

Axis XAxis(const RunDescription& run) {
  if (run.kind == AnalysisKind::kTransient) return {"time", "s"};
  std::string name = run.sweptSource.empty() ? "sweep" : run.sweptSource;
  switch (std::toupper(static_cast<unsigned char>(name[0]))) {
    case 'V':
      return {name, "V"};
    case 'I':
      return {name, "A"};
    case 'R':
      return {name, "Ohm"};
    default:
      return {name, ""};
  }
}

std::string XColumnName(const RunDescription& run) {
  Axis axis = XAxis(run);
  return axis.unit.empty() ? axis.name : axis.name + "_" + axis.unit;
}

std::string XAxisLabel(const RunDescription& run) {
  Axis axis = XAxis(run);
  return axis.unit.empty() ? axis.name : axis.name + " (" + axis.unit + ")";
}

namespace {

void CheckCount(const RunDescription& run, double x, size_t count, size_t wanted, const char* what,
                const char* per) {
  if (count == wanted) return;
  throw Failure("Report of \"" + run.baseName + "\" at " + XColumnName(run) + " = " +
                NumberText(x) + ": " + std::to_string(count) + " " + what + " for " +
                std::to_string(wanted) + " " + per);
}

}  // namespace

void CheckRow(const RunDescription& run, const AcceptedRow& row) {
  size_t devices = run.deviceNames.size();
  CheckCount(run, row.x, row.temperatures.size(), devices, "temperatures", "devices");
  CheckCount(run, row.x, row.powers.size(), devices, "powers", "devices");
  CheckCount(run, row.x, row.probes.size(), run.probeNames.size(), "probe values", "probes");
}

void CheckRow(const RunDescription& run, const IterationRow& row) {
  size_t devices = run.deviceNames.size();
  CheckCount(run, row.x, row.simulatorTemperatures.size(), devices, "simulator temperatures",
             "devices");
  CheckCount(run, row.x, row.modelTemperatures.size(), devices, "model temperatures", "devices");
  if (run.kind == AnalysisKind::kDc && row.acceptedEnd) {
    throw Failure("Report of \"" + run.baseName + "\": iteration " + std::to_string(row.iteration) +
                  " of a DC run has an accepted window end");
  }
}

}  // namespace etherm::report
