// A transient window of 100 000 simulator records with 4 transistors (model B, 6 values each):
// the extraction and the power routine, each next to the bare text work on the same numbers
// (reading the input and writing the output with the text routines, nothing else). Lines per
// second are the items per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "extraction/result_extraction.h"
#include "power/power_table.h"
#include "textio/text_file.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kDevices = 4;
constexpr int kValuesPerDevice = 6;
constexpr int kValues = kDevices * kValuesPerDevice;

std::string WorkPath(const char* name) {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() /
             ("etherm_extpow_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return (dir / name).string();
}

// A value as the simulator writes it: 2.50000000e+000.
void AppendSimulatorValue(std::string& out, double x) {
  char buf[32];
  int exponent = 0;
  std::snprintf(buf, sizeof buf, "%.8e", x);
  std::string text = buf;
  const std::size_t e = text.find('e');
  exponent = std::stoi(text.substr(e + 1));
  std::snprintf(buf, sizeof buf, "%se%c%03d", text.substr(0, e).c_str(), exponent < 0 ? '-' : '+',
                exponent < 0 ? -exponent : exponent);
  out += buf;
}

// The probe data of one window in the simulator's layout: a 1 ns step, gate 5..10 V, drain
// 1..20 V, drain currents of some amperes, small gate and diode currents.
const std::string& ProbeDataFile() {
  static const std::string name = [] {
    const std::string path = WorkPath("w1.csd");
    std::string text =
        "#H\r\nSOURCE='etherm-sim' VERSION='1'\r\nTITLE='four switches'\r\nSUBTITLE=''\r\n"
        "TIME='12:00:00' DATE='12/10/26' TEMPERATURE='27'\r\nANALYSIS='Transient Analysis'\r\n"
        "ALLVALUES='NO' COMPLEXVALUES='NO' NODES='24'\r\nSWEEPVAR='Time' SWEEPMODE='VAR_STEP'\r\n"
        "XBEGIN='0' XEND='0.0001'\r\nFORMAT='0 VOLTSorAMPS;EFLOAT : NODEorBRANCH;NODE  '\r\n"
        "DGTLDATA='NO'\r\n#N\r\n";
    char buf[128];
    for (int d = 1; d <= kDevices; ++d) {
      std::snprintf(buf, sizeof buf, "'V(g%d)' 'IG(M%d)' 'V(d%d)' 'ID(M%d)' 'V(s%d)' 'I(Db%d)' ", d,
                    d, d, d, d, d);
      text += buf;
    }
    text += "\r\n";
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int r = 0; r < kRecords; ++r) {
      text += "#C ";
      char* end = std::to_chars(buf, buf + sizeof buf, r * 1e-9).ptr;  // shortest exact form
      text.append(buf, end);
      std::snprintf(buf, sizeof buf, " %d\r\n", kValues);
      text += buf;
      for (int d = 0; d < kDevices; ++d) {
        const double q[kValuesPerDevice] = {5 + 5 * unit(rng), 1e-9 * unit(rng), 1 + 19 * unit(rng),
                                            3 * unit(rng),     0.01 * unit(rng), -1e-6 * unit(rng)};
        for (int k = 0; k < kValuesPerDevice; ++k) {
          AppendSimulatorValue(text, q[k]);
          std::snprintf(buf, sizeof buf, ":%d   ", d * kValuesPerDevice + k + 1);
          text += buf;
        }
      }
      text += "\r\n";
    }
    text += "#;\r\n";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
  }();
  return name;
}

std::unique_ptr<etherm::AnalysisState> WindowState() {
  auto s = std::make_unique<etherm::AnalysisState>();
  s->baseName = WorkPath("w");
  s->windowEndTime = 1.0;
  s->problem.endTime = 1.0;
  for (int i = 1; i <= kDevices; ++i) {
    const char name[3] = {'M', static_cast<char>('0' + i), 0};
    etherm::Device d;
    d.name = etherm::NameField::From(name);
    d.kind = etherm::DeviceKind::kTransistorB;
    etherm::AssignModelParameters(
        d, {2e-5, 1e-4, 2e-6, 2, 0.01, 0.5, 1, 0.1, 0.01, 1e-14, 1, 3, 1.11, 100, 1e-10, 0.004});
    s->problem.devices.push_back(d);
    s->deviceTemperature[i] = 300 + 20 * i;
  }
  std::FILE* f = std::fopen((s->baseName + ".moc").c_str(), "wb");  // no history yet
  std::fclose(f);
  return s;
}

