#include "model/problem_file.h"

#include <charconv>
#include <cmath>
#include <string>

#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"
#include "textio/upper_case.h"

namespace etherm {

namespace {

// A value as the user would have typed it: the shortest text that reads back the same.
std::string Number(double x) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, result.ptr);
}

// A whole count below 1E18, without an exponent.
std::string Count(double n) {
  return std::to_string(static_cast<long long>(n));
}

class ProblemReader {
 public:
  ProblemReader(TextFile& file, Problem& p) : file_(file), p_(p) {}

  void Read() {
    const char first = ReadChar(file_);
    if (first == '\r') {
      // An empty title line has already ended; skipping on would lose the device count.
      if (!AtEnd(file_) && file_.data()[file_.position()] == '\n') ReadChar(file_);
    } else if (first != '\n') {
      SkipLine(file_);
    }
    const bool transient = UpperCase(first) == 'T';
    p_.layout = transient ? ProblemLayout::kTransient : ProblemLayout::kDc;
    if (transient) {
      ReadTransient();
      CheckCarriedValues();
    } else {
      ReadDc();
    }
  }

 private:
  [[noreturn]] void Refuse(const std::string& what) const {
    throw Failure("Problem file \"" + p_.fileName + "\": " + what);
  }
  std::string Device(int i) const {
    return "device " + std::to_string(i) + " (" + p_.devices[Index(i)].name.Trimmed() + ")";
  }
  static std::size_t Index(int i) { return static_cast<std::size_t>(i - 1); }
  ThermalPair& Pair(int i, int j) { return p_.network.pair[Index(i)][Index(j)]; }

  // A number missing at the end of the file would read as 0 and pass for data; refuse it,
  // saying which value is missing (of the device being read, when device_ is set).
  void Need(const std::string& what) {
    if (!AtEndOfTokens(file_)) return;
    if (device_ == 0) Refuse("the file ends before " + what);
    Refuse("the file ends in " + Device(device_) + " before " + what);
  }
  std::int32_t Integer(const std::string& what) {
    Need(what);
    return ReadInteger(file_);
  }
  double Real(const std::string& what) {
    Need(what);
    return ReadReal(file_);
  }
  double Resistance(const std::string& what, const std::string& toWhom) {
    const double r = Real(what);
    if (r < 0) {
      Refuse(Device(device_) + ": " + what + " is " + Number(r) + " K/W" + toWhom +
             "; thermal resistances cannot be negative");
    }
    return r;
  }
  ThermalTerm ReadTerm(int i, const std::string& term) {
    const double weight = Real("the weight of " + term);
    if (weight < 0) {
      Refuse(Device(i) + ": the weight of " + term + " is " + Number(weight) +
             "; term weights cannot be negative");
    }
    return ThermalTerm{weight, Real("the time constant of " + term)};
  }

  void ReadDeviceCount() {
    const int count = Integer("the number of devices");
    SkipLine(file_);
    if (count < 1 || count > kMaxDevices) {
      Refuse(std::to_string(count) + " devices; from 1 to " + std::to_string(kMaxDevices) +
             " are possible");
    }
    const auto n = static_cast<std::size_t>(count);
    p_.devices.assign(n, etherm::Device{});
    p_.network.ownResistance.assign(n, 0.0);
    p_.network.pair.assign(n, std::vector<ThermalPair>(n));
  }

