#pragma once
// What the circuit runner's two files share: run_circuit.cpp (runs of a circuit file) and
// paused_run.cpp (a transient paused and resumed in place).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "listing.h"
#include "run_circuit.h"
#include "temperature.h"
#include "translate.h"

namespace etherm::sim {

// While it lives, `slot` (the runner's listing of the run in progress, where ngspice's lines
// go) points at `listing`; then at nothing.
class AttachedListing {
 public:
  AttachedListing(Listing*& slot, Listing& listing) : slot_(slot) { slot_ = &listing; }
  ~AttachedListing() { slot_ = nullptr; }
  AttachedListing(const AttachedListing&) = delete;
  AttachedListing& operator=(const AttachedListing&) = delete;

 private:
  Listing*& slot_;
};

// The probe-data name that asks for the data in the answer instead of a file.
inline const std::string kStreamed = "-";

std::string WithExtension(const std::string& path, const std::string& ext);

// The length of the transient, s; 0 when there is none or it cannot be read.
double TransientLength(const Translation& t);

// Vector names are lower case, node voltages either bare ("x1.c") or as "V(1)".
std::optional<std::string> FindNodeVector(const std::map<std::string, std::string>& names,
                                          const std::string& node);

// Where each probe's two vectors stand among collected vectors (none for ground): a probe's
// value is a - b.
struct ProbeColumns {
  std::vector<std::optional<std::size_t>> a, b;
  std::optional<std::size_t> time;
  double Value(std::size_t q, const std::vector<double>& row) const {
    return (a[q] ? row.at(*a[q]) : 0.0) - (b[q] ? row.at(*b[q]) : 0.0);
  }
};

struct CircuitRunner::Paused {
  std::string circuitPath;
  std::unique_ptr<Listing> listing;
  Translation t;
  std::vector<TempParam> tempParams;
  double length = 0;  // of the .TRAN
  bool started = false;
  bool ended = false;
  std::vector<double> last;  // the last pause's point: time, then every collected vector
  // Each guarded device's power, averaged over the last `window` seconds (exponentially).
  std::vector<double> meanPower;
  // The PULSE functions of the circuit's own sources: V1 V2 TD TR TF PW PER as ngspice took them.
  std::vector<std::vector<double>> pulses;
  // The probes' columns among the collected vectors `names`, worked out once for those names
  // (they stay from pause to pause); throws SimError for a probe ngspice does not hand over.
  const ProbeColumns& Columns(const std::vector<std::string>& names);
  std::vector<std::string> columnNames;
  std::optional<ProbeColumns> columns;
};

}  // namespace etherm::sim
