// The passed-on arguments as a command prompt expands them, done by the launcher itself so that no
// variable reference reaches the interpreter.
#ifndef SETUP_RUNNER_ARGUMENT_EXPANSION_H
#define SETUP_RUNNER_ARGUMENT_EXPANSION_H

#include <cstddef>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/secret_masking.h"

namespace setup {

// Looks the variable `name` (`length` units, no terminator) up for ExpandVariables: 0 with its
// value in `value`; ERROR_ENVVAR_NOT_FOUND when it is not defined; ERROR_INSUFFICIENT_BUFFER when
// its value would not fit.
using VariableLookup = Status (*)(void* context, const WideChar* name, std::size_t length,
                                  WideLongText& value);

constexpr Status ERROR_ENVVAR_NOT_FOUND = 203;

// `text` with every "%NAME%" whose NAME `lookup` defines replaced by its value, which is not read
// again, its units marked in `fromVariables` (and no others); a name, or what precedes a ":", that
// is not defined keeps its first "%" and reading goes on right after it ("%NOPE%", "100%", "%%" and
// "%NOPE:~0,3%" stay as typed, "5%: %OS%" expands OS), and a defined name's substring or
// replacement form ("%PATH:~0,3%") stays whole. Returns 0, or ERROR_INSUFFICIENT_BUFFER (`expanded`
// then empty) when it would not fit.
Status ExpandVariables(const WideChar* text, VariableLookup lookup, void* context,
                       WideLongText& expanded, UnitsFromVariables& fromVariables);

// The same with the launcher's environment, names in any case, and CD, when no variable has that
// name, as `currentDirectory` (a prompt's "%CD%").
Status ExpandWithEnvironment(Platform& platform, const WideChar* currentDirectory,
                             const WideChar* text, WideLongText& expanded,
                             UnitsFromVariables& fromVariables);

}  // namespace setup

#endif  // SETUP_RUNNER_ARGUMENT_EXPANSION_H
