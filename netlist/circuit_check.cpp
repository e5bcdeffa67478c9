#include "netlist/circuit_check.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "netlist/circuit_line.h"
#include "netlist/line_rewrites.h"
#include "spice_text/spice_number.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

// The second word of a line, as the DC writer keeps it: the swept source.
bool HasSweptSource(const WholeLineText& line) {
  return BlankSeparatedWords(line, 1).size() >= 2;
}

bool HasPositivePrintStep(const WholeLineText& line) {
  const std::optional<double> step = spice::ParseSpiceNumber(TransientPrintStep(line)).value;
  return step && *step > 0 && std::isfinite(*step);
}

}  // namespace

void CheckCircuitForProblem(const Problem& problem, const std::string& baseName,
                            AnalysisKind analysis) {
  const std::string name = baseName + ".cir";
  const std::string prefix = "Circuit file \"" + name + "\"";
  TextFile circuit;
  circuit.OpenForReading(name);
  bool probeLine = false;
  bool analysisLine = false;
  bool nodeSetLine = false;
  std::vector<bool> named(problem.devices.size(), false);
  WholeLineText line;
  while (!AtEnd(circuit)) {
    SetWholeLine(line, ReadWholeLine(circuit));
    const std::string keyword = DotKeyword(line);
    const bool call = UpperCase(line.at(1)) == 'X';
    if (keyword == ".PROBE  ") probeLine = true;
    if (keyword == ".NODES  ") nodeSetLine = true;
    if (analysis == AnalysisKind::kDc && keyword.compare(0, 3, ".DC") == 0) {
      analysisLine = analysisLine || HasSweptSource(line);
    }
    if (analysis == AnalysisKind::kTransient && IsTransientLengthLine(line)) {
      // The writer reads the first such line for the window's bound.
      if (!analysisLine && !HasPositivePrintStep(line)) {
        circuit.Close();
        throw Failure(prefix +
                      ": .TRAN line whose print step is not a number above 0: " + line.Text());
      }
      analysisLine = true;
    }
    if (keyword != ".MODEL  " && !call) continue;
    const TemperatureField field =
        call ? FindCallTemperatureField(problem, line) : FindModelTemperatureField(problem, line);
    if (field.device == 0) continue;
    if (!field.problem.empty()) {
      circuit.Close();
      throw Failure(prefix + ": " + field.problem + ": " + line.Text());
    }
    const NameField& found = problem.devices[static_cast<std::size_t>(field.device - 1)].name;
    for (std::size_t i = 0; i < named.size(); ++i) {
      named[i] = named[i] || problem.devices[i].name == found;
    }
  }
  circuit.Close();
  if (!probeLine) {
    const int pairs = problem.ProbeNodeCount();
    throw Failure(prefix + " has no .PROBE line; it must list " + std::to_string(pairs) +
                  (pairs == 1 ? " pair" : " pairs") +
                  " of a node voltage and a current for the modelled devices");
  }
  if (!analysisLine) {
    throw Failure(analysis == AnalysisKind::kDc
                      ? prefix +
                            " has no .DC line naming the swept source; a DC analysis "
                            "sweeps the source of that line"
                      : prefix +
                            " has no .TRAN line (\".TRAN\", a blank, the print step and "
                            "the end time); a transient analysis sets the length of each "
                            "time window in it");
  }
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (named[i]) continue;
    const std::string device = problem.devices[i].name.Trimmed();
    throw Failure(prefix + " has no .MODEL line named " + device +
                  " (case included) and no subcircuit call with PARAMS: whose name in upper case "
                  "is " +
                  device + ", so device " + std::to_string(i + 1) +
                  " of the problem file would never receive its temperature");
  }
  if (analysis == AnalysisKind::kDc && nodeSetLine && problem.ProbeNodeCount() > kMaxDcNodeValues) {
    throw Failure(prefix + " has a .NODESET line, and the problem file asks for " +
                  std::to_string(problem.ProbeNodeCount()) +
                  " node quantities; a .NODESET line carries at most " +
                  std::to_string(kMaxDcNodeValues) +
                  " from one sweep point to the next (remove the line, or probe fewer nodes)");
  }
}

}  // namespace etherm
