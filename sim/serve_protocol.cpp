#include "serve_protocol.h"

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

std::string FormatRequest(const Request& request) {
  std::string line = std::string(kRun) + '\t' + EscapeField(request.circuit);
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

ParsedRequest ParseRequest(std::string_view line) {
  const std::vector<std::string_view> fields = Fields(WithoutCr(line));
  ParsedRequest parsed;
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
  long id = 0;
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
  if (fields[0] == kRefused) {
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
