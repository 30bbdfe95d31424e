// The installer-database functions of msi.dll, reached by ordinal.
//
// Setup.exe does not import msi.dll: a static import would let the loader
// take a planted msi.dll from the patch folder (often a download folder)
// before any of our code runs. msi.dll is loaded from the system folder
// only, and only when the first installer call is made: loading it is slow,
// and most runs end before they need it. This header stays free of
// <windows.h>.
#ifndef SETUP_PLATFORM_WIN32_INSTALLER_FUNCTIONS_H
#define SETUP_PLATFORM_WIN32_INSTALLER_FUNCTIONS_H

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace setup {

class InstallerFunctions {
 public:
  // Where the binding looks exports up, by ordinal and by name: the loaded
  // DLL in production, a table of the test's own in tests.
  class Exports {
   public:
    virtual SystemLibrary::ExportAddress by_ordinal(std::uint16_t ordinal) const = 0;
    virtual SystemLibrary::ExportAddress by_name(const char* name) const = 0;

   protected:
    ~Exports() = default;
  };

  // Loads `libraryName` from the system folder and binds the ordinals of
  // platform.h. All or none: a DLL lacking one of them is not the installer
  // DLL, and none of its exports is called. Each function is looked up by
  // name too, and where the DLL has both and they differ, its ordinals are
  // not the ones this code knows: nothing is called then either. Production
  // code uses ForProcess(); tests name other DLLs to reach the failure
  // paths.
  explicit InstallerFunctions(const wchar_t* libraryName);
  // Binds from `exports` the same way, with no DLL loaded; for tests.
  explicit InstallerFunctions(const Exports& exports);

  InstallerFunctions(const InstallerFunctions&) = delete;
  InstallerFunctions& operator=(const InstallerFunctions&) = delete;

  // 0 when all are bound; else the load error of the DLL,
  // ERROR_PROC_NOT_FOUND (127) when it lacks an ordinal, or
  // ERROR_INVALID_ORDINAL (182) when an ordinal and its function's name
  // give different addresses. Every call below
  // returns this status without calling anything while it is not 0, and
  // sets the handle it would hand out to 0.
  Status binding_status() const { return bindingStatus_; }

  // The calls of platform.h's "Installer databases" section, with the same
  // contracts; text in UTF-16.
  Status OpenDatabase(const WideChar* databasePath, std::uint32_t persistMode, MsiHandle* database);
  Status OpenView(MsiHandle database, const WideChar* query, MsiHandle* view);
  Status GetRecordString(MsiHandle record, std::uint32_t field, WideChar* buffer,
                         std::uint32_t* count);
  Status ExecuteView(MsiHandle view, MsiHandle parameters);
  Status FetchRecord(MsiHandle view, MsiHandle* record);
  Status CloseHandle(MsiHandle handle);

 private:
  // One slot per bound function.
  enum Slot {
    kOpenDatabaseW,
    kOpenViewW,
    kGetRecordStringW,
    kExecuteView,
    kFetchRecord,
    kCloseHandle,
    kSlotCount
  };

  // msi.dll's ordinal and name for a slot.
  struct Export {
    std::uint16_t ordinal;
    const char* name;
  };
  // The export of `slot` (installer_functions.cpp); ordinal 0 for none.
  static Export ExportOf(Slot slot);

  // Binds every slot from `exports`, or none, setting bindingStatus_.
  void Bind(const Exports& exports);

  // The bound address of `slot` cast to its real type.
  template <typename Function>
  Function bound(Slot slot) const {
    return reinterpret_cast<Function>(functions_[slot]);
  }

  std::optional<SystemLibrary> library_;  // none when bound from a test's table
  Status bindingStatus_ = 0;
  SystemLibrary::ExportAddress functions_[kSlotCount] = {};
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_INSTALLER_FUNCTIONS_H
