#include "serve_protocol.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace etherm::sim::serve {

namespace {

constexpr std::string_view kRun = "run";
constexpr std::string_view kDone = "done";
constexpr std::string_view kRefused = "refused";
constexpr std::string_view kFailed = "failed";
constexpr std::string_view kProgress = "progress";
constexpr std::string_view kId = "id=";

// The N of "id=N": a decimal number above 0.
std::optional<long> IdOf(std::string_view field) {
  if (field.substr(0, kId.size()) != kId) return std::nullopt;
  field.remove_prefix(kId.size());
  if (field.empty() || field.size() > 18) return std::nullopt;
  long id = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    id = id * 10 + (c - '0');
  }
  return id > 0 ? std::optional<long>(id) : std::nullopt;
}

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

}  // namespace

std::string EscapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapeField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out += field[i];
      continue;
    }
    if (++i == field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

namespace {

std::string NumberText(double value) {
  char text[32];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::optional<double> NumberOf(std::string_view text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace

namespace {

// One device's entry of a guard or shadow field, with the ';' before all but the first.
std::string DeviceText(int kind, int first, double a, double b, bool firstEntry) {
  return (firstEntry ? "" : ";") + std::to_string(kind) + ':' + std::to_string(first) + ':' +
         NumberText(a) + ':' + NumberText(b);
}

}  // namespace

std::string FormatRequest(const Request& request) {
  std::string line;
  switch (request.verb) {
    case Verb::kRun:
      line = std::string(kRun) + '\t' + EscapeField(request.circuit);
      break;
    case Verb::kBegin:
      line = "begin\t" + EscapeField(request.circuit);
      if (!request.shadow.empty()) {
        line += "\tshadow=";
        for (const PowerShadow& d : request.shadow)
          line += DeviceText(d.kind, d.first, d.ohms, d.farads, &d == &request.shadow.front());
      }
      break;
    case Verb::kSettle:
      line = "settle\t" + EscapeField(request.circuit);
      break;
    case Verb::kUntil:
      line = "until\t" + NumberText(request.time) + '\t' + EscapeField(request.circuit);
      if (!request.guard.empty()) {
        line += "\tguard=";
        for (const PowerGuard& g : request.guard)
          line += DeviceText(g.kind, g.first, g.budget, g.window, &g == &request.guard.front());
      }
      break;
    case Verb::kTemps:
      line = "temps";
      for (const auto& [model, celsius] : request.temps)
        line += '\t' + EscapeField(model) + '\t' + NumberText(celsius);
      break;
    case Verb::kEnd:
      line = "end";
      break;
    case Verb::kText:
      line = "text\t" + EscapeField(request.circuit) + '\t' + EscapeField(request.text);
      break;
  }
  if (request.id > 0) line += "\t" + std::string(kId) + std::to_string(request.id);
  return line;
}

std::string FormatAnswer(const Answer& answer) {
  const std::string id =
      answer.id > 0 ? std::string(kId) + std::to_string(answer.id) + '\t' : std::string();
  switch (answer.outcome) {
    case Outcome::kDone:
      return id + std::string(kDone);
    case Outcome::kRefused:
      return id + std::string(kRefused) + '\t' + EscapeField(answer.reason);
    case Outcome::kData:
      return id + "data\t" + EscapeField(answer.reason);
    case Outcome::kListing:
      return id + "listing\t" + EscapeField(answer.reason);
    case Outcome::kProgress: {
      char text[32];
      auto end = std::to_chars(text, text + sizeof text, answer.time).ptr;
      return id + std::string(kProgress) + '\t' + std::string(text, end);
    }
    case Outcome::kFailed:
      break;
  }
  return id + std::string(kFailed) + '\t' + EscapeField(answer.reason);
}

namespace {

// The numbers of a field's entries: `count` numbers separated by ':' in each, entries separated
// by ';'; each entry's first two a power kind (0 to 3) and a probe column, the rest above 0.
std::optional<std::vector<std::vector<double>>> EntriesOf(std::string_view text,
                                                          std::size_t count) {
  std::vector<std::vector<double>> entries;
  if (!text.empty() && text.back() == ';') return std::nullopt;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(';'), text.size());
    std::string_view entry = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    std::vector<double> numbers;
    for (;;) {
      const std::size_t colon = std::min(entry.find(':'), entry.size());
      const std::optional<double> n = NumberOf(entry.substr(0, colon));
      if (!n) return std::nullopt;
      numbers.push_back(*n);
      if (colon == entry.size()) break;
      entry.remove_prefix(colon + 1);
    }
    if (numbers.size() != count) return std::nullopt;
    const double kind = numbers[0], first = numbers[1];
    if (kind < 0 || kind > 3 || kind != static_cast<int>(kind) || first < 0 || first > 1e6 ||
        first != static_cast<int>(first))
      return std::nullopt;
    for (std::size_t k = 2; k < count; ++k)
      if (!(numbers[k] > 0)) return std::nullopt;
    entries.push_back(std::move(numbers));
  }
  if (entries.empty()) return std::nullopt;
  return entries;
}

// The devices of a guard or shadow field (both KIND:FIRST:NUMBER:NUMBER entries).
template <typename Entry>
std::optional<std::vector<Entry>> DevicesOf(std::string_view text) {
  const std::optional<std::vector<std::vector<double>>> entries = EntriesOf(text, 4);
  if (!entries) return std::nullopt;
  std::vector<Entry> devices;
  for (const std::vector<double>& e : *entries)
    devices.push_back({static_cast<int>(e[0]), static_cast<int>(e[1]), e[2], e[3]});
  return devices;
}

}  // namespace

ParsedRequest ParseRequest(std::string_view line) {
  std::vector<std::string_view> fields = Fields(WithoutCr(line));
  ParsedRequest parsed;
  long id = 0;
  // The fields a verb needs come first; only a field beyond them can be the id (a circuit may
  // be named "id=3").
  const std::size_t needed = fields[0] == "until" || fields[0] == "text"  ? 3
                             : fields[0] == "temps" || fields[0] == "end" ? 1
                                                                          : 2;
  if (fields.size() > needed) {
    if (std::optional<long> n = IdOf(fields.back())) {
      id = *n;
      fields.pop_back();
    }
  }
  if (fields[0] == "text") {
    std::optional<std::string> file = fields.size() == 3 ? UnescapeField(fields[1]) : std::nullopt;
    std::optional<std::string> text = fields.size() == 3 ? UnescapeField(fields[2]) : std::nullopt;
    if (!file || file->empty() || file->find('\0') != std::string::npos || !text) {
      parsed.problem = "text needs a circuit file name and the circuit";
      return parsed;
    }
    Request request{std::move(*file), id, Verb::kText};
    request.text = std::move(*text);
    parsed.request = std::move(request);
    return parsed;
  }
  if (fields[0] == "begin" || fields[0] == "settle" || fields[0] == "until" ||
      fields[0] == "temps" || fields[0] == "end") {
    Request request;
    request.id = id;
    if (fields[0] == "end") {
      request.verb = Verb::kEnd;
    } else if (fields[0] == "temps") {
      request.verb = Verb::kTemps;
      if (fields.size() % 2 != 1) {
        parsed.problem = "temps takes pairs of a model and a temperature";
        return parsed;
      }
      for (std::size_t k = 1; k + 1 < fields.size(); k += 2) {
        std::optional<std::string> model = UnescapeField(fields[k]);
        std::optional<double> celsius = NumberOf(fields[k + 1]);
        if (!model || model->empty() || !celsius) {
          parsed.problem = "temps field " + std::to_string(k + 1) + " is no model and temperature";
          return parsed;
        }
        request.temps.emplace_back(std::move(*model), *celsius);
      }
    } else {
      const bool until = fields[0] == "until";
      request.verb = until ? Verb::kUntil : fields[0] == "settle" ? Verb::kSettle : Verb::kBegin;
      const std::size_t fileField = until ? 2 : 1;
      if (until) {
        std::optional<double> time = fields.size() > 1 ? NumberOf(fields[1]) : std::nullopt;
        if (!time || *time <= 0) {
          parsed.problem = "until needs a time above 0";
          return parsed;
        }
        request.time = *time;
      }
      // The continuous engine's field after the file: begin's shadows, until's guard.
      const bool begin = fields[0] == "begin";
      const std::string_view extra = begin ? "shadow=" : "guard=";
      if ((begin || until) && fields.size() == fileField + 2 &&
          fields.back().substr(0, extra.size()) == extra) {
        const std::string_view text = fields.back().substr(extra.size());
        bool read = false;
        if (begin) {
          std::optional<std::vector<PowerShadow>> shadow = DevicesOf<PowerShadow>(text);
          read = shadow.has_value();
          if (shadow) request.shadow = std::move(*shadow);
        } else {
          std::optional<std::vector<PowerGuard>> guard = DevicesOf<PowerGuard>(text);
          read = guard.has_value();
          if (guard) request.guard = std::move(*guard);
        }
        if (!read) {
          parsed.problem = begin ? "begin's shadow is not KIND:FIRST:OHMS:FARADS;..."
                                 : "until's guard is not KIND:FIRST:BUDGET:WINDOW;...";
          return parsed;
        }
        fields.pop_back();
      }
      std::optional<std::string> file =
          fields.size() == fileField + 1 ? UnescapeField(fields[fileField]) : std::nullopt;
      if (!file || file->empty() || file->find('\0') != std::string::npos) {
        parsed.problem = std::string(fields[0]) + " needs one file name";
        return parsed;
      }
      request.circuit = std::move(*file);
    }
    parsed.request = std::move(request);
    return parsed;
  }
  if (fields[0] != kRun) {
    parsed.problem = "unknown request \"" + EscapeField(fields[0]) + "\" (expected \"run\")";
    return parsed;
  }
  if (fields.size() < 2 || fields[1].empty()) {
    parsed.problem = "the run request names no circuit file";
    return parsed;
  }
  std::optional<std::string> circuit = UnescapeField(fields[1]);
  if (!circuit) {
    parsed.problem = "the circuit file name has a bad escape";
    return parsed;
  }
  if (circuit->find('\0') != std::string::npos) {
    parsed.problem = "the circuit file name holds a NUL byte";
    return parsed;
  }
  for (std::size_t k = 2; k < fields.size(); ++k) {
    if (fields[k].find('=') == std::string_view::npos) {
      parsed.problem = "field " + std::to_string(k + 1) + " is not name=value";
      return parsed;
    }
    if (fields[k].substr(0, kId.size()) == kId) {
      const std::optional<long> n = IdOf(fields[k]);
      if (!n) {
        parsed.problem = "the request id is not a number above 0";
        return parsed;
      }
      id = *n;
    }
  }
  parsed.request = Request{std::move(*circuit), id};
  return parsed;
}

std::optional<Answer> ParseAnswer(std::string_view line) {
  std::vector<std::string_view> fields = Fields(WithoutCr(line));
  Answer answer;
  if (std::optional<long> id = IdOf(fields[0]); id && fields.size() > 1) {
    answer.id = *id;
    fields.erase(fields.begin());
  }
  if (fields[0] == kDone && fields.size() == 1) return answer;
  if (fields.size() != 2) return std::nullopt;
  if (fields[0] == kProgress) {
    const std::string_view t = fields[1];
    double time = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), time);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(time)) {
      return std::nullopt;
    }
    answer.outcome = Outcome::kProgress;
    answer.time = time;
    return answer;
  }
  if (fields[0] == "data") {
    answer.outcome = Outcome::kData;
  } else if (fields[0] == "listing") {
    answer.outcome = Outcome::kListing;
  } else if (fields[0] == kRefused) {
    answer.outcome = Outcome::kRefused;
  } else if (fields[0] == kFailed) {
    answer.outcome = Outcome::kFailed;
  } else {
    return std::nullopt;
  }
  std::optional<std::string> reason = UnescapeField(fields[1]);
  if (!reason) return std::nullopt;
  answer.reason = std::move(*reason);
  return answer;
}

}  // namespace etherm::sim::serve
