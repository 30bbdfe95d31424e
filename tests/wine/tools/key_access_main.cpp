// key_access.exe: makes a registry key under HKEY_CLASSES_ROOT read-only, or
// fully accessible again, so the Wine tests can meet a product registration
// that the launcher may read but not write.
//
//   key_access.exe read-only <subkey>
//   key_access.exe full <subkey>
//
// Either replaces the key's access list with one that grants everyone,
// administrators and the system read access only, or full access. The key's
// owner may always change the list, so "full" undoes "read-only". Prints
// "ok" and exits with 0, or prints "error <Win32 code>" and exits with 1;
// bad arguments exit with 2.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cwchar>

#include "command_tail.h"
#include "scoped_handles.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// Protected lists, so nothing inherited from the parent grants more.
constexpr wchar_t kReadOnly[] = L"D:P(A;;KR;;;WD)(A;;KR;;;BA)(A;;KR;;;SY)";
constexpr wchar_t kFull[] = L"D:P(A;;KA;;;WD)(A;;KA;;;BA)(A;;KA;;;SY)";

int Report(DWORD error) {
  if (error == ERROR_SUCCESS) {
    std::printf("ok\n");
    return kDone;
  }
  std::printf("error %lu\n", static_cast<unsigned long>(error));
  return kFailed;
}

int Run() {
  // The mode is one word; the subkey is the rest of the line, blanks included.
  const wchar_t* const tail = wine_tools::SkipProgramName(GetCommandLineW());
  const wchar_t* list = nullptr;
  const wchar_t* subKey = nullptr;
  if (std::wcsncmp(tail, L"read-only ", 10) == 0) {
    list = kReadOnly;
    subKey = tail + 10;
  } else if (std::wcsncmp(tail, L"full ", 5) == 0) {
    list = kFull;
    subKey = tail + 5;
  }
  if (list == nullptr || *subKey == L'\0') {
    std::fprintf(stderr, "usage: key_access.exe read-only|full <subkey of HKEY_CLASSES_ROOT>\n");
    return kUsage;
  }

  wine_tools::ScopedSecurityDescriptor descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(list, SDDL_REVISION_1,
                                                            descriptor.receive(), nullptr)) {
    return Report(GetLastError());
  }
  wine_tools::ScopedKey key;
  const LONG opened =
      RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey, 0, WRITE_DAC | READ_CONTROL, key.receive());
  if (opened != ERROR_SUCCESS) return Report(static_cast<DWORD>(opened));
  return Report(static_cast<DWORD>(
      RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        descriptor.get())));
}

}  // namespace

int main() {
  const int result = Run();
  std::fflush(stdout);
  return result;
}
