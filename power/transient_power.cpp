#include "power/device_models.h"
#include "power/power_rows.h"
#include "power/power_table.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

double DevicePower(const AnalysisState& state, int i, int kind, const Quantities& q) {
  if (state.directPowerFlag || kind == 0) return DirectPower(kind, q);
  const Device& device = state.problem.devices.at(static_cast<std::size_t>(i - 1));
  const double t = state.deviceTemperature[i];
  double power;
  switch (kind) {
    case 1:
      return JunctionDiodePower(device.diode, q, t);
    case 2:
      power = TransistorModelAPower(device.transistorA, q, t);
      break;
    default:
      power = TransistorModelBPower(device.transistorB, q, t);
      break;
  }
  return power > kPowerLimit ? kPowerLimit : power;
}

void CopyHistory(AnalysisState& state, TextFile& history, TextFile& power) {
  for (int line = 1; line <= 2; ++line) {
    const std::string text = ReadString(history, 120);
    SkipLine(history);
    WriteText(power, text);
    WriteLineEnd(power);
  }
  do {
    state.sampleTime = ReadReal(history);
    WriteReal(power, state.sampleTime);
    WriteChar(power, ' ');
    for (int i = 1; i <= state.deviceCount; ++i) {
      WriteReal(power, ReadReal(history));
      WriteChar(power, ' ');
    }
    SkipLine(history);
    WriteLineEnd(power);
  } while (!(state.sampleTime >= state.windowStartTime) && !AtEnd(history));
}

}  // namespace

void ComputeTransientPower(AnalysisState& state, const std::string& tableName,
                           const std::string& powerTableName, const std::string& historyName) {
  RequireDeviceCountInRange(state);
  TextFile table;
  TextFile power;
  table.OpenForReading(tableName);
  power.OpenForWriting(powerTableName);
  TextFile history;
  history.OpenForReading(historyName);

  if (state.laterWindow) {
    SkipLine(table);
    SkipLine(table);
    CopyHistory(state, history, power);
  } else {
    CopyHeaderWithNames(table, power, state, "czas ");
  }

  Quantities q{};
  do {
    state.sampleTime = ReadReal(table);
    WriteReal(power, state.sampleTime);
    WriteChar(power, ' ');
    for (int i = 1; i <= state.deviceCount; ++i) {
      const double kindCode = state.deviceParameters[i][0];
      const int count = QuantityCount(kindCode);
      if (count == 0) continue;
      ReadQuantities(table, count, q);
      WriteReal(power, DevicePower(state, i, static_cast<int>(kindCode), q));
      WriteChar(power, ' ');
    }
    SkipLine(table);
    WriteLineEnd(power);
  } while (!AtEnd(table) && !(state.sampleTime >= state.analysisEnd));
  table.Close();
  power.Close();
  history.Close();
}

}  // namespace etherm
