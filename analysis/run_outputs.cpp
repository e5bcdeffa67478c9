#include "analysis/run_outputs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "analysis/run_files.h"
#include "model/file_names.h"
#include "textio/failure.h"

namespace etherm {

namespace {

namespace fs = std::filesystem;

std::string Staged(const std::string& name) {
  return name + ".new";
}

void RequireWritable(const std::string& name) {
  std::error_code ec;
  const fs::file_status status = fs::status(name, ec);
  if (fs::is_directory(status)) {
    throw Failure("The output file \"" + name + "\" is a folder; rename or remove it");
  }
  if (fs::exists(status) && access(name.c_str(), W_OK) != 0) {
    throw Failure("The output file \"" + name + "\" cannot be written: " + std::strerror(errno));
  }
}

}  // namespace

namespace {
// Runs of this process past LockFolder: read by the clean-up after a failure.
std::atomic<int> g_runsInFolder{0};
}  // namespace

RunOutputs::~RunOutputs() {
  Discard();
  if (folderLock_ >= 0) ::close(folderLock_);  // ends the lock
  if (inFolder_) --g_runsInFolder;
}

bool RunOutputs::FolderIsThisRuns() {
  return g_runsInFolder.load() > 0;
}

void RunOutputs::LockFolder() {
  if (inFolder_) return;
  // Close-on-exec: a simulator left running must not keep the folder locked.
  const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      throw Failure(
          "Another analysis is running in this folder; two would write the same run log (" +
          std::string(kRunLogName) + ") and simulator files (" + kSimulatorCircuitName +
          ", ...). Wait for it to end, or run this one in a folder of its own");
    }
  } else {
    folderLock_ = fd;
  }
  inFolder_ = true;
  ++g_runsInFolder;
}

RunOutputs::RunOutputs(AnalysisState& state, std::vector<std::string> accumulated) : state_(state) {
  names_.push_back(kRunLogName);
  names_.insert(names_.end(), accumulated.begin(), accumulated.end());
}

void RunOutputs::Check() const {
  for (const std::string& name : names_) {
    const fs::path folder = fs::path(name).parent_path();
    const std::string folderName = folder.empty() ? "." : folder.string();
    if (access(folderName.c_str(), W_OK | X_OK) != 0) {
      throw Failure("The folder \"" + folderName + "\" of the output file \"" + name +
                    "\" cannot be written: " + std::strerror(errno));
    }
    RequireWritable(name);
    RequireWritable(Staged(name));
  }
}

void RunOutputs::Begin() {
  begun_ = true;
  committed_ = false;
  state_.runLogName = Staged(kRunLogName);
  CreateEmptyFile(state_.runLogName);
}

std::string RunOutputs::Name(const std::string& finalName) const {
  return committed_ ? finalName : Staged(finalName);
}

void RunOutputs::Commit() {
  if (committed_ || !begun_) return;
  for (const std::string& name : names_) {
    if (std::rename(Staged(name).c_str(), name.c_str()) != 0) {
      throw Failure("The output file \"" + Staged(name) + "\" cannot be renamed to \"" + name +
                    "\": " + std::strerror(errno));
    }
  }
  committed_ = true;
  state_.runLogName = kRunLogName;
}

void RunOutputs::Discard() noexcept {
  if (!begun_ || committed_) return;
  for (const std::string& name : names_) {
    std::error_code ignored;
    fs::remove(Staged(name), ignored);
  }
  begun_ = false;
  state_.runLogName = kRunLogName;
}

}  // namespace etherm
