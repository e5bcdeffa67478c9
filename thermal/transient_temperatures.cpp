#include "thermal/transient_temperatures.h"

#include <algorithm>
#include <cmath>

#include "textio/checked_arithmetic.h"
#include "thermal/table_lines.h"

namespace etherm {

namespace {

using checked::Add;
using checked::Div;
using checked::Exp;
using checked::Mul;
using checked::Sub;

int TermsInUse(const AnalysisState& state, int i, int j) {
  return std::clamp(state.termCount[i][j], 0, kMaxTerms);
}

// Thermal steady state: every term at R a P of its pair's source device.
void SteadyStateLine(AnalysisState& state) {
  const int n = state.deviceCount;
  for (int i = 1; i <= n; ++i) {
    double t = AmbientTemperature;
    for (int j = 1; j <= n; ++j) {
      const double r = state.thermalCoupling[i][j];
      const int used = TermsInUse(state, i, j);
      for (int k = 1; k <= kMaxTerms; ++k) {
        // Slots above the pair's term count may hold weights of an earlier problem.
        const double a = k <= used ? state.termWeight[i][j][k] : 0.0;
        const double rise = Mul(Mul(r, a), state.devicePower[j]);
        state.termRise[i][j][k] = rise;
        t = Add(t, rise);
      }
    }
    state.deviceTemperature[i] = t;
  }
}

// One step of the recursive convolution, from the previous line to the current one.
void StepLine(AnalysisState& state) {
  const int n = state.deviceCount;
  const double step = Sub(state.sampleTime, state.previousSampleTime);
  state.stepSize = step;
  for (int i = 1; i <= n; ++i) {
    double t = AmbientTemperature;
    for (int j = 1; j <= n; ++j) {
      const double r = state.thermalCoupling[i][j];
      const double p = state.devicePower[j];
      const double pPrevious = state.previousPower[j];
      const int used = TermsInUse(state, i, j);
      for (int k = 1; k <= used; ++k) {
        const double exponent = Div(-step, state.termTimeConstant[i][j][k]);
        const double e = Exp(exponent);
        const double root = std::sqrt(e);
        const double c = Mul(1.0 - root, Mul(r, state.termWeight[i][j][k]));
        const double cPrevious = Mul(root, c);
        double rise = Mul(e, state.previousTermRise[i][j][k]);
        rise = Add(rise, Mul(cPrevious, pPrevious));
        rise = Add(rise, Mul(c, p));
        state.termRise[i][j][k] = rise;
        t = Add(t, rise);
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
  TextFile in;
  TextFile out;
  TextFile rises;
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
    if (steady) {
      SteadyStateLine(state);
    } else {
      StepLine(state);
    }

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
  in.Close();
  out.Close();
  rises.Close();
}

}  // namespace etherm
