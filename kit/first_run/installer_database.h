// msi.dll as the kit asks it, by name: the launcher binds six functions by
// ordinal, which must be the same functions.
#ifndef SETUP_KIT_FIRST_RUN_INSTALLER_DATABASE_H
#define SETUP_KIT_FIRST_RUN_INSTALLER_DATABASE_H

#include <string>

namespace first_run {

// Empty when each ordinal the launcher binds gives its name's function;
// else which do not.
std::string OrdinalMismatch();

// Makes an installer database at `path` whose Property table sets
// LanguagePackInstaller to 1.
bool MakeLanguagePackDatabase(const std::wstring& path);

}  // namespace first_run

#endif  // SETUP_KIT_FIRST_RUN_INSTALLER_DATABASE_H
