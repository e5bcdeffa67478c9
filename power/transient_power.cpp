#include <cstdio>
#include <string>

#include "power/device_models.h"
#include "power/power_rows.h"
#include "power/power_table.h"
#include "textio/failure.h"
#include "textio/text_file.h"

namespace etherm {

std::string ModelFailureText(const Device& device, double temperature, std::string_view text) {
  static constexpr const char* kModels[] = {"", "junction diode model (kind 1)",
                                            "transistor model A (kind 2)",
                                            "transistor model B (kind 3)"};
  char at[48];
  std::snprintf(at, sizeof at, " at %.1f K", temperature);
  return "power model of device " + device.name.Trimmed() + ", " +
         kModels[static_cast<int>(device.kind)] + at + ": " + std::string(text);
}

namespace {

double DevicePower(const Problem& problem, const Device& device, double temperature,
                   const Quantities& q) {
  const int kind = static_cast<int>(device.kind);
  if (problem.directPower || device.kind == DeviceKind::kPlain) return DirectPower(kind, q);
  double power;
  try {
    switch (device.kind) {
      case DeviceKind::kDiode:
        return JunctionDiodePower(device.diode, q, temperature);
      case DeviceKind::kTransistorA:
        power = TransistorModelAPower(device.transistorA, q, temperature);
        break;
      default:
        power = TransistorModelBPower(device.transistorB, q, temperature);
        break;
    }
  } catch (const Failure& failure) {
    throw Failure(ModelFailureText(device, temperature, failure.what()));
  }
  return power > kPowerLimit ? kPowerLimit : power;
}

}  // namespace

PowerTable ComputeTransientPower(const Problem& problem, TextFile& table,
                                 const DeviceTable<double>& temperatures) {
  if (problem.devices.size() > static_cast<std::size_t>(kMaxDevices)) {
    throw Failure(std::to_string(problem.devices.size()) + " devices; at most " +
                  std::to_string(kMaxDevices) + " can be modelled");
  }
  PowerTable power;
  power.title = ReadString(table, 120);
  SkipLine(table);
  SkipLine(table);  // the result table's names are not used
  power.names = "czas ";
  for (const Device& d : problem.devices) {
    power.names.append(d.name.chars.data(), 8);
    power.names += ' ';
  }

  Quantities q{};
  do {
    TransientRow& row = power.rows.emplace_back();
    row.time = AsWritten(ReadReal(table));
    std::size_t i = 0;
    for (const Device& d : problem.devices) {
      ++i;
      ReadQuantities(table, QuantityCount(d.kind), q);
      row.value[i] = AsWritten(DevicePower(problem, d, temperatures[i], q));
    }
    SkipLine(table);
  } while (!AtEnd(table) && !(power.rows.back().time >= problem.endTime));
  return power;
}

PowerTable ComputeTransientPower(const Problem& problem, const std::string& tableName,
                                 const DeviceTable<double>& temperatures) {
  TextFile table;
  table.OpenForReading(tableName);
  return ComputeTransientPower(problem, table, temperatures);
}

}  // namespace etherm
