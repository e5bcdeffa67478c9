#pragma once

#include "model/analysis_state.h"

namespace etherm {

// The files one call of a circuit writer opens: the user's circuit on workFileA, the
// iteration's circuit on workFileC and, for the transient writer, resultFile. When the call
// ends by a failure, the guard closes what it opened, so the output keeps the lines written
// before.
class WriterFiles {
 public:
  explicit WriterFiles(AnalysisState& state) : state_(state) {}
  WriterFiles(const WriterFiles&) = delete;
  WriterFiles& operator=(const WriterFiles&) = delete;
  ~WriterFiles();

  // baseName + ".cir" for reading.
  void OpenInput();
  // baseName + iterationText + ".cir", created or emptied.
  void CreateOutput();
  // The accumulated results for reading: the name resultFile is bound to, baseName + ".wyn"
  // when it was never opened.
  void OpenResults();
  void CloseResults();
  // Closes the output, then the input and the results.
  void CloseAll();

 private:
  AnalysisState& state_;
  bool input_ = false;
  bool output_ = false;
  bool results_ = false;
};

}  // namespace etherm
