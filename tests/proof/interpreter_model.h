// A small model of how Windows' command interpreter reads the text after
// /C, for the tests that judge the launcher's escaping: first "%NAME%" is
// expanded over the whole line, inside quotes too; then quotes toggle, a
// caret outside them makes the next unit text, and an operator outside
// them would start another command or a redirection.
#ifndef SETUP_TESTS_PROOF_INTERPRETER_MODEL_H
#define SETUP_TESTS_PROOF_INTERPRETER_MODEL_H

#include <map>
#include <string>
#include <string_view>

namespace setup::proof {

struct ModelEnvironment {
  std::map<std::u16string, std::u16string> variables;  // by sim::FoldedKey of the name
  std::u16string currentDirectory;                     // %CD% when CD is not defined

  void Set(const std::u16string& name, const std::u16string& value);
  // What `name` (any case) expands to: its variable, else for CD the
  // current directory; null when undefined (the empty name too).
  const std::u16string* Find(std::u16string_view name) const;
};

// The first phase, as at a prompt: a "%" whose name (before any ':') is
// undefined stays and reading goes on after it; a defined "%NAME%" becomes
// its value, not read again; "%cd:~,%" is CD's empty slice; any other
// defined name's form with ':' stays whole.
std::u16string ExpandAsAPrompt(const std::u16string& text, const ModelEnvironment& environment);

// Both phases over `line`: true with the one command's text (carets
// removed) in `text`; false when the line would run more than one command
// or holds a line break.
bool RunsOneCommand(const std::u16string& line, const ModelEnvironment& environment,
                    std::u16string& text);

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_INTERPRETER_MODEL_H
