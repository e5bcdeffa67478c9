#pragma once

namespace etherm {

// The two analyses of a run: the DC sweep and the transient.
enum class AnalysisKind { kDc, kTransient };

}  // namespace etherm
