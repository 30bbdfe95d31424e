#include "proof/interpreter_model.h"

#include "sim/ascii_case.h"

namespace setup::proof {

namespace {

bool IsOperator(char16_t unit) {
  return unit == u'&' || unit == u'|' || unit == u'<' || unit == u'>' || unit == u'(' ||
         unit == u')';
}

}  // namespace

void ModelEnvironment::Set(const std::u16string& name, const std::u16string& value) {
  variables[sim::FoldedKey(name)] = value;
}

const std::u16string* ModelEnvironment::Find(std::u16string_view name) const {
  const std::u16string key = sim::FoldedKey(name);
  const auto defined = variables.find(key);
  if (defined != variables.end() && !key.empty()) return &defined->second;
  return key == u"cd" ? &currentDirectory : nullptr;
}

std::u16string ExpandAsAPrompt(const std::u16string& text, const ModelEnvironment& environment) {
  std::u16string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t close = text[at] == u'%' ? text.find(u'%', at + 1) : std::u16string::npos;
    if (close == std::u16string::npos) {
      out += text[at++];
      continue;
    }
    const std::u16string name = sim::FoldedKey(text.substr(at + 1, close - at - 1));
    const std::size_t colon = name.find(u':');
    if (environment.Find(name.substr(0, colon)) == nullptr) {
      out += text[at++];
    } else if (name == u"cd:~,") {
      at = close + 1;
    } else if (colon != std::u16string::npos) {
      out += text.substr(at, close + 1 - at);
      at = close + 1;
    } else {
      out += *environment.Find(name);
      at = close + 1;
    }
  }
  return out;
}

bool RunsOneCommand(const std::u16string& line, const ModelEnvironment& environment,
                    std::u16string& text) {
  const std::u16string expanded = ExpandAsAPrompt(line, environment);
  text.clear();
  bool quoted = false;
  for (std::size_t at = 0; at < expanded.size(); ++at) {
    const char16_t unit = expanded[at];
    if (unit == u'\r' || unit == u'\n') return false;
    if (unit == u'"') quoted = !quoted;
    if (!quoted && unit == u'^') {
      if (++at < expanded.size()) text += expanded[at];
      continue;
    }
    if (!quoted && IsOperator(unit)) return false;
    text += unit;
  }
  return true;
}

}  // namespace setup::proof
