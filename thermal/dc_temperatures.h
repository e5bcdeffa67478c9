#pragma once

#include <string>

#include "model/analysis_state.h"
#include "model/problem.h"
#include "textio/text_file.h"

namespace etherm {

// The temperatures of a line of the DC power table.
struct DcTemperatureLine {
  DeviceTable<double> powers{};        // W, devices 1..n
  DeviceTable<double> temperatures{};  // K, devices 1..n
};

// Static thermal network of the DC analysis: T_i = ambient + R_i P_i + sum over j of C_ij P_j (all
// N x N couplings, the diagonal included), devices counted from 1. Fails with
// "Floating point overflow" at the first operation that overflows.
DeviceTable<double> DcTemperatures(const ThermalNetwork& network,
                                   const DeviceTable<double>& powers);

// Reads the power table powerFileName (two header lines, then per line the swept value and the
// powers of the network's devices) and writes temperatureFileName: the two header lines cut to
// 120 characters, then per line the swept value and the DcTemperatures, each number in the
// 23-character form followed by a blank. Returns the last line's powers and temperatures. A
// failure ends it with its text; the lines written before stay.
DcTemperatureLine ComputeDcTemperatures(const ThermalNetwork& network,
                                        const std::string& powerFileName,
                                        const std::string& temperatureFileName);
// The same from a power table open for reading to one open for writing (in memory, say).
DcTemperatureLine ComputeDcTemperatures(const ThermalNetwork& network, TextFile& in,
                                        TextFile& out);

struct DcSettleResult {
  bool settled = true;
  DeviceTable<double> temperatures{};  // of the line where the reading stopped
};

// Reads the temperature table written by ComputeDcTemperatures line by line and stops, not
// settled, at the first line with a temperature more than TemperatureTolerance away from the
// one given (all of that line's values are still read); settled when every line stays within
// it.
DcSettleResult DcTemperaturesSettled(int deviceCount, const DeviceTable<double>& given,
                                   const std::string& temperatureFileName);
// The same from a temperature table open for reading, from its first line.
DcSettleResult DcTemperaturesSettled(int deviceCount, const DeviceTable<double>& given,
                                     TextFile& in);

}  // namespace etherm
