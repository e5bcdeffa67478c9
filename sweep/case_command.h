#pragma once
// How one case runs: etherm-batch alone in cases/<name>/, one thread, its output kept there.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sweep/case_table.h"
#include "sweep/commands.h"

namespace etherm::sweep {

// The case's ambient temperature as etherm-batch reads it, when the table sets one.
std::optional<std::string> CaseAmbient(const CaseTable& table, std::size_t caseIndex);

// etherm-batch's words after the program: the analysis, --no-plot unless `plot`, --ambient
// with `ambient` when there is one, the base name.
std::vector<std::string> BatchArguments(AnalysisKind analysis, const std::string& base, bool plot,
                                        const std::optional<std::string>& ambient);

// A word for a POSIX shell, whatever bytes it holds; in quotes unless it needs none.
std::string ShellQuoted(const std::string& text);

// The line a POSIX shell runs for the case: into its folder, then etherm-batch in place of the
// shell, its input empty and its output in etherm-batch.out and etherm-batch.err.
std::string CaseCommandLine(const std::string& name, const std::string& batch,
                            const std::vector<std::string>& arguments);

}  // namespace etherm::sweep