  // The name runs from the first non-blank byte up to and including the first blank after it.
  void ReadDeviceName(int i) {
    if (AtEndOfTokens(file_)) Refuse("the file ends before device " + std::to_string(i));
    NameField& name = p_.devices[Index(i)].name;
    char c = ReadChar(file_);
    while (c == ' ') c = ReadChar(file_);
    int length = 0;
    for (;;) {
      if (static_cast<unsigned char>(c) < 32) {
        const std::string where = "device " + std::to_string(i) + " (" +
                                  std::string(name.chars.data(), static_cast<size_t>(length)) + ")";
        if (c == 26) Refuse("the file ends in the name of " + where);
        Refuse("the name of " + where + " must be followed by a blank on its line");
      }
      if (length == kMaxNameLength) {
        Refuse("the name of device " + std::to_string(i) + " (" + name.Trimmed() + "...) has " +
               std::to_string(kMaxNameLength + 1) + " or more characters; at most " +
               std::to_string(kMaxNameLength) + " are possible");
      }
      name.chars[static_cast<size_t>(length++)] = c;
      c = ReadChar(file_);
      if (c == ' ') {
        name.chars[static_cast<size_t>(length)] = ' ';
        break;
      }
    }
    // The circuit writers find a device's model by its name; two devices of one name could
    // not be told apart there.
    for (int other = 1; other < i; ++other) {
      if (p_.devices[Index(other)].name == name) {
        Refuse("devices " + std::to_string(other) + " and " + std::to_string(i) +
               " have the same name " + name.Trimmed() + "; each device needs a name of its own");
      }
    }
  }

  void ReadTerminalCount(int i) {
    int& count = p_.devices[Index(i)].terminalCount;
    count = Integer("its number of terminals");
    if (count < 2) {
      Refuse(Device(i) + " has " + std::to_string(count) + " terminals; a device has at least 2");
    }
    // Each terminal past the first is a node quantity to carry, and no analysis carries more
    // than kMaxCarriedValues; larger counts would also overflow their sum.
    if (count > kMaxCarriedValues + 1) {
      Refuse(Device(i) + " has " + std::to_string(count) + " terminals; at most " +
             std::to_string(kMaxCarriedValues + 1) + " are possible");
    }
  }

  int ReadCoupledDevice(int i, int e, bool transient) {
    const int j = Integer("the device number of coupling entry " + std::to_string(e));
    if (j < 1 || j > p_.deviceCount()) {
      Refuse(Device(i) + " has a coupling entry for device " + std::to_string(j) +
             ", which is not among devices 1 to " + std::to_string(p_.deviceCount()));
    }
    // The entry would overwrite the device's own resistance while its own term count stays.
    if (transient && j == i) {
      Refuse(Device(i) + " has a coupling entry for itself; its own thermal resistance and " +
             "terms stand before its coupling entries");
    }
    return j;
  }

  int ReadTermCount(int i, int j, const std::string& what) {
    const int count = Integer(what);
    if (count < 0 || count > kMaxTerms) {
      Refuse(Device(i) + " has " + std::to_string(count) + " terms for the pair (" +
             std::to_string(i) + ", " + std::to_string(j) + "); from 0 to " +
             std::to_string(kMaxTerms) + " are possible");
    }
    return count;
  }

  // The kind code is written as a real; only the whole codes of a kind are kinds. A DC
  // analysis takes 1, 2 and 3 (CheckDcProblem refuses 0); other codes are refused here, in
  // the words of the analysis the layout is for.
  DeviceKind ReadKind(int i, bool transient) {
    const double code = Real("its kind code");
    if (code == 0 || code == 1 || code == 2 || code == 3) return static_cast<DeviceKind>(code);
    if (transient) {
      Refuse(Device(i) + " has the kind code " + FormatReal(code, 0, 3) +
             "; the codes are 0, 1, 2 and 3");
    }
    Refuse(Device(i) + " has the kind code " + FormatReal(code, 0, 3) +
           "; a DC analysis takes the codes 1, 2 and 3");
  }

