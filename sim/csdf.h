#pragma once
// The probe-data file (CSDF text) and the bias file, and how both reach the disk.

#include <string>
#include <vector>

namespace etherm::sim {

struct ProbeData {
  std::string title;
  bool transient = false;
  std::string sweepVariable;                // DC only
  std::vector<std::string> names;           // V(2), IB(Q1), ...
  std::vector<double> x;                    // sweep values or times
  std::vector<std::vector<double>> values;  // values[point][quantity]
  std::string time, date;                   // hh:mm:ss, mm/dd/yy
};

// The whole file, CR LF line ends.
std::string CsdfText(const ProbeData& data);

// Writes `bytes` to a temporary name beside `path`, then renames it, so no reader ever sees a
// half-written file. Throws SimError when it cannot.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// The local time of day and date as the header wants them.
void NowTexts(std::string& time, std::string& date);

}  // namespace etherm::sim
