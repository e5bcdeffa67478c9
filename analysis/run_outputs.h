#pragma once

#include <string>
#include <vector>

#include "model/analysis_state.h"

namespace etherm {

// The files a run rewrites: the run log and the accumulated files. Until the run accepts its
// first sweep point or window they are written under staged names beside them (the name with
// ".new" after it), so that a run failing before that leaves the earlier results as they were;
// acceptance moves the staged files into place, byte for byte what they would hold had they
// been written in place.
class RunOutputs {
 public:
  // The run log (state.runLogName is pointed at its staged name while the run is staged) and
  // the accumulated files, by their final names.
  RunOutputs(AnalysisState& state, std::vector<std::string> accumulated);
  RunOutputs(const RunOutputs&) = delete;
  RunOutputs& operator=(const RunOutputs&) = delete;
  ~RunOutputs();

  // Takes the working folder's lock for the life of this object: the run log and the
  // simulator's scratch files have one name per folder, so a second analysis there would mix
  // its files with this one's. Throws Failure at once when another analysis (of this or another
  // process) holds it. The lock is the kernel's (flock on the folder), so it ends with the
  // process however that ends, and no file is left for it. A folder that cannot be locked (a
  // file system without locks) runs unlocked.
  void LockFolder();
  // True while a run of this process is past LockFolder: the scratch files in the folder are
  // its own, not those of a run of another process that refused this one.
  static bool FolderIsThisRuns();

  // Throws Failure naming the first file whose final or staged name is a folder or cannot be
  // written, or whose folder cannot be written (the staged file is created and renamed there).
  void Check() const;
  // Creates the staged run log empty and points state.runLogName at it. The accumulated files
  // are created by the driver under Name().
  void Begin();
  // The name to write a file under now: its staged name before Commit, its final one after.
  std::string Name(const std::string& finalName) const;
  bool committed() const { return committed_; }
  // Moves every staged file into place; later calls do nothing. Throws Failure when a move
  // fails.
  void Commit();
  // Removes the staged files of a run that did not commit; nothing after Commit.
  void Discard() noexcept;

 private:
  AnalysisState& state_;
  std::vector<std::string> names_;  // the run log first
  bool begun_ = false;
  bool committed_ = false;
  int folderLock_ = -1;
  bool inFolder_ = false;
};

}  // namespace etherm
