#include "thermal/transient_temperatures.h"

#include <array>
#include <cmath>
#include <vector>

#include "model/file_names.h"
#include "textio/checked_arithmetic.h"
#include "thermal/table_lines.h"

namespace etherm {

namespace {

using checked::Add;
using checked::Div;
using checked::Exp;
using checked::Mul;
using checked::Sub;

// rise[i][j][k]: the rise of term k of pair (i, j), all counted from 0; four slots a pair, as
// the steady state of time 0 fills them.
using Rises = std::vector<std::vector<std::array<double, kMaxTerms>>>;

void WriteNumber(TextFile& file, double x) {
  WriteReal(file, x);
  WriteChar(file, ' ');
}

}  // namespace

TransientTemperatureLine ComputeTransientTemperatures(const ThermalNetwork& network,
                                                      const std::string& powerFileName,
                                                      const std::string& temperatureFileName) {
  TextFile in;
  TextFile out;
  TextFile risesFile;
  in.OpenForReading(powerFileName);
  out.OpenForWriting(temperatureFileName);
  risesFile.OpenForWriting(kTermRiseFileName);
  CopyHeaderLines(in, out);

  const std::size_t n = network.pair.size();
  Rises rise(n, std::vector<std::array<double, kMaxTerms>>(n));
  Rises previousRise = rise;
  DeviceTable<double> power{};
  DeviceTable<double> previousPower{};
  TransientTemperatureLine line;
  double previousTime = 0;
  do {
    previousTime = line.time;
    previousPower = power;
    previousRise = rise;
    line.time = ReadReal(in);
    for (std::size_t j = 1; j <= n; ++j) power[j] = ReadReal(in);
    SkipLine(in);

    const bool steady = line.time == 0.0;
    const double step = steady ? 0.0 : Sub(line.time, previousTime);
    if (!steady) line.step = step;
    for (std::size_t i = 0; i < n; ++i) {
      double t = network.ambient;
      for (std::size_t j = 0; j < n; ++j) {
        const ThermalPair& pair = network.pair[i][j];
        auto& r = rise[i][j];
        if (steady) {
          for (std::size_t k = 0; k < kMaxTerms; ++k) {
            // Slots above the pair's term count weigh nothing.
            const double a = k < pair.terms.size() ? pair.terms[k].weight : 0.0;
            r[k] = Mul(Mul(pair.resistance, a), power[j + 1]);
            t = Add(t, r[k]);
          }
          continue;
        }
        // One step of the recursive convolution, with the power of device j taken as the
        // previous line's during the first half of the step and this line's during the second.
        for (std::size_t k = 0; k < pair.terms.size(); ++k) {
          const ThermalTerm& term = pair.terms[k];
          const double e = Exp(Div(-step, term.timeConstant));
          const double root = std::sqrt(e);
          const double c = Mul(1.0 - root, Mul(pair.resistance, term.weight));
          const double cPrevious = Mul(root, c);
          double value = Mul(e, previousRise[i][j][k]);
          value = Add(value, Mul(cPrevious, previousPower[j + 1]));
          value = Add(value, Mul(c, power[j + 1]));
          r[k] = value;
          t = Add(t, value);
        }
      }
      line.temperatures[i + 1] = t;
    }

    WriteNumber(risesFile, line.time);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        const std::size_t written = steady ? kMaxTerms : network.pair[i][j].terms.size();
        for (std::size_t k = 0; k < written; ++k) WriteNumber(risesFile, rise[i][j][k]);
      }
    }
    WriteLineEnd(risesFile);
    WriteNumber(out, line.time);
    for (std::size_t i = 1; i <= n; ++i) WriteNumber(out, line.temperatures[i]);
    WriteLineEnd(out);
  } while (!AtEnd(in));
  in.Close();
  out.Close();
  risesFile.Close();
  return line;
}

}  // namespace etherm
