#pragma once

// The power tables of the two analyses: one power per device and line of a result table.

#include <array>
#include <string>

#include "model/analysis_state.h"
#include "model/transient_tables.h"
#include "textio/text_file.h"

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
// The same on a result table open for reading, writing to a power table open for writing (in
// memory, say): the same bytes, node values and failures.
DcNodeValues ComputeDcPower(const Problem& problem, TextFile& table, TextFile& power,
                            DcNodeValues nodeValues);

// The powers of one transient window from the window's result table tableName (title line,
// names line, then per line a time and the devices' values in the problem's order). Header:
// the result table's title (first 120 bytes) and "czas " with each device's 8-byte name and a
// blank. One row per result-table line, until the table ends or a row's time reaches
// problem.endTime (that row is the last); at least one row. Values are read as tokens, missing
// ones as 0; times and powers are held as their 23-character text reads back.
//
// A device's power by its kind, with T = temperatures[i] (K, device i from 1):
//   kind 0: q2 q1;  kind 1: q2 q1, or the junction diode model;
//   kind 2: q2 q1 + q3 q4, or transistor model A limited to 100 W;
//   kind 3: q1 q2 - (q6 + q4) q3, or transistor model B (T capped at 1000 K) limited to 100 W;
// the products when problem.directPower is set, the models otherwise.
//
// Failures: the I/O texts ("File not found", ...), "Invalid numeric input", and the arithmetic
// texts when a model or product divides by zero, takes the logarithm of a non-positive number
// or overflows.
//
// A model's failure reads "power model of device D1, junction diode model (kind 1) at 300.0 K: "
// followed by the model's text (the operation, its step and the parameters it takes).
PowerTable ComputeTransientPower(const Problem& problem, const std::string& tableName,
                                 const DeviceTable<double>& temperatures);
// The same from a result table open for reading, from its position (its first line) on.
PowerTable ComputeTransientPower(const Problem& problem, TextFile& table,
                                 const DeviceTable<double>& temperatures);

// The prefix of a model's failure for `device` at `temperature` (K), followed by `text`.
std::string ModelFailureText(const Device& device, double temperature, std::string_view text);

}  // namespace etherm
