// Subcircuit scopes: which .MODEL a device sees, and every path of calls to a definition.

#include "sim_error.h"
#include "text_util.h"
#include "translator.h"

namespace etherm::sim::detail {

namespace {

constexpr size_t kMaxInstancePaths = 10000;

}  // namespace

const ModelInfo* Translator::VisibleModel(std::string scope, const std::string& lowerName) const {
  while (true) {
    auto s = scopes.find(scope);
    if (s != scopes.end()) {
      auto m = s->second.models.find(lowerName);
      if (m != s->second.models.end()) return &m->second;
    }
    if (scope.empty()) return nullptr;
    scope = s == scopes.end() ? std::string() : s->second.parent;
  }
}

std::vector<std::string> Translator::Paths(const std::string& scope, int depth) const {
  if (scope.empty()) return {""};
  if (auto known = pathsOf.find(scope); known != pathsOf.end()) return known->second;
  if (depth > 50) throw SimError("subcircuit " + ToUpper(scope) + " calls itself");
  std::vector<std::string> paths;
  for (const auto& [name, s] : scopes)
    for (const Call& c : s.calls)
      if (ToLower(c.subcircuit) == scope)
        for (const std::string& p : Paths(name, depth + 1)) {
          paths.push_back(p.empty() ? ToLower(c.instance) : p + "." + ToLower(c.instance));
          if (paths.size() > kMaxInstancePaths)
            throw SimError("the subcircuit calls expand to more than " +
                           std::to_string(kMaxInstancePaths) + " instances");
        }
  pathsOf[scope] = paths;
  return paths;
}

void Translator::ResolveTemperatures() {
  for (BodyLine& b : out.body) {
    if (b.letter == 0 || b.letter == 'x') continue;
    for (size_t i = 1; i < b.words.size(); ++i) {
      const std::string& w = b.words[i];
      if (!ParamName(w).empty()) break;
      const ModelInfo* m = VisibleModel(b.scope, ToLower(w));
      if (!m) continue;
      if (m->tempModel >= 0) {
        b.tempModel = m->tempModel;
        std::vector<std::string> kept;
        for (const std::string& x : b.words) {
          std::string p = ToLower(ParamName(x));
          if (p != "temp" && p != "dtemp") kept.push_back(x);
        }
        b.words = kept;
        TempModel& t = out.tempModels[m->tempModel];
        std::string device = ToLower(b.words[0]);
        for (const std::string& path : Paths(b.scope)) {
          t.instances.push_back(
              path.empty() ? device : std::string(1, b.letter) + "." + path + "." + device);
          t.devices.push_back(ToUpper(path.empty() ? b.words[0] : path + "." + b.words[0]));
        }
      }
      break;
    }
  }
}

}  // namespace etherm::sim::detail
