#include "serve_protocol.h"

#include <vector>

namespace etherm::sim::serve {

namespace {

constexpr std::string_view kRun = "run";
constexpr std::string_view kDone = "done";
constexpr std::string_view kRefused = "refused";
constexpr std::string_view kFailed = "failed";

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
  return std::string(kRun) + '\t' + EscapeField(request.circuit);
}

std::string FormatAnswer(const Answer& answer) {
  switch (answer.outcome) {
    case Outcome::kDone:
      return std::string(kDone);
    case Outcome::kRefused:
      return std::string(kRefused) + '\t' + EscapeField(answer.reason);
    case Outcome::kFailed:
      break;
  }
  return std::string(kFailed) + '\t' + EscapeField(answer.reason);
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
  for (std::size_t k = 2; k < fields.size(); ++k) {
    if (fields[k].find('=') == std::string_view::npos) {
      parsed.problem = "field " + std::to_string(k + 1) + " is not name=value";
      return parsed;
    }
  }
  parsed.request = Request{std::move(*circuit)};
  return parsed;
}

std::optional<Answer> ParseAnswer(std::string_view line) {
  const std::vector<std::string_view> fields = Fields(WithoutCr(line));
  Answer answer;
  if (fields[0] == kDone && fields.size() == 1) return answer;
  if (fields.size() != 2) return std::nullopt;
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
