#include "netlist/writer_files.h"

#include "textio/failure.h"

namespace etherm {

WriterFiles::~WriterFiles() {
  // Only reached with files open when a failure is on its way out; that failure is the one to
  // report, not a second one from closing.
  try {
    if (output_) state_.workFileC.Close();
  } catch (const Failure&) {
  }
  if (input_) state_.workFileA.Close();
  if (results_) state_.resultFile.Close();
}

void WriterFiles::OpenInput() {
  state_.workFileA.OpenForReading(state_.baseName + ".cir");
  input_ = true;
}

void WriterFiles::CreateOutput() {
  state_.workFileC.OpenForWriting(state_.baseName + state_.iterationText + ".cir");
  output_ = true;
}

void WriterFiles::OpenResults() {
  // By the name the driver bound: until a run accepts its first window, its results are staged
  // under another name.
  const std::string& bound = state_.resultFile.name();
  state_.resultFile.OpenForReading(bound.empty() ? state_.baseName + ".wyn" : bound);
  results_ = true;
}

void WriterFiles::CloseResults() {
  if (!results_) return;
  results_ = false;
  state_.resultFile.Close();
}

void WriterFiles::CloseAll() {
  if (output_) {
    output_ = false;
    state_.workFileC.Close();
  }
  if (input_) {
    input_ = false;
    state_.workFileA.Close();
  }
  CloseResults();
}

}  // namespace etherm
