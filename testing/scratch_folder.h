#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace etherm::testing {

// A fresh folder for one test, named after it, removed afterwards. With Enter::kYes it is also
// the current folder while it lives (the analyses work in the current folder).
class ScratchFolder {
 public:
  enum class Enter { kNo, kYes };

  explicit ScratchFolder(Enter enter = Enter::kNo);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A file of the folder.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
// The numbers of each line after the first `skip` lines of a file the system wrote.
std::vector<std::vector<double>> NumberRows(const std::filesystem::path& file, int skip);
// The lines joined with CR LF after each.
std::string CrLfLines(const std::vector<std::string>& lines);

}  // namespace etherm::testing
