// ngspice's own time for one circuit: loading and analysing the deck etherm-sim hands it, the
// part of a request of etherm-sim --serve that is not ours. bench/sim_serve.sh subtracts it
// from the request time. The circuit: ETHERM_BENCH_CIRCUIT, else the DC example.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "deck.h"
#include "emit_deck.h"
#include "ngspice_session.h"
#include "temperature.h"
#include "translate.h"

namespace {

using namespace etherm::sim;

void NgspiceLoadAndRun(benchmark::State& state) {
  const char* path = std::getenv("ETHERM_BENCH_CIRCUIT");
  const Translation t =
      Translate(LoadDeck(path ? path : "examples/diode_dc/diode_dc.cir", ReadWholeFile));
  static NgspiceSession ng([](const std::string&) {});
  TemperatureAnswers answers;
  DeckStage stage;
  stage.tempParams = ChooseTemperatureParameters(ng, t, answers, [](const std::string&) {});
  ng.Clear();
  std::vector<std::string> origins;
  const std::vector<std::string> deck = EmitDeck(t, stage, &origins);
  for (auto _ : state) {
    ng.Load(deck, origins);
    ng.Run();
    state.PauseTiming();
    ng.Clear();
    state.ResumeTiming();
  }
}
BENCHMARK(NgspiceLoadAndRun)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
