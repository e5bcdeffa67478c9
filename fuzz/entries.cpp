#include "fuzz/entries.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/scratch_dir.h"
#include "model/analysis_state.h"
#include "model/problem_file.h"
#include "netlist/dc_circuit_writer.h"
#include "netlist/transient_circuit_writer.h"
#include "sim/emit_deck.h"
#include "sim/serve_protocol.h"
#include "sim/sim_error.h"
#include "sim/translate.h"
#include "textio/failure.h"

namespace etherm::fuzz {

namespace {

template <class F>
void Expecting(F&& f) {
  try {
    f();
  } catch (const Failure&) {
  }
}

// What a driver hands the circuit writers, and keeps of what they return.
struct WriterRun {
  Problem problem;
  std::string baseName;
  DeviceTable<double> temperatures{};
  ProbeNodeNames probeNodeNames;
  std::int32_t iterationNumber = 1;

  CircuitWriterInput Input() const {
    return {problem, baseName, iterationNumber, temperatures, probeNodeNames};
  }
  void Keep(const WrittenCircuit& written) { probeNodeNames = written.probeNodeNames; }
};

// Devices QN, QPOW and DPWR (the names of the seed circuits), two node quantities, one
// inductor and one capacitor carried; the user's circuit is `circuit`.
std::unique_ptr<WriterRun> WriterState(std::string_view circuit) {
  auto state = std::make_unique<WriterRun>();
  PutFile("c.cir", circuit);
  state->baseName = ScratchDir() + "/c";
  const char* names[] = {"QN", "QPOW", "DPWR"};
  for (int i = 1; i <= 3; ++i) {
    Device d;
    d.name = NameField::From(names[i - 1]);
    d.terminalCount = i < 3 ? 2 : 1;  // two node quantities
    state->problem.devices.push_back(d);
    state->temperatures[static_cast<std::size_t>(i)] = 295.0 + 20.25 * i;
  }
  state->probeNodeNames.Fill(kLineCapacity);
  state->problem.inductorCount = 1;
  state->problem.capacitorCount = 1;
  return state;
}

}  // namespace

void RunProblemFile(std::string_view bytes) {
  auto state = std::make_unique<AnalysisState>();
  state->baseName = ScratchDir() + "/p";
  PutFile("p.par", bytes);
  Problem problem;
  try {
    problem = ReadProblemFile(state->baseName);
  } catch (const Failure&) {
    return;
  }
  Expecting([&] { CheckDcProblem(problem); });
  Expecting([&] { CheckTransientProblem(problem); });
  UseProblem(*state, problem);
}

void RunDcWriter(std::string_view bytes) {
  auto state = WriterState(bytes);
  state->problem.sweepStart = 5.0;
  state->problem.sweepStep = 0.5;
  Expecting([&] { state->Keep(WriteDcCircuitFile(state->Input(), {5.0, {}})); });
  // A later point: the node-set line uses the names the first point found.
  state->iterationNumber = 2;
  Expecting([&] {
    state->Keep(WriteDcCircuitFile(state->Input(), {5.5, {0.0, 0.71, -2.5, 1.25, 0.0}}));
  });
}

void RunTransientWriter(std::string_view bytes) {
  constexpr std::string_view kSplit = "\n*WYN*\n";
  std::string_view circuit = bytes;
  std::string results =
      "accumulated results\r\n"
      " time V(3) I(Q1) V(5) I(Q2) I(L1) V(C1)\r\n"
      " 0.00000000000000E+0000 1 2 3 4 5 6\r\n"
      " 9.00000000000000E-0005 0.71 9.9 -2.5 9.9 0.125 3.3\r\n";
  if (const std::size_t cut = bytes.find(kSplit); cut != std::string_view::npos) {
    circuit = bytes.substr(0, cut);
    results = std::string(bytes.substr(cut + kSplit.size()));
  }
  auto state = WriterState(circuit);
  const std::string resultsName = state->baseName + ".wyn";
  Expecting([&] {
    state->Keep(WriteTransientCircuitFile(state->Input(), {0.0, 9e-05, resultsName, results}));
  });
  // A later window: carried values, the length and bias lines, shifted sources.
  state->iterationNumber = 2;
  Expecting([&] {
    state->Keep(WriteTransientCircuitFile(state->Input(), {9e-05, 2e-04, resultsName, results}));
  });
}

void RunSimTranslation(std::string_view bytes) {
  using namespace etherm::sim;
  const std::string text(bytes);
  try {
    const Deck deck = LoadDeck("dir/c.cir", [&](const std::string&) { return text; });
    const Translation t = Translate(deck);
    NeedsBiasPointRun(t);
    const DeckStage::Kind kinds[] = {DeckStage::kRun, DeckStage::kModelQuery, DeckStage::kBiasPoint,
                                     DeckStage::kFromBias};
    const TempParam params[] = {TempParam::kTemp, TempParam::kDtemp, TempParam::kNone};
    for (DeckStage::Kind kind : kinds) {
      for (TempParam param : params) {
        DeckStage stage;
        stage.kind = kind;
        stage.tempParams.assign(t.tempModels.size(), param);
        stage.icLine = ".ic v(1)=0.5";
        std::vector<std::string> origins;
        EmitDeck(t, stage, &origins);
      }
    }
  } catch (const SimError&) {
  }
}

void RunServeLines(std::string_view bytes) {
  namespace serve = etherm::sim::serve;
  while (!bytes.empty()) {
    const std::size_t end = std::min(bytes.find('\n'), bytes.size());
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    const serve::ParsedRequest request = serve::ParseRequest(line);
    if (request.request) {
      const serve::Request& r = *request.request;
      const serve::ParsedRequest again = serve::ParseRequest(serve::FormatRequest(r));
      if (!again.request || again.request->circuit != r.circuit || again.request->id != r.id ||
          again.request->verb != r.verb || again.request->time != r.time ||
          again.request->temps != r.temps || again.request->guard != r.guard ||
          again.request->shadow != r.shadow)
        std::abort();
    } else if (request.problem.empty()) {
      std::abort();  // a refusal says why
    }
    if (const std::optional<serve::Answer> answer = serve::ParseAnswer(line)) {
      const std::optional<serve::Answer> again = serve::ParseAnswer(serve::FormatAnswer(*answer));
      if (!again || again->outcome != answer->outcome || again->reason != answer->reason ||
          again->id != answer->id || again->time != answer->time)
        std::abort();
    }
  }
}

}  // namespace etherm::fuzz
