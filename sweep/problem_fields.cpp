#include "sweep/problem_fields.h"

#include <algorithm>
#include <memory>

#include "model/analysis_state.h"
#include "model/problem_file.h"
#include "textio/failure.h"
#include "textio/text_file.h"

namespace etherm::sweep {

namespace {

// Walks the file as the reader does; the reader has accepted it, so no checks are repeated.
class FieldWalker {
 public:
  explicit FieldWalker(const std::string& fileName) { file_.OpenForReading(fileName); }

  ProblemFields Walk() {
    const char first = ReadChar(file_);
    if (first == '\r') {
      if (!AtEnd(file_) && file_.data()[file_.position()] == '\n') ReadChar(file_);
    } else if (first != '\n') {
      SkipLine(file_);
    }
    fields_.transient = first == 'T' || first == 't';
    const int count = ReadInteger(file_);
    SkipLine(file_);
    if (fields_.transient) {
      fields_.endTime = Real();
      SkipLine(file_);
    } else {
      fields_.sweepStart = Real();
      SkipLine(file_);
      fields_.sweepStep = Real();
      SkipLine(file_);
      fields_.sweepStop = Real();
      SkipLine(file_);
    }
    for (int i = 0; i < count; ++i) Device(i);
    return fields_;
  }

 private:
  Span Real() {
    const char* p = file_.data();
    std::size_t i = file_.position();
    while (i < file_.end() && static_cast<unsigned char>(p[i]) <= 32) ++i;
    ReadReal(file_);
    return Span{i, file_.position() - i};
  }
  void SkipReals(int n) {
    for (int k = 0; k < n; ++k) ReadReal(file_);
  }

  void Device(int i) {
    char c = ReadChar(file_);
    while (c == ' ') c = ReadChar(file_);
    std::string name;
    for (; c != ' '; c = ReadChar(file_)) name += c;
    fields_.devices.push_back(name);
    ReadInteger(file_);  // terminals
    const int ownTerms = fields_.transient ? ReadInteger(file_) : 0;
    fields_.ownResistance.push_back(Real());
    SkipReals(2 * ownTerms);
    const int entries = ReadInteger(file_);
    for (int e = 0; e < entries; ++e) {
      const int j = ReadInteger(file_);
      ReadInteger(file_);  // coupling code
      const int terms = fields_.transient ? ReadInteger(file_) : 0;
      fields_.couplings.push_back({i, j - 1, Real()});
      SkipReals(2 * terms);
    }
    SkipLine(file_);
    const double kind = ReadReal(file_);
    if (fields_.transient) SkipReals(kind == 1 ? 11 : kind == 2 ? 13 : kind == 3 ? 16 : 0);
    SkipLine(file_);
  }

  TextFile file_;
  ProblemFields fields_;
};

int DeviceIndex(const ProblemFields& fields, const std::string& name, const std::string& quantity,
                const std::string& fileName) {
  const auto it = std::find(fields.devices.begin(), fields.devices.end(), name);
  if (it != fields.devices.end()) return static_cast<int>(it - fields.devices.begin());
  std::string list;
  for (const std::string& d : fields.devices) list += (list.empty() ? "" : ", ") + d;
  throw Failure("quantity \"" + quantity + "\": " + fileName + " has no device " + name +
                " (its devices: " + list + "; names compare with case)");
}

}  // namespace

ProblemFields LocateProblemFields(const std::string& baseName) {
  ReadProblemFile(baseName);  // refuses a file the analyses would refuse
  return FieldWalker(baseName + ".par").Walk();
}

std::vector<Span> SpansOf(const ProblemFields& fields, const Quantity& quantity,
                          const std::string& fileName) {
  using Kind = Quantity::Kind;
  const bool sweepField = quantity.kind == Kind::kSweepStart || quantity.kind == Kind::kSweepStep ||
                          quantity.kind == Kind::kSweepStop;
  if (sweepField && fields.transient) {
    throw Failure("quantity \"" + quantity.name + "\": " + fileName +
                  " has the transient layout, without a DC sweep (its end time is \"end\")");
  }
  if (quantity.kind == Kind::kEndTime && !fields.transient) {
    throw Failure("quantity \"" + quantity.name + "\": " + fileName +
                  " has the DC layout, without an end time (its sweep is \"start\", \"step\", "
                  "\"stop\")");
  }
  switch (quantity.kind) {
    case Kind::kEndTime:
      return {fields.endTime};
    case Kind::kSweepStart:
      return {fields.sweepStart};
    case Kind::kSweepStep:
      return {fields.sweepStep};
    case Kind::kSweepStop:
      return {fields.sweepStop};
    case Kind::kOwnResistance:
      return {fields.ownResistance[static_cast<std::size_t>(
          DeviceIndex(fields, quantity.device, quantity.name, fileName))]};
    case Kind::kMutualResistance: {
      const int i = DeviceIndex(fields, quantity.device, quantity.name, fileName);
      const int j = DeviceIndex(fields, quantity.other, quantity.name, fileName);
      std::vector<Span> spans;
      for (const auto& c : fields.couplings) {
        if (c.device == i && c.other == j) spans.push_back(c.resistance);
      }
      if (spans.empty()) {
        throw Failure("quantity \"" + quantity.name + "\": device " + quantity.device + " of " +
                      fileName + " has no coupling entry for " + quantity.other +
                      "; add one (with any resistance) to vary it");
      }
      return spans;
    }
    case Kind::kParameter:
    case Kind::kAmbient:
      break;
  }
  return {};
}

std::string ApplyEdits(const std::string& text, std::vector<Edit> edits) {
  // From the end backwards, so earlier offsets stay valid.
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.span.offset > b.span.offset; });
  std::string result = text;
  for (const Edit& e : edits) result.replace(e.span.offset, e.span.length, e.text);
  return result;
}

}  // namespace etherm::sweep
