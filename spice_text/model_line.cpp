#include "spice_text/model_line.h"

#include "spice_text/ascii_case.h"

namespace etherm::spice {

namespace {

std::size_t SkipBlanks(std::string_view line, std::size_t i) {
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i;
}

// A name or type ends at a blank or '('.
Field ReadName(std::string_view line, std::size_t& i) {
  const std::size_t start = i;
  while (i < line.size() && !IsBlank(line[i]) && line[i] != '(') ++i;
  return {line.substr(start, i - start), start};
}

}  // namespace

std::optional<ModelLine> ParseModelLine(std::string_view line) {
  line = line.substr(0, CommentStart(line));
  std::size_t i = SkipBlanks(line, 0);
  const std::size_t keywordStart = i;
  while (i < line.size() && !IsBlank(line[i])) ++i;
  const Field keyword{line.substr(keywordStart, i - keywordStart), keywordStart};
  if (!EqualNoCase(keyword.text, ".model")) return std::nullopt;

  ModelLine model;
  model.keyword = keyword;
  i = SkipBlanks(line, i);
  model.name = ReadName(line, i);
  i = SkipBlanks(line, i);
  model.type = ReadName(line, i);
  i = SkipBlanks(line, i);
  std::size_t from = i;
  if (i < line.size() && line[i] == '(') {
    model.open = i;
    from = i + 1;
  }
  ParameterList list = ParseParameters(line, from);
  model.parameters = std::move(list.parameters);
  model.close = list.close;
  model.continues = model.open && !model.close;

  if (model.name.empty()) {
    model.problem = "no model name";
  } else if (model.type.empty()) {
    model.problem = "no model type";
  } else if (model.close && !model.open) {
    model.problem = "\")\" without \"(\"";
  } else if (model.close && list.end < line.size()) {
    std::size_t rest = SkipBlanks(line, list.end);
    if (rest < line.size()) model.problem = "text after the \")\" of the parameter list";
  }
  return model;
}

}  // namespace etherm::spice
