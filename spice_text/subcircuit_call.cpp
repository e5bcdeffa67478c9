#include "spice_text/subcircuit_call.h"

#include "spice_text/ascii_case.h"

namespace etherm::spice {

namespace {

constexpr std::string_view kParamsKeyword = "params:";

}  // namespace

std::optional<SubcircuitCall> ParseSubcircuitCall(std::string_view line) {
  line = line.substr(0, CommentStart(line));
  const std::vector<Word> words = SplitWords(line, kSpiceFields);
  if (words.empty() || UpperChar(words[0].text[0]) != 'X') return std::nullopt;

  SubcircuitCall call;
  call.instance = words[0];
  // The words before the first that opens the parameters: PARAMS:, `name=value`, or `=`
  // written apart from its name (then the name before it is a parameter too).
  std::size_t end = words.size();
  std::optional<std::size_t> parametersFrom;
  for (std::size_t k = 1; k < words.size(); ++k) {
    const std::string_view text = words[k].text;
    if (StartsWithNoCase(text, kParamsKeyword)) {
      call.paramsKeyword = {text.substr(0, kParamsKeyword.size()), words[k].offset};
      parametersFrom = words[k].offset + kParamsKeyword.size();
      end = k;
      break;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || text[0] == '{' || text[0] == '"' || text[0] == '\'')
      continue;
    end = equals == 0 ? k - 1 : k;
    parametersFrom = words[end].offset;
    break;
  }
  if (end < 2) {
    call.problem = "no subcircuit name";
    return call;
  }
  call.subcircuit = words[end - 1];
  for (std::size_t k = 1; k + 1 < end; ++k) call.nodes.push_back(words[k]);
  if (parametersFrom) {
    ParameterList list = ParseParameters(line, *parametersFrom);
    call.parameters = std::move(list.parameters);
    if (list.close) call.problem = "\")\" in the parameter list";
  }
  return call;
}

}  // namespace etherm::spice
