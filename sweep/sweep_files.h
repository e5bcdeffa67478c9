#pragma once
// Where a sweep keeps its files: cases/<name>/ per case, the table in cases/cases.csv.

#include <string>

#include "sweep/case_table.h"

namespace etherm::sweep {

inline constexpr const char* kCasesFolder = "cases";

// Throws Failure unless base is a plain file name: each case folder gets its own BASE files.
void CheckBaseName(const std::string& base);

// The whole file; Failure naming it when it cannot be read, is no regular file or holds more
// than 64 MiB.
std::string ReadWholeFile(const std::string& fileName);
// Creates or replaces the file; Failure naming it when it cannot be written.
void WriteWholeFile(const std::string& fileName, const std::string& bytes);

// "cases/<name>/" + file.
std::string CaseFile(const std::string& caseName, const std::string& file);

// The table prepare kept; Failure saying to prepare first when there is none.
CaseTable ReadPreparedCases();

// etherm-batch: ETHERM_BATCH when set, else the one beside this program. Failure when it is
// not an executable file.
std::string FindBatchProgram();

}  // namespace etherm::sweep
