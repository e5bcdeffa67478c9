#include "thermal/window_end.h"

#include <array>
#include <cmath>
#include <string>

#include "textio/failure.h"
#include "textio/number_text.h"
#include "thermal/arithmetic_traps.h"
#include "thermal/file_scope.h"

namespace etherm {

namespace {

using Extended = long double;
using RiseTable = std::array<std::array<Extended, kMaxTerms + 1>, kMaxDevices + 1>;

std::string TimeText(double t) {
  const std::string text = FormatExponent(t, 23);
  return text.substr(text.find_first_not_of(' '));
}

int OwnTerms(const AnalysisState& state, int i) {
  const int k = state.selfTermCount[i];
  return k < 0 ? 0 : (k > kMaxTerms ? kMaxTerms : k);
}

// True when the current line holds another token before its line end.
bool ValueOnLine(const TextFile& file) {
  const char* p = file.data();
  std::size_t i = file.position();
  while (i < file.end() && p[i] != '\r' && static_cast<unsigned char>(p[i]) <= 32) ++i;
  return i < file.end() && p[i] != '\r';
}

class HistoryReader {
 public:
  HistoryReader(AnalysisState& state, const std::string& name)
      : state_(state), name_(name), file_(state.termRiseHistoryFile) {}

  // Reads the rises at t1 and t0 from the history lines with exactly those times.
  void Read(double t1, double t0, RiseTable& theta1, RiseTable& theta0) {
    FileScope files{&file_};
    file_.OpenForReading(name_);
    bool haveT1 = false;
    bool haveT0 = false;
    if (!AtEnd(file_)) {
      do {
        const double time = ReadReal(file_);
        state_.sampleTime = time;
        if (time == t1 || time == t0) {
          RiseTable rises{};
          ReadOwnRises(time, rises);
          if (time == t1) {
            theta1 = rises;
            haveT1 = true;
          }
          if (time == t0) {
            theta0 = rises;
            haveT0 = true;
          }
        }
        SkipLine(file_);
      } while (!AtEnd(file_) && !(state_.sampleTime >= t0));
    }
    files.Close();
    if (!haveT1) Missing(t1);
    if (!haveT0) Missing(t0);
  }

 private:
  void ReadOwnRises(double time, RiseTable& rises) {
    for (int i = 1; i <= state_.deviceCount; ++i) {
      for (int k = 1; k <= OwnTerms(state_, i); ++k) {
        // A short line would otherwise lend its missing values from the next one.
        if (!ValueOnLine(file_)) {
          throw Failure("The term-rise history \"" + name_ + "\": the line for the time " +
                        TimeText(time) + " s ends before term " + std::to_string(k) +
                        " of device " + std::to_string(i) + " (" + state_.deviceName[i].Trimmed() +
                        ")");
        }
        rises[i][k] = ReadExtended(file_);
      }
    }
  }

  [[noreturn]] void Missing(double time) const {
    throw Failure("The term-rise history \"" + name_ + "\" has no line for the time " +
                  TimeText(time) + " s");
  }

  AnalysisState& state_;
  const std::string name_;
  TextFile& file_;
};

struct Term {
  Extended r, a, tau, power;  // K/W, share, s, W
  Extended theta1, theta0;    // rises at t1 and t0, K
};

// The time at which the term's rise is predicted to have moved 1 K from its value at t0.
template <class Mode>
Extended PredictedTime(const Term& term, Extended t1, Extended t0, Extended tEnd, Mode mode) {
  const Extended y = TemperatureTolerance;
  const Extended r = term.r, a = term.a, tau = term.tau, p = term.power;
  const Extended steady = TrapAfter(mode, r * a * p);
  if (term.theta1 < term.theta0) {
    // A step response of size steady, started at s from the offset u.
    if (tau == 0 || r == 0 || a == 0 || p == 0) return tEnd;
    const Extended span = TrapAfter(
        mode, ClampedExp(TrapAfter(mode, -t1 / tau)) - ClampedExp(TrapAfter(mode, -t0 / tau)));
    if (span == 0) return tEnd;
    const Extended v = TrapAfter(mode, (term.theta0 - term.theta1) / r / a / p / span);
    Extended s = (v > 1e-1000L && v < 1e1000L) ? TrapAfter(mode, tau * std::log(v)) : 10 * tEnd;
    if (s < 0) s = 0;
    const Extended grown = TrapAfter(mode, ClampedExp(TrapAfter(mode, (s - t1) / tau)));
    Extended u = TrapAfter(mode, term.theta1 - (1 - grown) * steady);
    if (u < 0) u = 0;
    if (!(term.theta0 + y - u <= steady)) return tEnd;  // it never gains 1 K
    const Extended remaining = TrapAfter(mode, 1 - (term.theta0 + y - u) / r / a / p);
    // Zero when the gain of 1 K is reached only in the limit; rounding may push it below.
    if (remaining <= 0) return tEnd;
    return TrapAfter(mode, s - tau * std::log(remaining));
  }
  // A relaxation from the rise at t1 towards steady.
  const Extended distance = TrapAfter(mode, term.theta1 - steady);
  if (distance == 0) return tEnd;  // already steady: it never moves
  const Extended w = TrapAfter(mode, (term.theta0 - y - steady) / distance);
  if (!(w > 0)) return tEnd;  // below zero it never falls 1 K; at zero only in the limit
  return TrapAfter(mode, t0 - tau * std::log(w));
}

}  // namespace

long double ClampedExp(long double x) {
  static const Extended kHigh = std::exp(3000.0L);
  static const Extended kLow = std::exp(-3000.0L);
  if (x >= 3000) return kHigh * ((x + 1) - 3000);
  if (x > -3000) return std::exp(x);
  const Extended d = x + 3000;
  return (d * d * 0.5L + ((1 - x) + 3000)) * kLow;
}

void ComputeWindowEnd(AnalysisState& state) {
  const double t1 = state.previousWindowStartTime;
  const double t0 = state.windowStartTime;
  state.windowEndTime = state.analysisEnd;

  RiseTable theta1{};
  RiseTable theta0{};
  HistoryReader(state, state.baseName + ".spl").Read(t1, t0, theta1, theta0);

  double end = 0;  // a double, like the field it ends in
  ComputeWithTraps([&](auto mode) {
    end = state.analysisEnd;
    for (int i = 1; i <= state.deviceCount; ++i) {
      for (int k = 1; k <= OwnTerms(state, i); ++k) {
        const Term term{state.thermalCoupling[i][i],
                        state.termWeight[i][i][k],
                        state.termTimeConstant[i][i][k],
                        state.powerSample[i],
                        theta1[i][k],
                        theta0[i][k]};
        const Extended tk = PredictedTime(term, t1, t0, state.analysisEnd, mode);
        if (t0 < tk && tk < end) {
          end = static_cast<double>(tk);
        } else if (tk < t0) {
          end = static_cast<double>(1.1L * t0);
        }
      }
    }
  });
  state.windowEndTime = end;
}

}  // namespace etherm
