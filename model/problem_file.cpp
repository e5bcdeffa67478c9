#include "model/problem_file.h"

#include <string>

#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

namespace {

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
    } else {
      SkipLine(file_);
    }
    const bool transient = UpperCase(first) == 'T';
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

  void ReadDeviceCount() {
    p_.deviceCount = ReadInteger(file_);
    SkipLine(file_);
    if (p_.deviceCount < 1 || p_.deviceCount > kMaxDevices) {
      Refuse(std::to_string(p_.deviceCount) + " devices; from 1 to " + std::to_string(kMaxDevices) +
             " are possible");
    }
  }

  // The name runs from the first non-blank byte up to and including the first blank after it.
  void ReadDeviceName(int i) {
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
        return;
      }
    }
  }

  void ReadTerminalCount(int i) {
    p_.terminalCount[i] = ReadInteger(file_);
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

  int ReadCoupledDevice(int i) {
    const int j = ReadInteger(file_);
    if (j < 1 || j > p_.deviceCount) {
      Refuse(Device(i) + " has a coupling entry for device " + std::to_string(j) +
             ", which is not among devices 1 to " + std::to_string(p_.deviceCount));
    }
    return j;
  }

  int ReadTermCount(int i, int j) {
    const int count = ReadInteger(file_);
    if (count < 0 || count > kMaxTerms) {
      Refuse(Device(i) + " has " + std::to_string(count) + " terms for the pair (" +
             std::to_string(i) + ", " + std::to_string(j) + "); from 0 to " +
             std::to_string(kMaxTerms) + " are possible");
    }
    return count;
  }

  void ReadDc() {
    ReadDeviceCount();
    p_.sweepStart = ReadReal(file_);
    sweepStartRead = true;
    SkipLine(file_);
    p_.stepSize = ReadReal(file_);
    SkipLine(file_);
    p_.analysisEnd = ReadReal(file_);
    SkipLine(file_);
    for (int i = 1; i <= p_.deviceCount; ++i) {
      ReadDeviceName(i);
      ReadTerminalCount(i);
      p_.thermalResistance[i] = ReadReal(file_);
      p_.couplingCount[i] = ReadInteger(file_);
      for (int e = 1; e <= p_.couplingCount[i]; ++e) {
        const int j = ReadCoupledDevice(i);
        ReadInteger(file_);  // coupling code, not used
        p_.thermalCoupling[i][j] = ReadReal(file_);
      }
      SkipLine(file_);
      p_.deviceParameters[i][0] = ReadReal(file_);
      SkipLine(file_);
    }
  }

  void ReadTransient() {
    ReadDeviceCount();
    p_.analysisEnd = ReadReal(file_);
    SkipLine(file_);
    for (int i = 1; i <= p_.deviceCount; ++i) {
      ReadDeviceName(i);
      ReadTerminalCount(i);
      const int own = ReadTermCount(i, i);
      p_.selfTermCount[i] = own;
      p_.termCount[i][i] = own;
      p_.thermalCoupling[i][i] = ReadReal(file_);
      for (int k = 1; k <= own; ++k) {
        p_.termWeight[i][i][k] = ReadReal(file_);
        p_.termTimeConstant[i][i][k] = ReadReal(file_);
      }
      p_.couplingCount[i] = ReadInteger(file_);
      for (int e = 1; e <= p_.couplingCount[i]; ++e) {
        const int j = ReadCoupledDevice(i);
        ReadInteger(file_);  // coupling code, not used
        const int terms = ReadTermCount(i, j);
        p_.termCount[i][j] = terms;
        p_.thermalCoupling[i][j] = ReadReal(file_);
        for (int k = 1; k <= terms; ++k) {
          p_.termWeight[i][j][k] = ReadReal(file_);
          p_.termTimeConstant[i][j][k] = ReadReal(file_);
        }
      }
      SkipLine(file_);
      const double kind = ReadReal(file_);
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
      for (int n = 1; n <= parameters; ++n) p_.deviceParameters[i][n] = ReadReal(file_);
      SkipLine(file_);
    }
    p_.inductorCount = ReadInteger(file_);
    SkipLine(file_);
    p_.capacitorCount = ReadInteger(file_);
    SkipLine(file_);
    p_.directPowerFlag = ReadInteger(file_) == 1;
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

void CheckDcProblem(const AnalysisState& state) {
  const std::string prefix = "Problem file \"" + state.baseName + ".par\": ";
  if (state.probeNodeCount > kMaxDcNodeValues) {
    throw Failure(prefix + std::to_string(state.probeNodeCount) +
                  " node quantities for a DC analysis; at most " +
                  std::to_string(kMaxDcNodeValues) + " can be carried between sweep points");
  }
  for (int i = 1; i <= state.deviceCount; ++i) {
    const double kind = state.deviceParameters[i][0];
    if (kind != 1 && kind != 2 && kind != 3) {
      throw Failure(prefix + "device " + std::to_string(i) + " (" + state.deviceName[i].Trimmed() +
                    ") has the kind code " + FormatReal(kind, 0, 3) +
                    "; a DC analysis takes the codes 1, 2 and 3");
    }
  }
  if (state.stepSize == 0) {
    throw Failure(prefix + "the sweep step is 0; the sweep would never reach its end");
  }
}

void CheckTransientProblem(const AnalysisState& state) {
  for (int i = 1; i <= state.deviceCount; ++i) {
    for (int j = 1; j <= state.deviceCount; ++j) {
      for (int k = 1; k <= state.termCount[i][j] && k <= kMaxTerms; ++k) {
        if (!(state.termTimeConstant[i][j][k] > 0)) {
          throw Failure("Problem file \"" + state.baseName + ".par\": term " + std::to_string(k) +
                        " of the pair (" + std::to_string(i) + ", " + std::to_string(j) +
                        ") has the time constant " +
                        FormatExponent(state.termTimeConstant[i][j][k], 16) +
                        " s; time constants must be above 0");
        }
      }
    }
  }
}

}  // namespace etherm