const std::string& ResultTableFile() {
  static const std::string name = [] {
    const std::string path = WorkPath("w1.txt");
    etherm::ExtractTransientResults(ProbeDataFile(), path, 0.0, 1.0);
    return path;
  }();
  return name;
}

void BM_ExtractTransientResults(benchmark::State& state) {
  const std::string& csd = ProbeDataFile();
  const std::string out = WorkPath("bench_extract.txt");
  for (auto _ : state) etherm::ExtractTransientResults(csd, out, 0.0, 1.0);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ExtractTransientResults)->Unit(benchmark::kMillisecond);

// The same bytes in and out with the text routines alone: each record's time read and written
// as a number, its value line read and written as text.
void BM_ExtractionTextOnly(benchmark::State& state) {
  const std::string& csd = ProbeDataFile();
  const std::string out = WorkPath("bench_extract_text.txt");
  for (auto _ : state) {
    etherm::TextFile in;
    etherm::TextFile table;
    in.OpenForReading(csd);
    table.OpenForWriting(out);
    for (int line = 1; line <= 13; ++line) etherm::SkipLine(in);
    for (int r = 0; r < kRecords; ++r) {
      etherm::ReadChar(in);
      etherm::ReadChar(in);
      const double t = etherm::ReadReal(in);
      etherm::SkipLine(in);
      const std::string values = etherm::ReadString(in, 1 << 20);
      etherm::SkipLine(in);
      etherm::WriteReal(table, t);
      etherm::WriteChar(table, ' ');
      etherm::WriteText(table, values);
      etherm::WriteLineEnd(table);
    }
    in.Close();
    table.Close();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ExtractionTextOnly)->Unit(benchmark::kMillisecond);

void ComputePower(benchmark::State& state, bool direct) {
  auto s = WindowState();
  s->problem.directPower = direct;
  s->problem.endTime = 1.0;
  const std::string& txt = ResultTableFile();
  const std::string out = WorkPath("bench_power.moc");
  // The table is written as the routine once wrote it, so the figures compare with earlier ones.
  for (auto _ : state) {
    const etherm::PowerTable table =
        etherm::ComputeTransientPower(s->problem, txt, s->deviceTemperature);
    etherm::TextFile file;
    file.OpenForWriting(out);
    etherm::WriteText(file, etherm::RowsText(table.rows, kDevices));
    file.Close();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ComputeTransientPower(benchmark::State& state) {
  ComputePower(state, false);
}
BENCHMARK(BM_ComputeTransientPower)->Unit(benchmark::kMillisecond);

void BM_ComputeTransientPowerDirect(benchmark::State& state) {
  ComputePower(state, true);
}
BENCHMARK(BM_ComputeTransientPowerDirect)->Unit(benchmark::kMillisecond);

// The same numbers in and out with the text routines alone: a time and 24 values read per
// line, a time and 4 powers written.
void BM_PowerTextOnly(benchmark::State& state) {
  const std::string& txt = ResultTableFile();
  const std::string out = WorkPath("bench_power_text.moc");
  for (auto _ : state) {
    etherm::TextFile table;
    etherm::TextFile power;
    table.OpenForReading(txt);
    power.OpenForWriting(out);
    etherm::SkipLine(table);
    etherm::SkipLine(table);
    for (int r = 0; r < kRecords; ++r) {
      const double t = etherm::ReadReal(table);
      double sum = 0;
      for (int v = 0; v < kValues; ++v) sum += etherm::ReadReal(table);
      etherm::SkipLine(table);
      etherm::WriteReal(power, t);
      etherm::WriteChar(power, ' ');
      for (int d = 0; d < kDevices; ++d) {
        etherm::WriteReal(power, sum);
        etherm::WriteChar(power, ' ');
      }
      etherm::WriteLineEnd(power);
    }
    table.Close();
    power.Close();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PowerTextOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(WorkPath("x")).parent_path());
  return 0;
}
