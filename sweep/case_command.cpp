#include "sweep/case_command.h"

#include "sweep/sweep_files.h"

namespace etherm::sweep {

std::optional<std::string> CaseAmbient(const CaseTable& table, std::size_t caseIndex) {
  for (std::size_t k = 0; k < table.quantities.size(); ++k) {
    if (table.quantities[k].kind == Quantity::Kind::kAmbient) {
      return NumberText(table.cases[caseIndex].numbers[k]);
    }
  }
  return std::nullopt;
}

std::vector<std::string> BatchArguments(AnalysisKind analysis, const std::string& base, bool plot,
                                        const std::optional<std::string>& ambient) {
  std::vector<std::string> words = {AnalysisWord(analysis)};
  if (!plot) words.push_back("--no-plot");
  if (ambient) {
    words.push_back("--ambient");
    words.push_back(*ambient);
  }
  words.push_back(base);
  return words;
}

std::string ShellQuoted(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789_-+./:=,") == std::string::npos;
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string CaseCommandLine(const std::string& name, const std::string& batch,
                            const std::vector<std::string>& arguments) {
  std::string line = "cd " + ShellQuoted(CaseFile(name, "")) + " && exec " + ShellQuoted(batch);
  for (const std::string& word : arguments) line += " " + ShellQuoted(word);
  return line + " </dev/null >etherm-batch.out 2>etherm-batch.err";
}

}  // namespace etherm::sweep
