#include "netlist/circuit_check.h"

#include <sstream>
#include <string>
#include <vector>

#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string Upper(std::string text) {
  for (char& c : text) c = UpperCase(c);
  return text;
}

}  // namespace

void CheckCircuitForProblem(const AnalysisState& state) {
  const std::string name = state.baseName + ".cir";
  TextFile circuit;
  circuit.OpenForReading(name);
  bool probeLine = false;
  DeviceTable<bool> named{};
  while (!AtEnd(circuit)) {
    const std::string line = ReadString(circuit, kLineCapacity);
    SkipLine(circuit);
    const std::string head = Upper(line.substr(0, 6));
    const std::vector<std::string> words = Words(line);
    if (head == ".PROBE") probeLine = true;
    for (int i = 1; i <= state.deviceCount; ++i) {
      const std::string device = state.deviceName[i].Trimmed();
      if (head == ".MODEL" && words.size() > 1) {
        named[i] = named[i] || words[1] == device;  // as written, case included
      } else if (!line.empty() && UpperCase(line[0]) == 'X') {
        // As the writer finds it: the word before the one holding the ':' of "PARAMS:"; a
        // call without ':' is copied unchanged and receives no temperature.
        for (std::size_t w = 1; w < words.size(); ++w) {
          if (words[w].find(':') == std::string::npos) continue;
          named[i] = named[i] || Upper(words[w - 1]) == device;
          break;
        }
      }
    }
  }
  if (!probeLine) {
    const int pairs = state.probeNodeCount;
    throw Failure("Circuit file \"" + name + "\" has no .PROBE line; it must list " +
                  std::to_string(pairs) + (pairs == 1 ? " pair" : " pairs") +
                  " of a node voltage and a current for the modelled devices");
  }
  for (int i = 1; i <= state.deviceCount; ++i) {
    if (named[i]) continue;
    const std::string device = state.deviceName[i].Trimmed();
    throw Failure("Circuit file \"" + name + "\" has no .MODEL line named " + device +
                  " (case included) and no subcircuit call with PARAMS: whose name in upper case "
                  "is " +
                  device + ", so device " + std::to_string(i) +
                  " of the problem file would never receive its temperature");
  }
}

}  // namespace etherm
