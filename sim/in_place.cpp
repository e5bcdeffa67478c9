#include "in_place.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "number_text.h"
#include "text_util.h"

namespace etherm::sim {

namespace {

// The words of a one-point .dc line over one source (.dc SOURCE V V STEP); nothing otherwise.
std::optional<std::vector<std::string>> OnePointDc(const std::string& line) {
  std::vector<std::string> words = SplitWords(line);
  if (words.size() != 5 || !EqualNoCase(words[0], ".dc") || words[2] != words[3])
    return std::nullopt;
  for (std::size_t i = 2; i < 5; ++i)
    if (!NumberWord(words[i])) return std::nullopt;
  return words;
}

// "temp" or "dtemp" of a word temp=NUMBER or dtemp=NUMBER; empty for any other word.
std::string TemperatureKey(const std::string& word) {
  const std::size_t equals = word.find('=');
  if (equals == std::string::npos) return "";
  const std::string key = ToLower(word.substr(0, equals));
  if (key != "temp" && key != "dtemp") return "";
  return NumberWord(word.substr(equals + 1)) ? key : "";
}

// The alter commands that turn one element line into the other; nothing when they differ in
// more than temperature numbers.
std::optional<std::vector<std::string>> ElementAlters(const std::string& loaded,
                                                      const std::string& next) {
  const std::vector<std::string> a = SplitWords(loaded), b = SplitWords(next);
  if (a.size() != b.size() || a.empty() || a[0] != b[0]) return std::nullopt;
  std::vector<std::string> alters;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const std::string key = TemperatureKey(b[i]);
    if (key.empty() || TemperatureKey(a[i]) != key) return std::nullopt;
    alters.push_back("alter @" + ToLower(b[0]) + "[" + key +
                     "] = " + b[i].substr(b[i].find('=') + 1));
  }
  return alters;
}

}  // namespace

std::optional<std::vector<std::string>> InPlaceCommands(const std::vector<std::string>& loaded,
                                                        const std::vector<std::string>& next) {
  if (loaded.size() != next.size() || loaded.empty() || loaded[0] != next[0]) return std::nullopt;
  std::vector<std::string> commands;
  std::optional<std::vector<std::string>> dc;
  int depth = 0;  // of subcircuit definitions: their lines are parameters' templates, never altered
  for (std::size_t i = 1; i < next.size(); ++i) {
    const std::string& line = next[i];
    if (StartsWithNoCase(line, ".subckt")) ++depth;
    if (StartsWithNoCase(line, ".ends")) --depth;
    if (StartsWithNoCase(line, ".dc")) {
      std::optional<std::vector<std::string>> was = OnePointDc(loaded[i]);
      dc = OnePointDc(line);
      if (!was || !dc || depth != 0 || !EqualNoCase((*was)[1], (*dc)[1])) return std::nullopt;
      continue;
    }
    if (line == loaded[i]) continue;
    const unsigned char first = line.empty() ? 0 : static_cast<unsigned char>(line[0]);
    if (depth != 0 || !std::isalpha(first)) return std::nullopt;
    std::optional<std::vector<std::string>> alters = ElementAlters(loaded[i], line);
    if (!alters) return std::nullopt;
    commands.insert(commands.end(), alters->begin(), alters->end());
  }
  if (!dc) return std::nullopt;
  // Lower case as ngspice keeps a loaded deck's names: the command line is taken as written.
  commands.push_back("dc " + ToLower((*dc)[1]) + " " + (*dc)[2] + " " + (*dc)[3] + " " + (*dc)[4]);
  return commands;
}

bool ListedLinesHoldForAnyValues(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const bool ours = line.rfind("** asking ngspice which temperature parameter", 0) == 0 ||
                      line.rfind("etherm-sim: model ", 0) == 0;
    // ngspice's own while it loads a deck: its dialect note and the title it read.
    const bool loading =
        line == "Note: No compatibility mode selected!" || line.rfind("Circuit: ", 0) == 0;
    if (!ours && !loading) return false;
  }
  return true;
}

std::vector<std::string> TemperatureCards(const Translation& t) {
  std::vector<std::string> cards;
  for (const TempModel& m : t.tempModels) cards.push_back(m.card);
  return cards;
}

bool InPlaceEnabledByEnvironment() {
  const char* text = std::getenv("ETHERM_SIM_IN_PLACE");
  return !text || std::string_view(text) != "off";
}

bool TraceByEnvironment() {
  const char* text = std::getenv("ETHERM_SIM_TRACE");
  return text && *text && std::string_view(text) != "0";
}

}  // namespace etherm::sim
