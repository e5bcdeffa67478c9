#include "thermal/transient_temperatures.h"

#include <algorithm>
#include <cmath>

#include "thermal/arithmetic_traps.h"
#include "thermal/file_scope.h"

namespace etherm {

namespace {

int TermsInUse(const AnalysisState& state, int i, int j) {
  return std::clamp(state.termCount[i][j], 0, kMaxTerms);
}

// Thermal steady state: every term at R a P of its pair's source device.
template <class Mode>
void SteadyStateLine(AnalysisState& state, Mode mode) {
  const int n = state.deviceCount;
  for (int i = 1; i <= n; ++i) {
    double t = AmbientTemperature;
    for (int j = 1; j <= n; ++j) {
      const double r = state.thermalCoupling[i][j];
      const int used = TermsInUse(state, i, j);
      for (int k = 1; k <= kMaxTerms; ++k) {
        // Slots above the pair's term count may hold weights of an earlier problem.
        const double a = k <= used ? state.termWeight[i][j][k] : 0.0;
        const double rise = TrapAfter(mode, TrapAfter(mode, r * a) * state.devicePower[j]);
        state.termRise[i][j][k] = rise;
        t = TrapAfter(mode, t + rise);
      }
    }
    state.deviceTemperature[i] = t;
  }
}

// One step of the recursive convolution, from the previous line to the current one.
template <class Mode>
void StepLine(AnalysisState& state, Mode mode) {
  const int n = state.deviceCount;
  const double step = TrapAfter(mode, state.sampleTime - state.previousSampleTime);
  state.stepSize = step;
  for (int i = 1; i <= n; ++i) {
    double t = AmbientTemperature;
    for (int j = 1; j <= n; ++j) {
      const double r = state.thermalCoupling[i][j];
      const double p = state.devicePower[j];
      const double pPrevious = state.previousPower[j];
      const int used = TermsInUse(state, i, j);
      for (int k = 1; k <= used; ++k) {
        const double exponent = TrapAfter(mode, -step / state.termTimeConstant[i][j][k]);
        const double e = TrapAfter(mode, std::exp(exponent));
        const double root = std::sqrt(e);
        const double c =
            TrapAfter(mode, (1.0 - root) * TrapAfter(mode, r * state.termWeight[i][j][k]));
        const double cPrevious = TrapAfter(mode, root * c);
        double rise = TrapAfter(mode, e * state.previousTermRise[i][j][k]);
        rise = TrapAfter(mode, rise + TrapAfter(mode, cPrevious * pPrevious));
        rise = TrapAfter(mode, rise + TrapAfter(mode, c * p));
        state.termRise[i][j][k] = rise;
        t = TrapAfter(mode, t + rise);
        state.decayFactor = e;
        state.currentPowerGain = c;
        state.previousPowerGain = cPrevious;
      }
    }
    state.deviceTemperature[i] = t;
  }
}

void WriteNumber(TextFile& file, double x) {
  WriteReal(file, x);
  WriteChar(file, ' ');
}

}  // namespace

void ComputeTransientTemperatures(AnalysisState& state, const std::string& powerFileName,
                                  const std::string& temperatureFileName) {
  TextFile& in = state.workFileA;
  TextFile& out = state.workFileB;
  TextFile& rises = state.workFileC;
  FileScope files{&in, &out, &rises};
  in.OpenForReading(powerFileName);
  out.OpenForWriting(temperatureFileName);
  rises.OpenForWriting(kTermRiseFileName);
  CopyHeaderLines(in, out);

  const int n = state.deviceCount;
  state.sampleTime = 0.0;
  do {
    state.previousSampleTime = state.sampleTime;
    state.previousPower = state.devicePower;
    // Only the pairs of this problem are ever read back; the other slots never change here.
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) state.previousTermRise[i][j] = state.termRise[i][j];
    }
    state.sampleTime = ReadReal(in);
    for (int j = 1; j <= n; ++j) state.devicePower[j] = ReadReal(in);
    SkipLine(in);

    const bool steady = state.sampleTime == 0.0;
    ComputeWithTraps([&](auto mode) {
      if (steady) {
        SteadyStateLine(state, mode);
      } else {
        StepLine(state, mode);
      }
    });

    WriteNumber(rises, state.sampleTime);
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) {
        const int written = steady ? kMaxTerms : TermsInUse(state, i, j);
        for (int k = 1; k <= written; ++k) WriteNumber(rises, state.termRise[i][j][k]);
      }
    }
    WriteLineEnd(rises);
    WriteNumber(out, state.sampleTime);
    for (int i = 1; i <= n; ++i) WriteNumber(out, state.deviceTemperature[i]);
    WriteLineEnd(out);
  } while (!AtEnd(in));
  files.Close();
}

}  // namespace etherm
