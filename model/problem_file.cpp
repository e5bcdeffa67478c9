#include "model/problem_file.h"

#include <charconv>
#include <cmath>
#include <string>

#include "textio/failure.h"
#include "textio/number_text.h"
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

// A refusal of a file beyond the limits; unlike a failed read, it leaves the state untouched.
class Refusal : public Failure {
 public:
  using Failure::Failure;
};

class ProblemReader {
 public:
  ProblemReader(TextFile& file, ProblemDescription& p, const std::string& fileName)
      : file_(file), p_(p), fileName_(fileName) {}

  // Returns true for the DC layout.
  bool Read() {
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
    } else {
      ReadDc();
    }
    p_.probeNodeCount = 0;
    for (int i = 1; i <= p_.deviceCount; ++i) p_.probeNodeCount += p_.terminalCount[i] - 1;
    if (transient) CheckCarriedValues();
    return !transient;
  }

 private:
  [[noreturn]] void Refuse(const std::string& what) const {
    throw Refusal("Problem file \"" + fileName_ + "\": " + what);
  }
  std::string Device(int i) const {
    return "device " + std::to_string(i) + " (" + p_.deviceName[i].Trimmed() + ")";
  }

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
  // Term k of pair (i, j): its weight and time constant.
  void ReadTerm(int i, int j, int k, const std::string& term) {
    const double weight = Real("the weight of " + term);
    if (weight < 0) {
      Refuse(Device(i) + ": the weight of " + term + " is " + Number(weight) +
             "; term weights cannot be negative");
    }
    p_.termWeight[i][j][k] = weight;
    p_.termTimeConstant[i][j][k] = Real("the time constant of " + term);
  }

  void ReadDeviceCount() {
    p_.deviceCount = Integer("the number of devices");
    SkipLine(file_);
    if (p_.deviceCount < 1 || p_.deviceCount > kMaxDevices) {
      Refuse(std::to_string(p_.deviceCount) + " devices; from 1 to " + std::to_string(kMaxDevices) +
             " are possible");
    }
  }

  // The name runs from the first non-blank byte up to and including the first blank after it.
  void ReadDeviceName(int i) {
    if (AtEndOfTokens(file_)) Refuse("the file ends before device " + std::to_string(i));
    NameField& name = p_.deviceName[i];
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
      if (p_.deviceName[other] == name) {
        Refuse("devices " + std::to_string(other) + " and " + std::to_string(i) +
               " have the same name " + name.Trimmed() + "; each device needs a name of its own");
      }
    }
  }

  void ReadTerminalCount(int i) {
    p_.terminalCount[i] = Integer("its number of terminals");
    if (p_.terminalCount[i] < 2) {
      Refuse(Device(i) + " has " + std::to_string(p_.terminalCount[i]) +
             " terminals; a device has at least 2");
    }
    // Each terminal past the first is a node quantity to carry, and no analysis carries more
    // than kMaxCarriedValues; larger counts would also overflow their sum.
    if (p_.terminalCount[i] > kMaxCarriedValues + 1) {
      Refuse(Device(i) + " has " + std::to_string(p_.terminalCount[i]) + " terminals; at most " +
             std::to_string(kMaxCarriedValues + 1) + " are possible");
    }
  }

  int ReadCoupledDevice(int i, int e, bool transient) {
    const int j = Integer("the device number of coupling entry " + std::to_string(e));
    if (j < 1 || j > p_.deviceCount) {
      Refuse(Device(i) + " has a coupling entry for device " + std::to_string(j) +
             ", which is not among devices 1 to " + std::to_string(p_.deviceCount));
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

  void ReadDc() {
    ReadDeviceCount();
    p_.sweepStart = Real("the sweep start");
    sweepStartRead = true;
    SkipLine(file_);
    p_.stepSize = Real("the sweep step");
    SkipLine(file_);
    p_.analysisEnd = Real("the sweep end");
    SkipLine(file_);
    for (int i = 1; i <= p_.deviceCount; ++i) {
      ReadDeviceName(i);
      device_ = i;
      ReadTerminalCount(i);
      p_.thermalResistance[i] = Resistance("its thermal resistance", "");
      p_.couplingCount[i] = Integer("its number of coupling entries");
      for (int e = 1; e <= p_.couplingCount[i]; ++e) {
        const int j = ReadCoupledDevice(i, e, false);
        const std::string entry = " of coupling entry " + std::to_string(e);
        Integer("the coupling code" + entry);  // not used
        p_.thermalCoupling[i][j] =
            Resistance("the thermal resistance" + entry, " (to device " + std::to_string(j) + ")");
      }
      SkipLine(file_);
      p_.deviceParameters[i][0] = Real("its kind code");
      SkipLine(file_);
      device_ = 0;
    }
  }

  void ReadTransient() {
    ReadDeviceCount();
    p_.analysisEnd = Real("the end time");
    SkipLine(file_);
    for (int i = 1; i <= p_.deviceCount; ++i) {
      ReadDeviceName(i);
      device_ = i;
      ReadTerminalCount(i);
      const int own = ReadTermCount(i, i, "its number of own terms");
      p_.selfTermCount[i] = own;
      p_.termCount[i][i] = own;
      p_.thermalCoupling[i][i] = Resistance("its own thermal resistance", "");
      for (int k = 1; k <= own; ++k) ReadTerm(i, i, k, "own term " + std::to_string(k));
      p_.couplingCount[i] = Integer("its number of coupling entries");
      for (int e = 1; e <= p_.couplingCount[i]; ++e) {
        const int j = ReadCoupledDevice(i, e, true);
        const std::string entry = " of coupling entry " + std::to_string(e);
        Integer("the coupling code" + entry);  // not used
        const int terms = ReadTermCount(i, j, "the number of terms" + entry);
        p_.termCount[i][j] = terms;
        p_.thermalCoupling[i][j] =
            Resistance("the thermal resistance" + entry, " (to device " + std::to_string(j) + ")");
        for (int k = 1; k <= terms; ++k) {
          ReadTerm(i, j, k, "term " + std::to_string(k) + entry);
        }
      }
      SkipLine(file_);
      const double kind = Real("its kind code");
      p_.deviceParameters[i][0] = kind;
      int parameters;
      if (kind == 0) {
        parameters = 0;
      } else if (kind == 1) {
        parameters = 11;
      } else if (kind == 2) {
        parameters = 13;
      } else if (kind == 3) {
        parameters = 16;
      } else {
        Refuse(Device(i) + " has the kind code " + FormatReal(kind, 0, 3) +
               "; the codes are 0, 1, 2 and 3");
      }
      for (int n = 1; n <= parameters; ++n) {
        p_.deviceParameters[i][n] = Real("its power-model parameter " + std::to_string(n));
      }
      SkipLine(file_);
      device_ = 0;
    }
    p_.inductorCount = Integer("the number of inductors");
    SkipLine(file_);
    p_.capacitorCount = Integer("the number of capacitors");
    SkipLine(file_);
    p_.directPowerFlag = Integer("the power mode") == 1;
    SkipLine(file_);
  }

  void CheckCarriedValues() const {
    if (p_.inductorCount < 0 || p_.capacitorCount < 0) {
      Refuse("the numbers of inductors (" + std::to_string(p_.inductorCount) +
             ") and capacitors (" + std::to_string(p_.capacitorCount) + ") cannot be negative");
    }
    const int carried = p_.probeNodeCount + p_.inductorCount + p_.capacitorCount;
    if (carried > kMaxCarriedValues) {
      Refuse(std::to_string(carried) + " values carried between time windows (" +
             std::to_string(p_.probeNodeCount) + " node quantities, " +
             std::to_string(p_.inductorCount) + " inductors, " + std::to_string(p_.capacitorCount) +
             " capacitors); at most " + std::to_string(kMaxCarriedValues) + " are possible");
    }
  }

  TextFile& file_;
  ProblemDescription& p_;
  const std::string& fileName_;
  int device_ = 0;  // the device whose block is being read, 0 outside the blocks

 public:
  bool sweepStartRead = false;
};

}  // namespace

