#include "ngspice_workarounds.h"

#include <cctype>

#include "number_text.h"
#include "text_util.h"
#include "translator.h"

namespace etherm::sim {

std::string Unbraced(const std::string& v) {
  if (v.size() >= 2 && v.front() == '{' && v.back() == '}') return v.substr(1, v.size() - 2);
  return v;
}

namespace {

bool IsZero(const std::string& word) {
  std::optional<double> v = NumberWord(word);
  return v && *v == 0;
}

}  // namespace

// A PULSE whose delay may be negative, as a source with the same waveform from time 0 on that
// ngspice 39 runs. Its breakpoint code sets a breakpoint at the (negative) delay whenever time 0
// falls after the end of the first pulse but before one period has passed, and stops with
// "Panic: breakpoint in the past - HELP!" (PULSE(0 5 -60u 1u 1u 40u 100u) with .tran 0.1u 130u).
// A periodic pulse keeps its period: its delay moves back by whole periods to at most minus one
// period, where ngspice places time 0 correctly. A pulse without a period is a single pulse and
// becomes the PWL of its corners (ngspice would repeat it after the run's length), which may lie
// before 0 or be over already. Returns nothing when the source needs no rewrite.
std::optional<std::vector<std::string>> RewritePulse(const std::vector<std::string>& words,
                                                     const std::string& tranStep) {
  size_t k = 0;
  while (k < words.size() && !StartsWithNoCase(words[k], "pulse")) ++k;
  if (k == words.size()) return std::nullopt;
  std::string values = std::string(Trim(std::string_view(words[k]).substr(5)));
  size_t used = 1;
  std::vector<std::string> a;
  if (values.empty() && k + 1 < words.size() && words[k + 1][0] == '(') {
    values = words[k + 1];
    used = 2;
  }
  if (!values.empty()) {
    if (values.size() < 2 || values.front() != '(' || values.back() != ')') return std::nullopt;
    a = SplitWords(values.substr(1, values.size() - 2));
  } else {
    // PULSE written without parentheses: its values follow as words.
    auto isValue = [](const std::string& w) {
      return !w.empty() && (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.' ||
                            w[0] == '+' || w[0] == '-' || w[0] == '{');
    };
    while (k + used < words.size() && isValue(words[k + used])) a.push_back(words[k + used++]);
  }
  if (a.size() < 3 || a.size() > 7) return std::nullopt;
  std::optional<double> plain = NumberWord(a[2]);
  if (plain && *plain >= 0) return std::nullopt;
  const std::string d = "(" + Unbraced(a[2]) + ")";
  std::string source;
  auto edge = [&](size_t i) {
    return "(" + Unbraced(i < a.size() && !IsZero(a[i]) ? a[i] : tranStep) + ")";
  };
  if (a.size() == 7) {
    // ngspice sets no breakpoints at the edges of a pulse with a negative delay and steps over
    // them, so a pulse that started before time 0 is written from its phase there with a delay
    // of 0 or more: off (or at the start of its rise) it waits for its next rise; on its plateau
    // it becomes the pulse of the other level, which falls first. Only a start inside a ramp
    // keeps the negative delay.
    const std::string per = "(" + Unbraced(a[6]) + ")";
    const std::string v1 = "(" + Unbraced(a[0]) + ")";
    const std::string v2 = "(" + Unbraced(a[1]) + ")";
    const std::string rise = edge(3);
    const std::string fall = edge(4);
    const std::string width = "(" + Unbraced(a[5]) + ")";
    const std::string started = "(" + d + "<0 && " + per + ">0)";
    const std::string phase = "((-" + d + ")-" + per + "*floor((-" + d + ")/" + per + "))";
    const std::string high = "(" + started + " && " + phase + ">=" + rise + " && " + phase + "<" +
                             rise + "+" + width + ")";
    const std::string low = "(" + started + " && (" + phase + "==0 || " + phase + ">=" + rise +
                            "+" + width + "+" + fall + "))";
    const std::string negative =
        d + "<0 && " + per + ">0 ? " + d + "-" + per + "*(floor(" + d + "/" + per + ")+2) : " + d;
    const std::string original3 = a[3];
    const std::string original4 = a[4];
    const std::string original5 = a[5];
    a[0] = "{" + high + " ? " + v2 + " : " + v1 + "}";
    a[1] = "{" + high + " ? " + v1 + " : " + v2 + "}";
    a[2] = "{" + high + " ? " + rise + "+" + width + "-" + phase + " : " + low + " ? (" + phase +
           "==0 ? 0 : " + per + "-" + phase + ") : " + negative + "}";
    a[3] = "{" + high + " ? " + fall + " : (" + Unbraced(original3) + ")}";
    a[4] = "{" + high + " ? " + rise + " : (" + Unbraced(original4) + ")}";
    a[5] = "{" + high + " ? " + per + "-" + rise + "-" + width + "-" + fall + " : (" +
           Unbraced(original5) + ")}";
    source = "PULSE(" + Join(a) + ")";
  } else {
    const std::string rise = d + "+" + edge(3);
    source = "PWL({" + d + "} " + a[0] + " {" + rise + "} " + a[1];
    if (a.size() >= 6) {
      const std::string high = rise + (IsZero(a[5]) ? "" : "+(" + Unbraced(a[5]) + ")");
      if (!IsZero(a[5])) source += " {" + high + "} " + a[1];
      source += " {" + high + "+" + edge(4) + "} " + a[0];
    }
    source += ")";
  }
  std::vector<std::string> out(words.begin(), words.begin() + k);
  out.push_back(source);
  out.insert(out.end(), words.begin() + k + used, words.end());
  return out;
}

namespace detail {

void Translator::RewriteSources() {
  std::string step = "0";
  for (const BodyLine& b : out.body)
    if (b.key == ".tran") step = b.words[0];
  for (BodyLine& b : out.body) {
    if (b.letter != 'v' && b.letter != 'i') continue;
    if (std::optional<std::vector<std::string>> w = RewritePulse(b.words, step)) {
      b.words = *w;
      b.text = Join(b.words);
    }
  }
}

}  // namespace detail

}  // namespace etherm::sim
