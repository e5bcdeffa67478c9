#include "model/problem.h"

#include <array>

namespace etherm {

int QuantityCount(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::kPlain:
    case DeviceKind::kDiode:
      return 2;
    case DeviceKind::kTransistorA:
      return 4;
    case DeviceKind::kTransistorB:
      return 6;
  }
  return 0;
}

int ParameterCount(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::kPlain:
      return 0;
    case DeviceKind::kDiode:
      return 11;
    case DeviceKind::kTransistorA:
      return 13;
    case DeviceKind::kTransistorB:
      return 16;
  }
  return 0;
}

void AssignModelParameters(Device& d, const std::vector<double>& values) {
  std::array<double, 16> v{};
  for (std::size_t n = 0; n < values.size() && n < v.size(); ++n) v[n] = values[n];
  switch (d.kind) {
    case DeviceKind::kPlain:
      break;
    case DeviceKind::kDiode:
      d.diode = {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]};
      break;
    case DeviceKind::kTransistorA:
      d.transistorA = {v[0], v[1], v[2], v[3],  v[4],  v[5], v[6],
                       v[7], v[8], v[9], v[10], v[11], v[12]};
      break;
    case DeviceKind::kTransistorB:
      d.transistorB = {v[0], v[1], v[2],  v[3],  v[4],  v[5],  v[6],  v[7],
                       v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
      break;
  }
}

int Problem::ProbeNodeCount() const {
  int count = 0;
  for (const Device& d : devices) count += d.terminalCount - 1;
  return count;
}

}  // namespace etherm
