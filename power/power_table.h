#pragma once

// The power tables of the two analyses: one power per device and line of a result table.

#include <array>
#include <string>

#include "model/analysis_state.h"

namespace etherm {

// Node values of a DC point, indexed from 1 as the ".NODESET" line takes them.
using DcNodeValues = std::array<double, kMaxDcNodeValues + 1>;

// The DC power table from the DC result table. Writes tableName's title line (first 120
// bytes), a names line ("dc ", then each device's 8-byte name and a blank), then for each data
// line its sweep value and the power of each device of kind 1, 2 or 3 (each 23 wide and
// followed by a blank):
//   kind 1 (q1, q2):          q2 q1
//   kind 2 (q1 .. q4):        q2 q1 + q3 q4
//   kind 3 (q1 .. q6):        q1 q2 - (q6 + q4) q3
// Values are read as tokens, missing ones as 0; at least one line is written. Returns
// nodeValues with [1] := q1 (kinds 1-3), [2] := q3 (kinds 2, 3), [3] := q5 (kind 3), set device
// after device, line after line; what no device sets keeps its value.
//
// A device of kind 0 (CheckDcProblem refuses it when a DC analysis starts) reads no values and
// gets no column, which shifts the later columns against their devices.
//
// Failures: the I/O texts ("File not found", ...), "Invalid numeric input", the arithmetic
// texts for a product that overflows; files keep what was written before.
DcNodeValues ComputeDcPower(const Problem& problem, const std::string& tableName,
                            const std::string& powerTableName, DcNodeValues nodeValues);

// The transient power table of a window, from the window's result table (tableName) and the
// accumulated power file. Rows are a time and one power per device, each 23 wide and followed
// by a blank, then CR LF.
//
// First window (laterWindow not set): the result table's title line (first 120 bytes)
// and "czas " with each device's 8-byte name and a blank. Later windows: the first two lines of
// the accumulated power file (120 bytes each), then its rows up to and including the first
// whose time is at least windowStartTime (or to its end), rewritten with deviceCount powers.
// Then one new row per result-table line, until the table ends or a row's time reaches
// analysisEnd (that row is written). Values are read as tokens, missing ones as 0.
//
// A device's power by its kind code (deviceParameters[i][0]), with T = deviceTemperature[i]:
//   kind 0: q2 q1;  kind 1: q2 q1, or the junction diode model;
//   kind 2: q2 q1 + q3 q4, or transistor model A limited to 100 W;
//   kind 3: q1 q2 - (q6 + q4) q3, or transistor model B (T capped at 1000 K) limited to 100 W;
// the products when directPowerFlag is set, the models otherwise. Another kind code reads no
// values and gets no column (the problem reader refuses such codes).
//
// The accumulated power file is historyName (the driver's baseName + ".moc"). It must exist,
// even for the first window.
//
// The model parameters are those of state.problem's devices. State: sampleTime is the time of
// the last row read (history rows included).
//
// Failures: the I/O texts ("File not found", ...), "Invalid numeric input", and the arithmetic
// texts when a model or product divides by zero, takes the logarithm of a non-positive number
// or overflows; files keep what was written before.
void ComputeTransientPower(AnalysisState& state, const std::string& tableName,
                           const std::string& powerTableName, const std::string& historyName);

}  // namespace etherm
