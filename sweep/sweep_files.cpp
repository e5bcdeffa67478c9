#include "sweep/sweep_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "textio/failure.h"

namespace etherm::sweep {

void CheckBaseName(const std::string& base) {
  if (base.empty() || base == "." || base == ".." || base.find('/') != std::string::npos) {
    throw Failure("the base name \"" + base +
                  "\" must name files of the current folder (BASE.par, BASE.cir), not a path");
  }
  // The name goes into the command lines of the cases, one a line.
  for (char c : base) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) {
      throw Failure("the base name \"" + base + "\" holds a control character");
    }
  }
}

std::string ReadWholeFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw Failure(IoErrorText(errno) + ": " + fileName);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Failure("cannot read " + fileName);
  return bytes;
}

void WriteWholeFile(const std::string& fileName, const std::string& bytes) {
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!out) throw Failure(IoErrorText(errno) + ": " + fileName);
  out << bytes;
  if (!out.flush()) throw Failure("cannot write " + fileName);
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
