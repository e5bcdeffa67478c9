#pragma once
// The fields of a problem file a sweep may change, found where the problem file reader reads
// them, so one number's bytes can be replaced and every other byte kept.

#include <cstddef>
#include <string>
#include <vector>

#include "sweep/case_table.h"

namespace etherm::sweep {

struct Span {
  std::size_t offset = 0;
  std::size_t length = 0;
};

struct ProblemFields {
  bool transient = false;
  std::vector<std::string> devices;  // names as written, in file order
  Span sweepStart, sweepStep, sweepStop, endTime;
  std::vector<Span> ownResistance;  // per device
  struct Coupling {
    int device = 0;  // indices into devices
    int other = 0;
    Span resistance;
  };
  std::vector<Coupling> couplings;
};

// Reads the problem file baseName + ".par" with the problem file reader (its refusals come through
// unchanged) and finds the fields.
ProblemFields LocateProblemFields(const std::string& baseName);

// Where a quantity's value stands in the file: one span, or several when a device holds more
// than one coupling entry for the same device (the reader keeps the last; all are set alike).
// Throws Failure for a device that does not exist, a missing coupling entry, or a field of the
// other layout.
std::vector<Span> SpansOf(const ProblemFields& fields, const Quantity& quantity,
                          const std::string& fileName);

struct Edit {
  Span span;
  std::string text;
};
// The text with each span replaced; spans do not overlap.
std::string ApplyEdits(const std::string& text, std::vector<Edit> edits);

}  // namespace etherm::sweep
