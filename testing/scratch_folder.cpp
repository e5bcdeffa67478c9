#include "testing/scratch_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace etherm::testing {

ScratchFolder::ScratchFolder(Enter enter) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "etherm_" + std::to_string(::getpid());
  if (info != nullptr) name += std::string("_") + info->test_suite_name() + "_" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';  // parameterised test names
  }
  path_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  if (enter == Enter::kYes) {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::vector<std::vector<double>> NumberRows(const std::filesystem::path& file, int skip) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(ReadBytes(file));
  std::string line;
  for (int n = 0; std::getline(in, line); ++n) {
    if (n < skip) continue;
    std::istringstream values(line);
    std::vector<double> row;
    for (std::string token; values >> token;) row.push_back(std::strtod(token.c_str(), nullptr));
    rows.push_back(row);
  }
  return rows;
}

std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace etherm::testing
