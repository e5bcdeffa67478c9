#pragma once

#include <string>
#include <vector>

#include "model/name_field.h"

namespace etherm {

// The layout of a problem file; its first character selects it.
enum class ProblemLayout { kNone, kDc, kTransient };

// What a device is, by the kind code of its problem-file block; the code selects how many
// result-table values the device has and which model recomputes its power.
enum class DeviceKind {
  kPlain = 0,        // 2 values; power q2 q1 (transient only)
  kDiode = 1,        // 2 values: voltage, current
  kTransistorA = 2,  // 4 values: gate voltage and current, drain voltage and current
  kTransistorB = 3,  // 6 values: as kind 2, then an unused one and the body-diode current
};

// Number of result-table values a device of this kind has.
int QuantityCount(DeviceKind kind);

// Junction diode model (problem-file parameters 1..11 in this order).
struct DiodeParameters {
  double saturationCurrent = 0;  // A, at the reference temperature
  double emissionCoefficient = 0;
  double seriesResistance = 0;               // ohm, at the reference temperature
  double kneeCurrent = 0;                    // A, of high injection
  double saturationTemperatureExponent = 0;  // of both saturation currents
  double unused = 0;
  double recombinationCurrent = 0;  // A, saturation current of recombination
  double recombinationEmissionCoefficient = 0;
  double gradingCoefficient = 0;
  double junctionPotential = 0;                 // V, at the reference temperature
  double resistanceTemperatureCoefficient = 0;  // 1/K, of the series resistance
};

// Transistor model A (parameters 1..13; 1-3 and 12 are read but not used).
struct TransistorAParameters {
  double unused1 = 0, unused2 = 0, unused3 = 0;
  double sourceResistance = 0;  // ohm
  double transconductance = 0;  // A/V^2, at the reference temperature
  double channelWidth = 0;
  double channelLength = 0;
  double thresholdVoltage = 0;        // V
  double drainResistance = 0;         // ohm
  double gateResistance = 0;          // ohm
  double diodeSaturationCurrent = 0;  // A, of the drain-source diode
  double unused12 = 0;
  double channelLengthModulation = 0;  // 1/V
};

// Transistor model B (parameters 1..16).
struct TransistorBParameters {
  double transconductance = 0;  // A/V^2, at the reference temperature
  double channelWidth = 0;
  double channelLength = 0;
  double thresholdVoltage = 0;         // V
  double channelLengthModulation = 0;  // 1/V
  double drainResistance = 0;          // ohm, at the reference temperature
  double gateResistance = 0;           // ohm
  double sourceResistance = 0;         // ohm
  double diodeBranchResistance = 0;    // ohm
  double diodeSaturationCurrent = 0;   // A, at the reference temperature
  double diodeEmissionCoefficient = 0;
  double diodeSaturationTemperatureExponent = 0;
  double diodeBandGap = 0;                           // eV
  double breakdownVoltage = 0;                       // V
  double breakdownCurrent = 0;                       // A
  double drainResistanceTemperatureCoefficient = 0;  // 1/K
};

struct Device {
  NameField name;
  int terminalCount = 0;
  DeviceKind kind = DeviceKind::kPlain;
  // The parameters of the device's kind (transient layout); the other two stay zero.
  DiodeParameters diode;
  TransistorAParameters transistorA;
  TransistorBParameters transistorB;
};

// Number of power-model parameters the problem file gives for a device of this kind.
int ParameterCount(DeviceKind kind);

// Sets the parameters of d's kind from values in the problem file's order (p1, p2, ...);
// missing values are 0, extra ones are ignored.
void AssignModelParameters(Device& d, const std::vector<double>& values);

// One thermal term of a device pair: its share of the pair's resistance and time constant.
struct ThermalTerm {
  double weight = 0;
  double timeConstant = 0;  // s
};

// How the power of one device heats another (or itself): a resistance and, in the transient
// layout, its first-order terms.
struct ThermalPair {
  double resistance = 0;  // K/W
  std::vector<ThermalTerm> terms;
};

// The thermal network between the devices, indexed from 0 in device order.
inline constexpr double AmbientTemperature = 295.0;  // K, unless the user gives another

struct ThermalNetwork {
  // DC layout: each device's own resistance R_i, added to any pair (i, i) below.
  std::vector<double> ownResistance;
  // pair[i][j]: the heating of device i by the power of device j. Pairs the file does not
  // name have resistance 0 and no terms. Transient layout: pair[i][i] is the device's own.
  std::vector<std::vector<ThermalPair>> pair;
  // K, the surroundings every device's rise starts from.
  double ambient = AmbientTemperature;
};

// A problem file, read once; the analyses never change it.
struct Problem {
  std::string fileName;  // as opened, for failure texts
  ProblemLayout layout = ProblemLayout::kNone;
  std::vector<Device> devices;
  ThermalNetwork network;
  // DC layout: the sweep.
  double sweepStart = 0;
  double sweepStep = 0;
  double sweepEnd = 0;
  // Transient layout.
  double endTime = 0;  // s
  int inductorCount = 0;
  int capacitorCount = 0;
  bool directPower = false;  // powers are the products of the recorded quantities

  int deviceCount() const { return static_cast<int>(devices.size()); }
  // Node quantities the result table records: the sum of (terminalCount - 1).
  int ProbeNodeCount() const;
};

}  // namespace etherm