void ReadProblemFile(AnalysisState& state) {
  const std::string fileName = state.baseName + ".par";
  ProblemDescription scratch = state;
  for (int i = 1; i <= kMaxDevices; ++i) scratch.deviceName[i].Clear();
  try {
    state.problemFile.OpenForReading(fileName);
  } catch (const Failure&) {
    for (int i = 1; i <= kMaxDevices; ++i) state.deviceName[i].Clear();
    throw;
  }
  ProblemReader reader(state.problemFile, scratch, fileName);
  auto commit = [&] {
    static_cast<ProblemDescription&>(state) = scratch;
    if (reader.sweepStartRead) state.sweepValue = scratch.sweepStart;
  };
  try {
    reader.Read();
  } catch (const Refusal&) {
    state.problemFile.Close();
    throw;
  } catch (const Failure&) {
    // A number that cannot be read: what was read before it stays, as with any failed read.
    commit();
    state.problemFile.Close();
    throw;
  }
  commit();
  state.problemFile.Close();
}

namespace {
std::string ProblemPrefix(const AnalysisState& state) {
  return "Problem file \"" + state.baseName + ".par\": ";
}

// Each layout leaves the other analysis's tables as an earlier file set them; running the
// other analysis on it would compute with those.
void CheckLayout(const AnalysisState& state, ProblemLayout wanted) {
  if (state.layout == ProblemLayout::kNone || state.layout == wanted) return;
  if (state.layout == ProblemLayout::kDc) {
    throw Failure(ProblemPrefix(state) +
                  "the file has the DC layout (its first character is not T); use the DC "
                  "analysis, or begin the file with T for a transient problem");
  }
  throw Failure(ProblemPrefix(state) +
                "the file has the transient layout (its first character is T); use the "
                "transient analysis");
}

// A sweep that computes no point, or never ends, is refused before any file is touched.
void CheckSweep(const AnalysisState& state) {
  const double start = state.sweepStart;
  const double step = state.stepSize;
  const double end = state.analysisEnd;
  const std::string values =
      " (start " + Number(start) + ", step " + Number(step) + ", end " + Number(end) + ")";
  if (step == 0) {
    throw Failure(ProblemPrefix(state) +
                  "the sweep step is 0; the sweep would never reach its end");
  }
  if ((step < 0 && end > start) || (step > 0 && end < start)) {
    throw Failure(ProblemPrefix(state) + "the sweep step leads away from the sweep end" + values +
                  "; the sweep would stop at its start");
  }
  if (start + step == start || end + step == end) {
    throw Failure(ProblemPrefix(state) + "the sweep step is too small to change the sweep value" +
                  values);
  }
  const double points = std::ceil((end - start) / step);
  if (!(points <= kMaxSweepPoints)) {
    throw Failure(ProblemPrefix(state) + "the sweep would have " +
                  (points < 1e18 ? Count(points) : "too many") + " points" + values + "; at most " +
                  Count(kMaxSweepPoints) + " are possible");
  }
}
}  // namespace

