#include "emit_deck.h"

#include <set>
#include <utility>

#include "bias_plan.h"

#include "ngspice_workarounds.h"
#include "number_text.h"
#include "text_util.h"

namespace etherm::sim {

bool NeedsBiasPointRun(const Translation& t) {
  if (t.analysis != AnalysisKind::kTran || t.userUic) return false;
  bool ic = false;
  for (const BodyLine& b : t.body) {
    if (b.ic) return true;
    ic = ic || b.key == ".ic";
  }
  // ngspice's own holds of .IC nodes that a source or an inductor already ties together fight
  // each other (1e10 S across an inductor between two held nodes: 5e5 A at 1 V).
  return ic && !PlanBiasPoint(t).dropped.empty();
}

std::string TemperatureDifference(const std::string& value, const std::string& base) {
  std::optional<double> v = NumberWord(value), b = NumberWord(base);
  if (v && b) return DeckNumber(*v - *b);
  return "{(" + Unbraced(value) + ")-(" + Unbraced(base) + ")}";
}

std::vector<std::string> EmitDeck(const Translation& t, const DeckStage& stage,
                                  std::vector<std::string>* origins) {
  std::vector<std::string> deck;
  std::string where = "the title line";
  auto put = [&](const std::string& text) {
    deck.push_back(text);
    if (origins) origins->push_back(where);
  };
  put(t.title);
  const bool biasPoint = stage.kind == DeckStage::kBiasPoint;
  // Every quantity the bias point imposes is imposed once (bias_plan.h).
  const BiasPlan plan = biasPoint ? PlanBiasPoint(t) : BiasPlan{};
  bool icWritten = false;
  for (std::size_t line = 0; line < t.body.size(); ++line) {
    const BodyLine& b = t.body[line];
    where = b.where;
    if (biasPoint && b.key == ".ic") {
      // The bias point holds the .IC nodes by sources: the 1e10 S by which ngspice holds .IC
      // nodes make the matrix so ill-conditioned that a node beside a held one misses the value
      // its voltage source gives it, and the run from that point crawls. ngspice's own holds
      // are the fallback when the sources find no bias point.
      if (std::exchange(icWritten, true)) continue;
      std::vector<std::string> rest{".ic"};
      int held = 0;
      for (const BiasPlan::Hold& h : plan.holds) {
        if (stage.holdBySources) {
          put("Vetherm_hold_" + std::to_string(++held) + " " + h.node + " 0 DC " + h.value);
        } else {
          rest.push_back("v(" + h.node + ")=" + h.value);
        }
      }
      // An operating point takes no .IC line; ngspice's holds keep what sources cannot take.
      if (!stage.holdBySources) rest.insert(rest.end(), plan.kept.begin(), plan.kept.end());
      if (rest.size() > 1) put(Join(rest));
      continue;
    }
    if (b.key == ".tran") {
      if (biasPoint && stage.holdBySources) {
        // The operating point alone: a transient of 1e-12 s from it crept at 1e-20 s steps on a
        // converter whose output capacitor's source sees 1e-9 ohm (a time constant of 1e-13 s).
        put(".op");
      } else if (biasPoint) {
        // ngspice holds .IC nodes only in a transient's starting point; only that point is used.
        put(".tran 1e-12 1e-12");
      } else if (stage.kind == DeckStage::kFromBias) {
        put(b.text + " uic");
      } else {
        put(b.text);
      }
      continue;
    }
    if (b.key == ".ic" && stage.kind == DeckStage::kFromBias) continue;
    if (b.letter == 0) {
      put(b.text);
      continue;
    }
    std::vector<std::string> words = b.words;
    if ((b.letter == 'l' || b.letter == 'c') && b.ic) {
      // An .IC I(L) value becomes the inductor's own ic=.
      bool has = false;
      for (const std::string& w : words)
        if (EqualNoCase(ParamName(w), "ic")) has = true;
      if (!has) words.push_back("ic=" + *b.ic);
    }
    if (b.tempModel >= 0 && stage.kind != DeckStage::kModelQuery) {
      TempParam p = static_cast<size_t>(b.tempModel) < stage.tempParams.size()
                        ? stage.tempParams[b.tempModel]
                        : TempParam::kTemp;
      const TempModel& m = t.tempModels[b.tempModel];
      if (p == TempParam::kTemp) words.push_back("temp=" + m.value);
      if (p == TempParam::kDtemp)
        words.push_back("dtemp=" + TemperatureDifference(m.value, t.circuitTemperature));
    }
    std::vector<std::string> senseSources;
    for (int k : b.senses) {
      const std::string node = "etherm_s_" + ToLower(words[0]) + "_" + std::to_string(k);
      senseSources.push_back("Vetherm_s_" + ToLower(words[0]) + "_" + std::to_string(k) + " " +
                             words[k] + " " + node + " 0");
      words[k] = node;
    }
    for (const std::string& v : senseSources) put(v);
    if (biasPoint && b.ic && words.size() >= 3 && !plan.notImposed.count(line)) {
      // The bias point with the carried value imposed: a voltage source across the capacitor, a
      // current source in series with the inductor. The element itself stays, so its currents
      // keep their names. The tiny series resistance and the huge parallel one keep the
      // matrix regular where the circuit fixes that voltage or current too (a capacitor across
      // a supply, inductors in series).
      const std::string& name = words[0];
      const auto decided = plan.valueOf.find(line);
      const std::string value = decided != plan.valueOf.end() ? decided->second
                                : b.ic->empty()               ? "0"
                                                              : *b.ic;
      const std::string node = "etherm_ic_" + name;
      const std::string minus = words[2];
      if (b.letter == 'c') {
        put(Join(words));
        put("Vetherm_ic_" + name + " " + words[1] + " " + node + " DC " + value);
        put("Retherm_ic_" + name + " " + node + " " + minus + " 1e-9");
      } else {
        words[2] = node;
        put(Join(words));
        put("Ietherm_ic_" + name + " " + node + " " + minus + " DC " + value);
        put("Retherm_ic_" + name + " " + node + " " + minus + " 1e12");
      }
      continue;
    }
    put(b.tempModel >= 0 || b.ic || !b.senses.empty() ? Join(words) : b.text);
  }
  where = "a line etherm-sim adds";
  if (stage.kind == DeckStage::kFromBias && !stage.icLine.empty()) put(stage.icLine);
  put(".save all");
  put(".end");
  return deck;
}

}  // namespace etherm::sim
