// Loads "msi.dll" by bare name through the default DLL search path, the
// mistake Setup.exe must not make. Exit status: 0 when a DLL was loaded,
// else the load's error code.
#include <windows.h>

int main() {
  const HMODULE module = ::LoadLibraryA("msi.dll");
  if (module == nullptr) {
    const DWORD error = ::GetLastError();
    return error != 0 ? static_cast<int>(error) : 1;
  }
  ::FreeLibrary(module);
  return 0;
}
