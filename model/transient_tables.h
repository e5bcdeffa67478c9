#pragma once

// The tables of one transient window as values: the powers and the temperatures of the devices
// at the window's times.

#include <string>
#include <string_view>
#include <vector>

#include "model/analysis_state.h"

namespace etherm {

// One line of a transient table: a time and one value per device (1..n).
struct TransientRow {
  double time = 0;              // s
  DeviceTable<double> value{};  // W in a power table, K in a temperature table
};

// A transient table with its two header lines. Every number is held as its 23-character text
// reads back (AsWritten), so the table and the file written from it say the same.
struct TransientTable {
  std::string title;  // line 1
  std::string names;  // line 2
  std::vector<TransientRow> rows;
};
using PowerTable = TransientTable;
using TemperatureTable = TransientTable;

// x as reading back its 23-character exponent text gives it: a table file holds 15 significant
// digits, and every routine that reads one computes with what those digits say. Throws
// Failure with the text of an unreadable number for a value without such text (NaN, infinity).
double AsWritten(double x);
// The same text read into the extended format, as the window-end prediction reads it.
long double AsWrittenExtended(double x);

// The text of a table line as the tables' files hold it: each number in the 23-character form
// followed by a blank (the time, then values 1..count); no line end.
void AppendRowText(std::string& out, const TransientRow& row, int count);
// The lines of rows so, each ended by CR LF.
std::string RowsText(const std::vector<TransientRow>& rows, int count);

}  // namespace etherm
