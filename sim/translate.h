#pragma once
// The circuit dialect of etherm-sim read into a translation that emit_deck.h turns into decks
// ngspice accepts. Pure functions on lines: no files, no ngspice.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "deck.h"

namespace etherm::sim {

enum class AnalysisKind { kDc, kTran };

// One quantity of .PROBE. The value is vectorA - vectorB; an empty name stands for ground.
struct Probe {
  std::string label;  // as written, upper case: V(2), IB(Q1)
  std::string where;
  std::string vectorA, vectorB;
};

struct SaveBias {
  std::string file;
  double time = 0;
  bool noSubcircuits = false;
  std::string where;
};

// A .MODEL that carries T_ABS.
struct TempModel {
  std::string name, type, level;  // as written; level "1" when none is given
  std::string value;              // the T_ABS value: a number or a {expression}
  std::string card;               // the .MODEL line as ngspice gets it, without T_ABS
  std::string where;
  std::vector<std::string> instances;  // ngspice names of every device using it (q.x1.q3)
  std::vector<std::string> devices;    // the same as the designer names them (X1.Q3)
};

enum class TempParam { kTemp, kDtemp, kNone };

// An element line (or any other line of the deck) after translation.
struct BodyLine {
  std::string text;  // what ngspice gets, unless a stage below rewrites it
  std::string where;
  char letter = 0;  // element letter in lower case, 0 for dot commands
  std::string key;  // lower-case dot keyword without options (".tran"), empty for elements
  std::vector<std::string> words;
  int tempModel = -1;  // index into tempModels when the element takes a T_ABS temperature
  std::optional<std::string> ic;  // ic= of a capacitor or inductor
  std::string scope;              // subcircuit definition the line stands in, empty at top level
  std::set<int> senses;           // terminals (1 = first node) whose current a probe measures
};

struct Translation {
  std::string title;
  AnalysisKind analysis = AnalysisKind::kTran;
  std::string sweepVariable;  // .DC source, upper case
  std::vector<Probe> probes;
  std::optional<SaveBias> saveBias;
  bool userUic = false;
  std::string circuitTemperature = "27";  // .OPTIONS TEMP or .TEMP, as written
  std::vector<TempModel> tempModels;
  std::vector<BodyLine> body;
};

Translation Translate(const Deck& deck);

}  // namespace etherm::sim
