#include "installer_database.h"

#include <windows.h>

namespace first_run {

namespace {

// The launcher's ordinals and the functions they must be.
struct Binding {
  WORD ordinal;
  const char* name;
};
constexpr Binding kBindings[] = {{92, "MsiOpenDatabaseW"},    {32, "MsiDatabaseOpenViewW"},
                                 {118, "MsiRecordGetStringW"}, {159, "MsiViewExecute"},
                                 {160, "MsiViewFetch"},        {8, "MsiCloseHandle"}};

using MsiHandle = unsigned long;
using OpenDatabase = UINT(WINAPI*)(LPCWSTR, LPCWSTR, MsiHandle*);
using OpenView = UINT(WINAPI*)(MsiHandle, LPCWSTR, MsiHandle*);
using Execute = UINT(WINAPI*)(MsiHandle, MsiHandle);
using Commit = UINT(WINAPI*)(MsiHandle);
using Close = UINT(WINAPI*)(MsiHandle);

class SystemMsi {
 public:
  SystemMsi() : module_(LoadLibraryExW(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {}
  ~SystemMsi() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  SystemMsi(const SystemMsi&) = delete;
  SystemMsi& operator=(const SystemMsi&) = delete;
  HMODULE get() const { return module_; }
  template <typename Function>
  Function Named(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

}  // namespace

std::string OrdinalMismatch() {
  const SystemMsi msi;
  if (msi.get() == nullptr) return "msi.dll did not load from the system folder";
  std::string mismatch;
  for (const Binding& binding : kBindings) {
    const FARPROC byOrdinal = GetProcAddress(msi.get(), MAKEINTRESOURCEA(binding.ordinal));
    const FARPROC byName = GetProcAddress(msi.get(), binding.name);
    if (byOrdinal == nullptr || byOrdinal != byName) {
      mismatch += (mismatch.empty() ? "ordinal " : ", ordinal ") + std::to_string(binding.ordinal) +
                  " is not " + binding.name;
    }
  }
  return mismatch;
}

bool MakeLanguagePackDatabase(const std::wstring& path) {
  const SystemMsi msi;
  const auto open = msi.Named<OpenDatabase>("MsiOpenDatabaseW");
  const auto openView = msi.Named<OpenView>("MsiDatabaseOpenViewW");
  const auto execute = msi.Named<Execute>("MsiViewExecute");
  const auto commit = msi.Named<Commit>("MsiDatabaseCommit");
  const auto close = msi.Named<Close>("MsiCloseHandle");
  if (!open || !openView || !execute || !commit || !close) return false;
  MsiHandle database = 0;
  // MSIDBOPEN_CREATE
  if (open(path.c_str(), reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(3)), &database) != 0) {
    return false;
  }
  const wchar_t* const queries[] = {
      L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR NOT NULL "
      L"PRIMARY KEY `Property`)",
      L"INSERT INTO `Property` (`Property`, `Value`) VALUES ('LanguagePackInstaller', '1')"};
  bool made = true;
  for (const wchar_t* query : queries) {
    MsiHandle view = 0;
    made = made && openView(database, query, &view) == 0 && execute(view, 0) == 0;
    if (view != 0) close(view);
  }
  made = made && commit(database) == 0;
  close(database);
  return made;
}

}  // namespace first_run
