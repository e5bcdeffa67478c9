// Number text is on the transient analysis' hot path: every window rewrites its history.
// WriteReal (width 23) against snprintf("%.14E") and ReadReal against strtod, same values.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "textio/number_text.h"
#include "textio/text_file.h"

namespace {

constexpr int kValues = 1000000;

const std::vector<double>& Values() {
  static const std::vector<double> values = [] {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::vector<double> v(kValues);
    for (double& x : v) x = mantissa(rng) * std::pow(10.0, exponent(rng));
    return v;
  }();
  return values;
}

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void BM_WriteReal(benchmark::State& state) {
  const auto& values = Values();
  const std::string path = TempPath("etherm_bench_write.txt");
  for (auto _ : state) {
    etherm::TextFile f;
    f.OpenForWriting(path);
    for (double x : values) {
      etherm::WriteReal(f, x);
      etherm::WriteChar(f, ' ');
    }
    f.Close();
  }
  state.SetItemsProcessed(state.iterations() * kValues);
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteReal)->Unit(benchmark::kMillisecond);

void BM_SnprintfE14(benchmark::State& state) {
  const auto& values = Values();
  const std::string path = TempPath("etherm_bench_printf.txt");
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::string out;
    char buf[64];
    for (double x : values) {
      const int n = std::snprintf(buf, sizeof buf, "%.14E ", x);
      out.append(buf, static_cast<size_t>(n));
      if (out.size() > (1 << 16)) {
        std::fwrite(out.data(), 1, out.size(), f);
        out.clear();
      }
    }
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations() * kValues);
  std::filesystem::remove(path);
}
BENCHMARK(BM_SnprintfE14)->Unit(benchmark::kMillisecond);

const std::string& NumberFile() {
  static const std::string path = [] {
    const std::string p = TempPath("etherm_bench_read.txt");
    etherm::TextFile f;
    f.OpenForWriting(p);
    int column = 0;
    for (double x : Values()) {
      etherm::WriteReal(f, x);
      etherm::WriteChar(f, ' ');  // a negative number has no blank of its own in front
      if (++column % 8 == 0) etherm::WriteLineEnd(f);
    }
    f.Close();
    return p;
  }();
  return path;
}

void BM_ReadReal(benchmark::State& state) {
  const std::string& path = NumberFile();
  for (auto _ : state) {
    etherm::TextFile f;
    f.OpenForReading(path);
    double sum = 0;
    for (int i = 0; i < kValues; ++i) sum += etherm::ReadReal(f);
    benchmark::DoNotOptimize(sum);
    f.Close();
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ReadReal)->Unit(benchmark::kMillisecond);

void BM_Strtod(benchmark::State& state) {
  const std::string& path = NumberFile();
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::string text;
    char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    const char* p = text.c_str();
    char* end;
    double sum = 0;
    for (int i = 0; i < kValues; ++i) {
      sum += std::strtod(p, &end);
      p = end;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_Strtod)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
