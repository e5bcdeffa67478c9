#include "sweep/sweep_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "textio/failure.h"
#include "textio/file_access.h"

namespace etherm::sweep {

void CheckBaseName(const std::string& base) {
  if (base.empty() || base == "." || base == ".." || base.find('/') != std::string::npos) {
    throw Failure("the base name \"" + base +
                  "\" must name files of the current folder (BASE.par, BASE.cir), not a path");
  }
  // etherm-batch would take it for an option ("--no-plot") and run with no base name.
  if (base[0] == '-') {
    throw Failure("the base name \"" + base +
                  "\" begins with '-', which etherm-batch reads as an option; rename BASE.par and "
                  "BASE.cir");
  }
  // The name goes into the command lines of the cases, one a line.
  for (char c : base) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) {
      throw Failure("the base name \"" + base + "\" holds a control character");
    }
  }
}

std::string ReadWholeFile(const std::string& fileName) {
  // A FIFO would block for ever, a device such as /dev/zero never end.
  constexpr std::uintmax_t kWholeFileBound = std::uintmax_t{64} << 20;
  return ReadRegularFile(fileName, kWholeFileBound);
}

void WriteWholeFile(const std::string& fileName, const std::string& bytes) {
  std::FILE* out = OpenOutputStream(fileName, OutputOpening::kCreate);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) throw Failure("cannot write " + fileName);
}

std::string CaseFile(const std::string& caseName, const std::string& file) {
  return std::string(kCasesFolder) + "/" + caseName + "/" + file;
}

CaseTable ReadPreparedCases() {
  const std::string list = std::string(kCasesFolder) + "/" + kCaseListFile;
  if (!std::filesystem::exists(list)) {
    throw Failure("no prepared sweep here (" + list +
                  " is missing); run etherm-sweep prepare CASES.csv BASE first");
  }
  return ParseCaseTable(ReadWholeFile(list), list);
}

std::string FindBatchProgram() {
  std::string program;
  if (const char* env = std::getenv("ETHERM_BATCH"); env != nullptr && *env != '\0') {
    program = env;
  } else {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) program = (self.parent_path() / "etherm-batch").string();
  }
  if (program.empty() || access(program.c_str(), X_OK) != 0 ||
      std::filesystem::is_directory(program)) {
    throw Failure("etherm-batch not found: \"" + program +
                  "\" is no program; install it beside etherm-sweep or name it in ETHERM_BATCH");
  }
  return std::filesystem::absolute(program).string();
}

}  // namespace etherm::sweep