  void ReadDc() {
    ReadDeviceCount();
    p_.sweepStart = Real("the sweep start");
    SkipLine(file_);
    p_.sweepStep = Real("the sweep step");
    SkipLine(file_);
    p_.sweepEnd = Real("the sweep end");
    SkipLine(file_);
    for (int i = 1; i <= p_.deviceCount(); ++i) {
      ReadDeviceName(i);
      device_ = i;
      ReadTerminalCount(i);
      p_.network.ownResistance[Index(i)] = Resistance("its thermal resistance", "");
      const int couplings = Integer("its number of coupling entries");
      for (int e = 1; e <= couplings; ++e) {
        const int j = ReadCoupledDevice(i, e, false);
        const std::string entry = " of coupling entry " + std::to_string(e);
        Integer("the coupling code" + entry);  // not used
        Pair(i, j).resistance =
            Resistance("the thermal resistance" + entry, " (to device " + std::to_string(j) + ")");
      }
      SkipLine(file_);
      p_.devices[Index(i)].kind = ReadKind(i, false);
      SkipLine(file_);
      device_ = 0;
    }
  }

  void ReadParameters(int i) {
    etherm::Device& d = p_.devices[Index(i)];
    std::vector<double> values;
    for (int n = 1; n <= ParameterCount(d.kind); ++n) {
      values.push_back(Real("its power-model parameter " + std::to_string(n)));
    }
    AssignModelParameters(d, values);
  }

  void ReadTransient() {
    ReadDeviceCount();
    p_.endTime = Real("the end time");
    SkipLine(file_);
    for (int i = 1; i <= p_.deviceCount(); ++i) {
      ReadDeviceName(i);
      device_ = i;
      ReadTerminalCount(i);
      const int own = ReadTermCount(i, i, "its number of own terms");
      Pair(i, i).resistance = Resistance("its own thermal resistance", "");
      for (int k = 1; k <= own; ++k) {
        Pair(i, i).terms.push_back(ReadTerm(i, "own term " + std::to_string(k)));
      }
      const int couplings = Integer("its number of coupling entries");
      for (int e = 1; e <= couplings; ++e) {
        const int j = ReadCoupledDevice(i, e, true);
        const std::string entry = " of coupling entry " + std::to_string(e);
        Integer("the coupling code" + entry);  // not used
        const int terms = ReadTermCount(i, j, "the number of terms" + entry);
        ThermalPair& pair = Pair(i, j);
        pair.resistance =
            Resistance("the thermal resistance" + entry, " (to device " + std::to_string(j) + ")");
        // A later entry for the same device replaces the earlier one's terms.
        pair.terms.clear();
        for (int k = 1; k <= terms; ++k) {
          pair.terms.push_back(ReadTerm(i, "term " + std::to_string(k) + entry));
        }
      }
      SkipLine(file_);
      p_.devices[Index(i)].kind = ReadKind(i, true);
      ReadParameters(i);
      SkipLine(file_);
      device_ = 0;
    }
    p_.inductorCount = Integer("the number of inductors");
    SkipLine(file_);
    p_.capacitorCount = Integer("the number of capacitors");
    SkipLine(file_);
    p_.directPower = Integer("the power mode") == 1;
    SkipLine(file_);
  }

  void CheckCarriedValues() const {
    if (p_.inductorCount < 0 || p_.capacitorCount < 0) {
      Refuse("the numbers of inductors (" + std::to_string(p_.inductorCount) +
             ") and capacitors (" + std::to_string(p_.capacitorCount) + ") cannot be negative");
    }
    const int nodes = p_.ProbeNodeCount();
    const int carried = nodes + p_.inductorCount + p_.capacitorCount;
    if (carried > kMaxCarriedValues) {
      Refuse(std::to_string(carried) + " values carried between time windows (" +
             std::to_string(nodes) + " node quantities, " + std::to_string(p_.inductorCount) +
             " inductors, " + std::to_string(p_.capacitorCount) + " capacitors); at most " +
             std::to_string(kMaxCarriedValues) + " are possible");
    }
  }

  TextFile& file_;
  Problem& p_;
  int device_ = 0;  // the device whose block is being read, 0 outside the blocks
};

}  // namespace

Problem ReadProblemFile(const std::string& baseName) {
  Problem problem;
  problem.fileName = baseName + ".par";
  TextFile file;
  file.OpenForReading(problem.fileName);
  ProblemReader(file, problem).Read();
  file.Close();
  return problem;
}

