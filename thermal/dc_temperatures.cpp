#include "thermal/dc_temperatures.h"

#include <cmath>

#include "textio/checked_arithmetic.h"
#include "thermal/table_lines.h"

namespace etherm {

DeviceTable<double> DcTemperatures(const ThermalNetwork& network,
                                   const DeviceTable<double>& powers) {
  const int n = static_cast<int>(network.pair.size());
  DeviceTable<double> t{};
  for (int i = 1; i <= n; ++i) {
    const auto& row = network.pair[static_cast<std::size_t>(i - 1)];
    double sum = checked::Mul(network.ownResistance[static_cast<std::size_t>(i - 1)], powers[i]);
    sum = checked::Add(sum, network.ambient);
    for (int j = 1; j <= n; ++j) {
      sum = checked::Add(sum,
                         checked::Mul(row[static_cast<std::size_t>(j - 1)].resistance, powers[j]));
    }
    t[i] = sum;
  }
  return t;
}

DcTemperatureLine ComputeDcTemperatures(const ThermalNetwork& network,
                                        const std::string& powerFileName,
                                        const std::string& temperatureFileName) {
  TextFile in;
  TextFile out;
  in.OpenForReading(powerFileName);
  out.OpenForWriting(temperatureFileName);
  const DcTemperatureLine line = ComputeDcTemperatures(network, in, out);
  in.Close();
  out.Close();
  return line;
}

DcTemperatureLine ComputeDcTemperatures(const ThermalNetwork& network, TextFile& in,
                                        TextFile& out) {
  CopyHeaderLines(in, out);

  const int n = static_cast<int>(network.pair.size());
  DcTemperatureLine line;
  // The test follows the line, so a table without data lines still gives one line.
  do {
    const double x = ReadReal(in);
    for (int i = 1; i <= n; ++i) line.powers[i] = ReadReal(in);
    SkipLine(in);
    line.temperatures = DcTemperatures(network, line.powers);

    WriteReal(out, x);
    WriteChar(out, ' ');
    for (int i = 1; i <= n; ++i) {
      WriteReal(out, line.temperatures[i]);
      WriteChar(out, ' ');
    }
    WriteLineEnd(out);
  } while (!AtEnd(in));
  return line;
}

DcSettleResult DcTemperaturesSettled(int deviceCount, const DeviceTable<double>& given,
                                     const std::string& temperatureFileName) {
  TextFile in;
  in.OpenForReading(temperatureFileName);
  const DcSettleResult result = DcTemperaturesSettled(deviceCount, given, in);
  in.Close();
  return result;
}

DcSettleResult DcTemperaturesSettled(int deviceCount, const DeviceTable<double>& given,
                                     TextFile& in) {
  SkipLine(in);
  SkipLine(in);

  DcSettleResult result;
  do {
    ReadReal(in);  // the swept value
    for (int i = 1; i <= deviceCount; ++i) {
      result.temperatures[i] = ReadReal(in);
      if (std::fabs(result.temperatures[i] - given[i]) > TemperatureTolerance) {
        result.settled = false;
      }
    }
    SkipLine(in);
  } while (!AtEnd(in) && result.settled);
  return result;
}

}  // namespace etherm
