#pragma once

#include <string>

namespace etherm {

// Result tables from the simulator's probe data. Both routines read the probe-data file
// (lines 1-2 skipped, line 3 the title, lines 4-12 skipped, line 13 the quantity names, then
// records "#<type> <x> ..." followed by value lines) and write the table:
//   line 1: the first 120 bytes of the title, CR LF;
//   line 2: a word ("dc " or "time "), the first 120 bytes of the names and any bytes up to the
//           first record header;
//   then one line per data record: x written with WriteReal (23 wide) and a blank, then the
//   record's value bytes as they stand, with each index suffix ":<digits> " replaced by one
//   blank and each CR LF removed. Every record header first ends the line before it.
// An index suffix that runs to the end of the file still gives its blank. Each routine opens
// and closes its own two files; an existing table is replaced. Failures: Failure with the text
// of the I/O error ("File not found", ...); probe data that cannot be read faithfully (see
// CheckProbeData) are refused before anything is written to the table, with a Failure naming
// the file and the line.

// DC: x is the record's sweep value. The table ends at the end record "#;", after any other
// ';' byte (which is copied), or at the end of the file.
void ExtractDcResults(const std::string& probeDataName, const std::string& tableName);
// The same from probe data that never was a file (streamed by the serving simulator), the table
// returned instead of written; the names only name them in failure texts.
std::string ExtractDcTableFromText(const std::string& probeDataName, std::string probeData,
                                   const std::string& tableName);

// Transient: x is the record's time plus offset (absolute time). The table ends before the
// first record whose absolute time is above 1.02 x windowEnd (its line end is written,
// nothing of it), or at the end of the file; ';' bytes are copied like any other. An
// overflowing time ends with the arithmetic failure text.
void ExtractTransientResults(const std::string& probeDataName, const std::string& tableName,
                             double offset, double windowEnd);
// The same table returned instead of written: the analysis reads it once, so it never goes
// through the file system. tableName only names it in failure texts.
std::string ExtractTransientTable(const std::string& probeDataName, const std::string& tableName,
                                  double offset, double windowEnd);
// The same from probe data that never was a file (the continuous engine's, streamed);
// probeDataName only names it in failure texts.
std::string ExtractTransientTableFromText(const std::string& probeDataName,
                                          std::string probeData, const std::string& tableName,
                                          double offset, double windowEnd);

}  // namespace etherm
