#include "thermal/transient_temperatures.h"

#include <cmath>

#include "textio/checked_arithmetic.h"
#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

namespace {

using checked::Add;
using checked::Div;
using checked::Exp;
using checked::Mul;
using checked::Sub;

std::size_t DeviceCount(const ThermalNetwork& network) {
  const std::size_t n = network.pair.size();
  if (n > static_cast<std::size_t>(kMaxDevices)) {
    throw Failure(std::to_string(n) + " devices; at most " + std::to_string(kMaxDevices) +
                  " can be modelled");
  }
  return n;
}

}  // namespace

void AdvanceThermalLine(const ThermalNetwork& network, ThermalLine& line,
                        const TransientRow& powers) {
  const std::size_t n = DeviceCount(network);
  const bool steady = powers.time == 0.0;
  const double step = steady ? 0.0 : Sub(powers.time, line.time);
  for (std::size_t i = 0; i < n; ++i) {
    double t = network.ambient;
    for (std::size_t j = 0; j < n; ++j) {
      const ThermalPair& pair = network.pair[i][j];
      auto& r = line.rise[i][j];
      const double power = powers.value[j + 1];
      if (steady) {
        for (std::size_t k = 0; k < kMaxTerms; ++k) {
          // Slots above the pair's term count weigh nothing.
          const double a = k < pair.terms.size() ? pair.terms[k].weight : 0.0;
          r[k] = Mul(Mul(pair.resistance, a), power);
          t = Add(t, r[k]);
        }
        continue;
      }
      // One step of the recursive convolution, with the power of device j taken as the
      // previous line's during the first half of the step and this line's during the second.
      const double previousPower = line.power[j + 1];
      for (std::size_t k = 0; k < pair.terms.size(); ++k) {
        const ThermalTerm& term = pair.terms[k];
        const double e = Exp(Div(-step, term.timeConstant));
        const double root = std::sqrt(e);
        const double c = Mul(1.0 - root, Mul(pair.resistance, term.weight));
        const double cPrevious = Mul(root, c);
        double value = Mul(e, r[k]);
        value = Add(value, Mul(cPrevious, previousPower));
        value = Add(value, Mul(c, power));
        r[k] = value;
        t = Add(t, value);
      }
    }
    line.temperature[i + 1] = t;
  }
  line.time = powers.time;
  for (std::size_t j = 1; j <= n; ++j) line.power[j] = powers.value[j];
}

void AppendTermRiseLine(std::string& out, const ThermalNetwork& network, const ThermalLine& line) {
  const std::size_t n = network.pair.size();
  const bool steady = line.time == 0.0;
  char buffer[kNumberBufferSize];
  const auto number = [&](double x) {
    out.append(buffer, FormatExponentTo(buffer, x, 23));
    out += ' ';
  };
  number(line.time);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      const std::size_t written = steady ? kMaxTerms : network.pair[i][j].terms.size();
      for (std::size_t k = 0; k < written; ++k) number(line.rise[i][j][k]);
    }
  }
  out += "\r\n";
}

TemperatureTable ComputeTransientTemperatures(const ThermalNetwork& network,
                                              const PowerTable& powers, ThermalLine start,
                                              TextFile* riseFile) {
  const std::size_t n = DeviceCount(network);
  TemperatureTable table;
  table.title = powers.title.substr(0, 120);
  table.names = powers.names.substr(0, 120);
  table.rows.reserve(powers.rows.size());
  ThermalLine& line = start;
  std::string text;
  for (const TransientRow& row : powers.rows) {
    AdvanceThermalLine(network, line, row);
    TransientRow& out = table.rows.emplace_back();
    out.time = row.time;
    for (std::size_t i = 1; i <= n; ++i) out.value[i] = AsWritten(line.temperature[i]);
    if (riseFile != nullptr) {
      text.clear();
      AppendTermRiseLine(text, network, line);
      WriteText(*riseFile, text);
    }
  }
  return table;
}

}  // namespace etherm