void CheckDcProblem(const AnalysisState& state) {
  CheckLayout(state, ProblemLayout::kDc);
  for (int i = 1; i <= state.deviceCount; ++i) {
    const double kind = state.deviceParameters[i][0];
    if (kind != 1 && kind != 2 && kind != 3) {
      throw Failure(ProblemPrefix(state) + "device " + std::to_string(i) + " (" +
                    state.deviceName[i].Trimmed() + ") has the kind code " +
                    FormatReal(kind, 0, 3) + "; a DC analysis takes the codes 1, 2 and 3");
    }
  }
  CheckSweep(state);
}

void CheckTransientProblem(const AnalysisState& state) {
  CheckLayout(state, ProblemLayout::kTransient);
  if (!(state.analysisEnd > 0)) {
    throw Failure(ProblemPrefix(state) + "the end time is " + Number(state.analysisEnd) +
                  " s; it must be above 0 for anything to be computed");
  }
  for (int i = 1; i <= state.deviceCount; ++i) {
    for (int j = 1; j <= state.deviceCount; ++j) {
      for (int k = 1; k <= state.termCount[i][j] && k <= kMaxTerms; ++k) {
        if (!(state.termTimeConstant[i][j][k] > 0)) {
          throw Failure(ProblemPrefix(state) + "term " + std::to_string(k) + " of the pair (" +
                        std::to_string(i) + ", " + std::to_string(j) + ") has the time constant " +
                        FormatExponent(state.termTimeConstant[i][j][k], 16) +
                        " s; time constants must be above 0");
        }
      }
    }
  }
}

}  // namespace etherm
