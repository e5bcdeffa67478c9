#include "in_place.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
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

// The setting of a word temp=NUMBER or dtemp=NUMBER of `device`; nothing for any other word.
std::optional<TemperatureSetting> SettingOf(const std::string& device, const std::string& word) {
  const std::size_t equals = word.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const std::string key = ToLower(word.substr(0, equals));
  if (key != "temp" && key != "dtemp") return std::nullopt;
  const std::optional<double> value = DeckParserValue(std::string_view(word).substr(equals + 1));
  if (!value) return std::nullopt;
  return TemperatureSetting{ToLower(device), key, *value};
}

bool IsElement(const std::string& line) {
  return !line.empty() && std::isalpha(static_cast<unsigned char>(line[0]));
}

// The settings that turn one element line into the other; nothing when they differ in more
// than temperature numbers.
std::optional<std::vector<TemperatureSetting>> ElementAlters(const std::string& loaded,
                                                             const std::string& next) {
  const std::vector<std::string> a = SplitWords(loaded), b = SplitWords(next);
  if (a.size() != b.size() || a.empty() || a[0] != b[0]) return std::nullopt;
  std::vector<TemperatureSetting> alters;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const std::optional<TemperatureSetting> was = SettingOf(a[0], a[i]),
                                            now = SettingOf(b[0], b[i]);
    if (!was || !now || was->parameter != now->parameter) return std::nullopt;
    alters.push_back(*now);
  }
  return alters;
}

}  // namespace

std::optional<InPlacePlan> PlanInPlace(const std::vector<std::string>& loaded,
                                       const std::vector<std::string>& next) {
  if (loaded.size() != next.size() || loaded.empty() || loaded[0] != next[0]) return std::nullopt;
  InPlacePlan plan;
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
    if (depth != 0 || !IsElement(line) || !IsElement(loaded[i])) return std::nullopt;
    std::optional<std::vector<TemperatureSetting>> alters = ElementAlters(loaded[i], line);
    if (!alters) return std::nullopt;
    plan.alters.insert(plan.alters.end(), alters->begin(), alters->end());
  }
  if (!dc) return std::nullopt;
  // Lower case as ngspice keeps a loaded deck's names: the command line is taken as written.
  // Its numbers go through the deck parser, as the .dc line's do.
  plan.run = "dc " + ToLower((*dc)[1]) + " " + (*dc)[2] + " " + (*dc)[3] + " " + (*dc)[4];
  return plan;
}

std::vector<TemperatureSetting> TemperatureSettings(const std::vector<std::string>& deck) {
  std::vector<TemperatureSetting> settings;
  int depth = 0;
  for (std::size_t i = 1; i < deck.size(); ++i) {
    if (StartsWithNoCase(deck[i], ".subckt")) ++depth;
    if (StartsWithNoCase(deck[i], ".ends")) --depth;
    if (depth != 0 || !IsElement(deck[i])) continue;
    const std::vector<std::string> words = SplitWords(deck[i]);
    for (std::size_t w = 1; w < words.size(); ++w)
      if (std::optional<TemperatureSetting> s = SettingOf(words[0], words[w]))
        settings.push_back(*s);
  }
  return settings;
}

std::optional<double> DeckParserValue(std::string_view text) {
  std::size_t at = 0;
  double sign = 1;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) sign = text[at++] == '-' ? -1 : 1;
  auto digit = [&](std::size_t i) {
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
  };
  if (!digit(at) && !(at < text.size() && text[at] == '.' && digit(at + 1))) return std::nullopt;
  double mantissa = 0;
  int exponent = 0;
  for (; digit(at); ++at) mantissa = 10 * mantissa + (text[at] - '0');
  if (at < text.size() && text[at] == '.') {
    for (++at; digit(at); ++at) {
      mantissa = 10 * mantissa + (text[at] - '0');
      --exponent;
    }
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    int exponentSign = 1;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
      exponentSign = text[at++] == '-' ? -1 : 1;
    if (!digit(at)) return std::nullopt;
    int written = 0;
    for (; digit(at) && written < 10000; ++at) written = 10 * written + (text[at] - '0');
    exponent += exponentSign * written;
  }
  if (at != text.size()) return std::nullopt;  // a scale suffix or anything else: not ours to read
  if (exponent == 0) return sign * mantissa;
  return sign * mantissa * std::pow(10.0, static_cast<double>(exponent));
}

std::string AlterCommand(const TemperatureSetting& setting) {
  std::string command = "alter @" + setting.device + "[" + setting.parameter + "] = ";
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(setting.value), &exponent);
  // value = mantissa * 2^exponent, the mantissa an integer below 2^53.
  double mantissa = std::ldexp(fraction, 53);
  exponent -= 53;
  while (exponent < 0 && mantissa != 0 && std::fmod(mantissa, 2) == 0) {
    mantissa /= 2;
    ++exponent;
  }
  char text[40];
  std::snprintf(text, sizeof text, "%s%.0f", setting.value < 0 ? "-" : "", mantissa);
  command += text;
  // Powers of two up to 2^20 are read exactly, and scaling by one is exact.
  for (; exponent > 0; exponent -= std::min(exponent, 20))
    command += "*" + std::to_string(1L << std::min(exponent, 20));
  for (; exponent < 0; exponent += std::min(-exponent, 20))
    command += "/" + std::to_string(1L << std::min(-exponent, 20));
  return command;
}

bool ReadsAs(double read, const TemperatureSetting& setting) {
  constexpr double kCelsiusToKelvin = 273.15;  // ngspice's CONSTCtoK
  return read == setting.value || (setting.parameter == "temp" &&
                                   read == (setting.value + kCelsiusToKelvin) - kCelsiusToKelvin);
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
