// The transient thermal network over a power table of 100 000 lines with 4 devices and 4 terms
// for every pair of devices (64 terms), next to the bare text work on the same numbers: the
// table read with the text routines, and as many numbers written to the temperature table and
// the term-rise table as the routine writes. Lines per second are the items per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "textio/text_file.h"
#include "thermal/transient_temperatures.h"

namespace {

constexpr int kLines = 100000;
constexpr int kDevices = 4;
constexpr int kTerms = 4;
constexpr int kRisesPerLine = kDevices * kDevices * kTerms;

// The routine writes "temp.txt" into the current folder: work in a scratch folder.
const std::filesystem::path& WorkDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() /
             ("etherm_thermal_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::filesystem::current_path(d);
    return d;
  }();
  return dir;
}

// Four switches under pulse-width modulation: 20 ns steps, each device on (1..10 W) or off.
const std::string& PowerTable() {
  static const std::string name = [] {
    WorkDir();
    etherm::TextFile f;
    f.OpenForWriting("bench.moc");
    etherm::WriteText(f, "four switches");
    etherm::WriteLineEnd(f);
    etherm::WriteText(f, "time P(M1) P(M2) P(M3) P(M4)");
    etherm::WriteLineEnd(f);
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int line = 0; line < kLines; ++line) {
      etherm::WriteReal(f, line * 2e-8);
      etherm::WriteChar(f, ' ');
      for (int d = 1; d <= kDevices; ++d) {
        const bool on = (line / (50 * d)) % 2 == 0;
        etherm::WriteReal(f, on ? 1 + 9 * unit(rng) : 1e-3 * unit(rng));
        etherm::WriteChar(f, ' ');
      }
      etherm::WriteLineEnd(f);
    }
    f.Close();
    return std::string("bench.moc");
  }();
  return name;
}

etherm::ThermalNetwork Network() {
  const double timeConstants[kTerms] = {2e-6, 3e-5, 4e-4, 5e-3};
  const double weights[kTerms] = {0.1, 0.2, 0.3, 0.4};
  etherm::ThermalNetwork network;
  network.ownResistance.assign(kDevices, 0.0);
  network.pair.assign(kDevices, std::vector<etherm::ThermalPair>(kDevices));
  for (int i = 1; i <= kDevices; ++i) {
    for (int j = 1; j <= kDevices; ++j) {
      etherm::ThermalPair& pair = network.pair[i - 1][j - 1];
      pair.resistance = i == j ? 2.5 : 0.4;
      for (int k = 0; k < kTerms; ++k) {
        pair.terms.push_back({weights[k], timeConstants[k] * (1 + 0.1 * (i + j))});
      }
    }
  }
  return network;
}

// The power table as the routine takes it: read from its file once.
const etherm::PowerTable& PowerRows() {
  static const etherm::PowerTable table = [] {
    etherm::TextFile in;
    in.OpenForReading(PowerTable());
    etherm::PowerTable t{etherm::ReadString(in, 120), "", {}};
    etherm::SkipLine(in);
    t.names = etherm::ReadString(in, 120);
    etherm::SkipLine(in);
    for (int line = 0; line < kLines; ++line) {
      etherm::TransientRow& row = t.rows.emplace_back();
      row.time = etherm::ReadReal(in);
      for (int d = 1; d <= kDevices; ++d)
        row.value[static_cast<std::size_t>(d)] = etherm::ReadReal(in);
      etherm::SkipLine(in);
    }
    return t;
  }();
  return table;
}

// The routine over rows in memory, its temperature table then written as its file once was.
void BM_ComputeTransientTemperatures(benchmark::State& state) {
  const etherm::PowerTable& table = PowerRows();
  const etherm::ThermalNetwork network = Network();
  for (auto _ : state) {
    etherm::TextFile rises;
    rises.OpenForWriting("temp.txt");
    const etherm::TemperatureTable temperatures =
        etherm::ComputeTransientTemperatures(network, table, {}, &rises);
    rises.Close();
    etherm::TextFile out;
    out.OpenForWriting("bench.tem");
    etherm::WriteText(out, etherm::RowsText(temperatures.rows, kDevices));
    out.Close();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ComputeTransientTemperatures)->Unit(benchmark::kMillisecond);

// The same numbers with the text routines alone: a time and 4 powers read per line; a time and
// 4 values written to the temperature table, a time and 64 values to the term-rise table.
void BM_ThermalTextOnly(benchmark::State& state) {
  const std::string& table = PowerTable();
  for (auto _ : state) {
    etherm::TextFile in;
    etherm::TextFile temperatures;
    etherm::TextFile rises;
    in.OpenForReading(table);
    temperatures.OpenForWriting("bench_text.tem");
    rises.OpenForWriting("bench_text_temp.txt");
    for (int h = 0; h < 2; ++h) {
      etherm::WriteText(temperatures, etherm::ReadString(in, 120));
      etherm::SkipLine(in);
      etherm::WriteLineEnd(temperatures);
    }
    double p[kDevices + 1];
    for (int line = 0; line < kLines; ++line) {
      const double t = etherm::ReadReal(in);
      for (int d = 1; d <= kDevices; ++d) p[d] = etherm::ReadReal(in);
      etherm::SkipLine(in);
      etherm::WriteReal(rises, t);
      etherm::WriteChar(rises, ' ');
      for (int v = 0; v < kRisesPerLine; ++v) {
        etherm::WriteReal(rises, p[1 + v % kDevices] * (1 + v));
        etherm::WriteChar(rises, ' ');
      }
      etherm::WriteLineEnd(rises);
      etherm::WriteReal(temperatures, t);
      etherm::WriteChar(temperatures, ' ');
      for (int d = 1; d <= kDevices; ++d) {
        etherm::WriteReal(temperatures, 295 + 10 * p[d]);
        etherm::WriteChar(temperatures, ' ');
      }
      etherm::WriteLineEnd(temperatures);
    }
    in.Close();
    temperatures.Close();
    rises.Close();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ThermalTextOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::filesystem::path home = std::filesystem::current_path();
  WorkDir();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::current_path(home);
  std::filesystem::remove_all(WorkDir());
  return 0;
}