namespace {
std::string ProblemPrefix(const Problem& problem) {
  return "Problem file \"" + problem.fileName + "\": ";
}

// Each layout lacks the other analysis's tables; running the other analysis on it would
// compute with zeros.
void CheckLayout(const Problem& problem, ProblemLayout wanted) {
  if (problem.layout == ProblemLayout::kNone || problem.layout == wanted) return;
  if (problem.layout == ProblemLayout::kDc) {
    throw Failure(ProblemPrefix(problem) +
                  "the file has the DC layout (its first character is not T); use the DC "
                  "analysis, or begin the file with T for a transient problem");
  }
  throw Failure(ProblemPrefix(problem) +
                "the file has the transient layout (its first character is T); use the "
                "transient analysis");
}

// A sweep that computes no point, or never ends, is refused before any file is touched.
void CheckSweep(const Problem& problem) {
  const double start = problem.sweepStart;
  const double step = problem.sweepStep;
  const double end = problem.sweepEnd;
  const std::string values =
      " (start " + Number(start) + ", step " + Number(step) + ", end " + Number(end) + ")";
  if (step == 0) {
    throw Failure(ProblemPrefix(problem) +
                  "the sweep step is 0; the sweep would never reach its end");
  }
  if ((step < 0 && end > start) || (step > 0 && end < start)) {
    throw Failure(ProblemPrefix(problem) + "the sweep step leads away from the sweep end" + values +
                  "; the sweep would stop at its start");
  }
  if (start + step == start || end + step == end) {
    throw Failure(ProblemPrefix(problem) + "the sweep step is too small to change the sweep value" +
                  values);
  }
  const double points = std::ceil((end - start) / step);
  if (!(points <= kMaxSweepPoints)) {
    throw Failure(ProblemPrefix(problem) + "the sweep would have " +
                  (points < 1e18 ? Count(points) : "too many") + " points" + values + "; at most " +
                  Count(kMaxSweepPoints) + " are possible");
  }
}
}  // namespace

void CheckDcProblem(const Problem& problem) {
  CheckLayout(problem, ProblemLayout::kDc);
  for (int i = 1; i <= problem.deviceCount(); ++i) {
    const Device& d = problem.devices[static_cast<std::size_t>(i - 1)];
    if (d.kind == DeviceKind::kPlain) {
      throw Failure(ProblemPrefix(problem) + "device " + std::to_string(i) + " (" +
                    d.name.Trimmed() + ") has the kind code " +
                    FormatReal(static_cast<int>(d.kind), 0, 3) +
                    "; a DC analysis takes the codes 1, 2 and 3");
    }
  }
  CheckSweep(problem);
}

void CheckTransientProblem(const Problem& problem) {
  CheckLayout(problem, ProblemLayout::kTransient);
  if (!(problem.endTime > 0)) {
    throw Failure(ProblemPrefix(problem) + "the end time is " + Number(problem.endTime) +
                  " s; it must be above 0 for anything to be computed");
  }
  const int n = problem.deviceCount();
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const ThermalPair& pair =
          problem.network.pair[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
      for (std::size_t k = 0; k < pair.terms.size(); ++k) {
        const double tau = pair.terms[k].timeConstant;
        if (!(tau > 0)) {
          throw Failure(ProblemPrefix(problem) + "term " + std::to_string(k + 1) +
                        " of the pair (" + std::to_string(i) + ", " + std::to_string(j) +
                        ") has the time constant " + FormatExponent(tau, 16) +
                        " s; time constants must be above 0");
        }
      }
    }
  }
}

void UseProblem(AnalysisState& state, const Problem& problem) {
  state.problem = problem;
  state.problem.network.ambient = state.ambientTemperature;
  if (problem.layout == ProblemLayout::kDc) state.sweepValue = problem.sweepStart;
}

}  // namespace etherm
