#include "functions.h"

#include <cctype>
#include <map>
#include <set>
#include <string>

#include "sim_error.h"
#include "text_util.h"

namespace etherm::sim {

namespace {

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

struct Function {
  std::string name;  // upper case
  const SourceLine* line = nullptr;
  std::set<std::string> calls;  // upper-case names followed by '(' in its body
};

// ".func name(args) body": the name and the body, or nothing for a line of another shape.
bool ParseDefinition(const SourceLine& line, Function* f, std::string* body) {
  std::string_view text = Trim(line.text);
  size_t i = 5;  // past ".func"
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const size_t start = i;
  while (i < text.size() && IsNameChar(text[i])) ++i;
  if (i == start) return false;
  f->name = ToUpper(std::string(text.substr(start, i - start)));
  const size_t close = text.find(')', i);
  if (close == std::string_view::npos) return false;
  *body = std::string(text.substr(close + 1));
  f->line = &line;
  return true;
}

std::set<std::string> CalledNames(const std::string& body) {
  std::set<std::string> names;
  for (size_t i = 0; i < body.size();) {
    if (!IsNameStart(body[i]) || (i > 0 && IsNameChar(body[i - 1]))) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < body.size() && IsNameChar(body[end])) ++end;
    size_t next = end;
    while (next < body.size() && (body[next] == ' ' || body[next] == '\t')) ++next;
    if (next < body.size() && body[next] == '(') names.insert(ToUpper(body.substr(i, end - i)));
    i = end;
  }
  return names;
}

}  // namespace

void RefuseRecursiveFunctions(const std::vector<SourceLine>& lines) {
  std::map<std::string, Function> functions;
  std::vector<std::string> order;
  for (const SourceLine& line : lines) {
    std::vector<std::string> words = SplitWords(line.text);
    if (words.empty() || !EqualNoCase(words[0], ".func")) continue;
    Function f;
    std::string body;
    if (!ParseDefinition(line, &f, &body)) continue;  // ngspice tells what is wrong with it
    f.calls = CalledNames(body);
    auto [it, fresh] = functions.try_emplace(f.name, f);
    if (fresh) {
      order.push_back(f.name);
    } else {
      it->second.calls.insert(f.calls.begin(), f.calls.end());
    }
  }
  // A depth-first walk from each function in circuit order; the path so far names the chain.
  std::set<std::string> cleared;
  for (const std::string& first : order) {
    std::vector<std::string> path;
    std::vector<std::set<std::string>::const_iterator> next;
    std::set<std::string> onPath;
    auto enter = [&](const std::string& name) {
      path.push_back(name);
      onPath.insert(name);
      next.push_back(functions.at(name).calls.begin());
    };
    if (cleared.count(first)) continue;
    enter(first);
    while (!path.empty()) {
      const Function& f = functions.at(path.back());
      if (next.back() == f.calls.end()) {
        cleared.insert(path.back());
        onPath.erase(path.back());
        path.pop_back();
        next.pop_back();
        continue;
      }
      const std::string& callee = *next.back()++;
      if (!functions.count(callee) || cleared.count(callee)) continue;
      if (onPath.count(callee)) {
        std::string chain;
        bool inCycle = false;
        for (const std::string& name : path) {
          if (name == callee) inCycle = true;
          if (inCycle) chain += name + " -> ";
        }
        chain += callee;
        const Function& start = functions.at(callee);
        throw SimError(start.line->where + ": the function " + callee + " calls itself (" + chain +
                       "); ngspice cannot evaluate a recursive .FUNC: " + start.line->text);
      }
      enter(callee);
    }
  }
}

}  // namespace etherm::sim
