// The launcher's own logic as the kit uses it: the installer line it
// builds and the product table. Kept apart from <windows.h>, whose error
// macros would clash with the logic's constants.
#ifndef SETUP_KIT_FIRST_RUN_LINE_FORM_H
#define SETUP_KIT_FIRST_RUN_LINE_FORM_H

#include <string>

namespace first_run {

// The interpreter's switches and the installer command the launcher would
// give "<installerFolder>\cmd.exe"'s interpreter, with `installerFolder`
// in the system folder's place; empty when the launcher would refuse it.
std::wstring InstallerLine(const std::wstring& installerFolder, const std::wstring& patchPath,
                           const std::wstring& arguments);

// A product row of the launcher's table that needs its registration.
struct TableProduct {
  std::wstring keyword;    // in the patch file's name
  std::wstring packedKey;  // "Installer\Products\<packed code>" under HKEY_CLASSES_ROOT
};

// The rows 0 .. n-1 that need a registration, in table order.
int RegisteredRowCount();
TableProduct RegisteredRow(int row);

}  // namespace first_run

#endif  // SETUP_KIT_FIRST_RUN_LINE_FORM_H
