#include "thermal/window_end.h"

#include <array>
#include <cmath>
#include <string>

#include "model/file_names.h"
#include "textio/checked_arithmetic.h"
#include "textio/failure.h"
#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm {

namespace {

using Extended = long double;

std::string TimeText(double t) {
  const std::string text = FormatExponent(t, 23);
  return text.substr(text.find_first_not_of(' '));
}

const ThermalPair& Own(const Problem& problem, int i) {
  const auto d = static_cast<std::size_t>(i - 1);
  return problem.network.pair.at(d).at(d);
}

int OwnTerms(const Problem& problem, int i) {
  const std::size_t k = Own(problem, i).terms.size();
  return k > static_cast<std::size_t>(kMaxTerms) ? kMaxTerms : static_cast<int>(k);
}

int DeviceCount(const Problem& problem) {
  const int n = problem.deviceCount();
  if (n > kMaxDevices) {
    throw Failure(std::to_string(n) + " devices; at most " + std::to_string(kMaxDevices) +
                  " can be modelled");
  }
  return n;
}

// True when the current line holds another token before its line end (CR or LF).
bool ValueOnLine(const TextFile& file) {
  const char* p = file.data();
  std::size_t i = file.position();
  auto lineEnd = [&] { return p[i] == '\r' || p[i] == '\n'; };
  while (i < file.end() && !lineEnd() && static_cast<unsigned char>(p[i]) <= 32) ++i;
  return i < file.end() && !lineEnd();
}

class HistoryReader {
 public:
  HistoryReader(const Problem& problem, const std::string& name) : problem_(problem), name_(name) {}

  // Reads the rises at t1 and t0 from the history lines with exactly those times.
  HistoryRises Read(double t1, double t0) {
    HistoryRises result;
    file_.OpenForReading(name_);
    bool haveT1 = false;
    bool haveT0 = false;
    if (!AtEnd(file_)) {
      do {
        const double time = ReadReal(file_);
        result.lastTime = time;
        if (time == t1 || time == t0) {
          OwnRises rises{};
          ReadOwnRises(time, rises);
          if (time == t1) {
            result.theta1 = rises;
            haveT1 = true;
          }
          if (time == t0) {
            result.theta0 = rises;
            haveT0 = true;
          }
        }
        SkipLine(file_);
      } while (!AtEnd(file_) && !(result.lastTime >= t0));
    }
    file_.Close();
    if (!haveT1) Missing(t1);
    if (!haveT0) Missing(t0);
    return result;
  }

 private:
  void ReadOwnRises(double time, OwnRises& rises) {
    for (int i = 1; i <= DeviceCount(problem_); ++i) {
      for (int k = 1; k <= OwnTerms(problem_, i); ++k) {
        // A short line would otherwise lend its missing values from the next one.
        if (!ValueOnLine(file_)) {
          throw Failure("The term-rise history \"" + name_ + "\": the line for the time " +
                        TimeText(time) + " s ends before term " + std::to_string(k) +
                        " of device " + std::to_string(i) + " (" +
                        problem_.devices[static_cast<std::size_t>(i - 1)].name.Trimmed() + ")");
        }
        rises[i][k] = ReadExtended(file_);
      }
    }
  }

  [[noreturn]] void Missing(double time) const {
    throw Failure("The term-rise history \"" + name_ + "\" has no line for the time " +
                  TimeText(time) + " s");
  }

  const Problem& problem_;
  const std::string name_;
  TextFile file_;
};

struct Term {
  Extended r, a, tau, power;  // K/W, share, s, W
  Extended theta1, theta0;    // rises at t1 and t0, K
};

// The time at which the term's rise is predicted to have moved 1 K from its value at t0.
Extended PredictedTime(const Term& term, Extended t1, Extended t0, Extended tEnd) {
  using checked::Add;
  using checked::Div;
  using checked::Log;
  using checked::Mul;
  using checked::Sub;
  const Extended one = 1;
  const Extended y = TemperatureTolerance;
  const Extended r = term.r, a = term.a, tau = term.tau, p = term.power;
  const Extended steady = Mul(Mul(r, a), p);
  if (term.theta1 < term.theta0) {
    // A step response of size steady, started at s from the offset u.
    if (tau == 0 || r == 0 || a == 0 || p == 0) return tEnd;
    const Extended fromT1 = checked::Finite(ClampedExp(Div(-t1, tau)));
    const Extended span = Sub(fromT1, checked::Finite(ClampedExp(Div(-t0, tau))));
    if (span == 0) return tEnd;
    const Extended v = Div(Div(Div(Div(Sub(term.theta0, term.theta1), r), a), p), span);
    Extended s = (v > 1e-1000L && v < 1e1000L) ? Mul(tau, Log(v)) : 10 * tEnd;
    if (s < 0) s = 0;
    const Extended grown = checked::Finite(ClampedExp(Div(Sub(s, t1), tau)));
    Extended u = Sub(term.theta1, Mul(Sub(one, grown), steady));
    if (u < 0) u = 0;
    if (!(term.theta0 + y - u <= steady)) return tEnd;  // it never gains 1 K
    const Extended remaining = Sub(one, Div(Div(Div(Sub(Add(term.theta0, y), u), r), a), p));
    // Zero when the gain of 1 K is reached only in the limit; rounding may push it below.
    if (remaining <= 0) return tEnd;
    return Sub(s, Mul(tau, Log(remaining)));
  }
  // A relaxation from the rise at t1 towards steady.
  const Extended distance = Sub(term.theta1, steady);
  if (distance == 0) return tEnd;  // already steady: it never moves
  const Extended w = Div(Sub(Sub(term.theta0, y), steady), distance);
  if (!(w > 0)) return tEnd;  // below zero it never falls 1 K; at zero only in the limit
  return Sub(t0, Mul(tau, Log(w)));
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

double ComputeWindowEnd(const Problem& problem, double t1, const OwnRises& theta1, double t0,
                        const OwnRises& theta0, const DeviceTable<long double>& power,
                        double tEnd) {
  double end = tEnd;  // a double, like the window end it becomes
  for (int i = 1; i <= DeviceCount(problem); ++i) {
    const ThermalPair& own = Own(problem, i);
    for (int k = 1; k <= OwnTerms(problem, i); ++k) {
      const ThermalTerm& t = own.terms[static_cast<std::size_t>(k - 1)];
      const Term term{own.resistance, t.weight,     t.timeConstant,
                      power[i],       theta1[i][k], theta0[i][k]};
      const Extended tk = PredictedTime(term, t1, t0, tEnd);
      if (t0 < tk && tk < end) {
        end = static_cast<double>(tk);
      } else if (tk < t0) {
        end = checked::Narrow(checked::Mul(1.1L, static_cast<Extended>(t0)));
      }
    }
  }
  return end;
}

HistoryRises ReadHistoryRises(const Problem& problem, const std::string& historyName, double t1,
                              double t0) {
  return HistoryReader(problem, historyName).Read(t1, t0);
}

}  // namespace etherm
