// Stands in for the analyses until their library is built.
#include "analysis/analysis.h"
#include "textio/failure.h"

namespace etherm {
void RunDcAnalysis(AnalysisState&) {
  throw Failure("The DC analysis is not built yet");
}
void RunTransientAnalysis(AnalysisState&) {
  throw Failure("The transient analysis is not built yet");
}
}  // namespace etherm
