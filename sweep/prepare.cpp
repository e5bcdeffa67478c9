#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "batch/celsius_argument.h"
#include "model/analysis_state.h"
#include "model/problem_file.h"
#include "sweep/circuit_params.h"
#include "sweep/commands.h"
#include "sweep/problem_fields.h"
#include "sweep/sweep_files.h"
#include "textio/failure.h"

namespace etherm::sweep {

namespace {

namespace fs = std::filesystem;

// A scratch folder where each case's problem file is read back before anything is written.
class CheckFolder {
 public:
  CheckFolder() {
    std::string pattern = (fs::temp_directory_path() / "etherm-sweep-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw Failure("cannot make a scratch folder");
    path_ = pattern;
  }
  ~CheckFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The problem file of one case must pass what the analysis checks at its start, so a bad value
// is refused now rather than in one of many runs.
void CheckCaseProblem(const fs::path& folder, const std::string& base, const std::string& text,
                      bool transient) {
  const std::string stem = (folder / base).string();
  WriteWholeFile(stem + ".par", text);
  const Problem problem = ReadProblemFile(stem);
  if (transient) {
    CheckTransientProblem(problem);
  } else {
    CheckDcProblem(problem);
  }
}

}  // namespace

void Prepare(const std::string& tableFile, const std::string& base, std::FILE* out) {
  CheckBaseName(base);
  const CaseTable table = ParseCaseTable(ReadWholeFile(tableFile), tableFile);
  const std::string parFile = base + ".par";
  const std::string cirFile = base + ".cir";
  const std::string problem = ReadWholeFile(parFile);
  const std::string circuit = ReadWholeFile(cirFile);
  const ProblemFields fields = LocateProblemFields(base);

  std::vector<std::vector<Span>> spans;
  for (const Quantity& q : table.quantities) {
    if (q.kind == Quantity::Kind::kAmbient) {
      spans.emplace_back();  // an option of the case's run, in none of its files
    } else if (q.kind == Quantity::Kind::kParameter) {
      if (const auto refusal = ParameterRefusal(circuit, q.name, cirFile)) throw Failure(*refusal);
      spans.emplace_back();
    } else {
      spans.push_back(SpansOf(fields, q, parFile));
    }
  }

  struct Files {
    std::string problem, circuit;
  };
  std::vector<Files> files;
  CheckFolder check;
  for (const Case& c : table.cases) {
    std::vector<Edit> edits;
    std::string caseCircuit = circuit;
    for (std::size_t k = 0; k < table.quantities.size(); ++k) {
      const std::string value = NumberText(c.numbers[k]);
      if (table.quantities[k].kind == Quantity::Kind::kAmbient && !CelsiusArgument(value)) {
        throw Failure("case \"" + c.name + "\": " + table.quantities[k].name + " = " + c.values[k] +
                      " is no ambient temperature etherm-batch takes (degrees Celsius above "
                      "-273.15 and below 1000)");
      }
      if (table.quantities[k].kind == Quantity::Kind::kParameter) {
        caseCircuit = SetCircuitParameter(caseCircuit, table.quantities[k].name, value);
      }
      for (const Span& s : spans[k]) edits.push_back({s, value});
    }
    Files f{ApplyEdits(problem, edits), caseCircuit};
    try {
      CheckCaseProblem(check.path(), base, f.problem, fields.transient);
    } catch (const Failure& failure) {
      // Name the file the case will have, not the scratch copy.
      std::string text = failure.what();
      const std::string scratch = (check.path() / base).string();
      for (std::size_t p = text.find(scratch); p != std::string::npos; p = text.find(scratch, p)) {
        text.replace(p, scratch.size(), CaseFile(c.name, base));
      }
      throw Failure("case \"" + c.name + "\": " + text);
    }
    files.push_back(std::move(f));
  }

  std::error_code ec;
  if (fs::exists(kCasesFolder) && !fs::is_empty(kCasesFolder, ec)) {
    throw Failure(std::string(kCasesFolder) +
                  "/ already holds a sweep; move it away or remove it to prepare another");
  }
  fs::create_directories(kCasesFolder, ec);
  if (ec) throw Failure("cannot make " + std::string(kCasesFolder) + "/: " + ec.message());
  for (std::size_t n = 0; n < table.cases.size(); ++n) {
    const std::string& name = table.cases[n].name;
    fs::create_directory(fs::path(kCasesFolder) / name, ec);
    if (ec) throw Failure("cannot make " + CaseFile(name, "") + ": " + ec.message());
    WriteWholeFile(CaseFile(name, parFile), files[n].problem);
    WriteWholeFile(CaseFile(name, cirFile), files[n].circuit);
  }
  // Written last: run and gather take a sweep as prepared only when all its folders are there.
  WriteWholeFile(std::string(kCasesFolder) + "/" + kCaseListFile, CaseTableText(table));
  std::fprintf(out, "prepared %zu cases in %s/\n", table.cases.size(), kCasesFolder);
}

}  // namespace etherm::sweep
