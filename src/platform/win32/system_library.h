// A DLL loaded from the system folder only, and the exports it offers.
//
// Setup.exe runs elevated from download folders, where a planted DLL may sit
// beside it. Every DLL it loads at run time therefore comes from the system
// folder and is never searched for in the program's own folder. This header
// stays free of <windows.h> so that it can be included in any order.
#ifndef SETUP_PLATFORM_WIN32_SYSTEM_LIBRARY_H
#define SETUP_PLATFORM_WIN32_SYSTEM_LIBRARY_H

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Exports looked up by name and by ordinal: a loaded DLL's, or in tests a
// table of the test's own.
class ExportTable {
 public:
  // The address of an export. A generic function pointer type, so that a
  // cast to the export's real type is well defined and warning-free.
  using ExportAddress = void (*)();

  // The export of that name, or null.
  virtual ExportAddress resolve(const char* exportName) const = 0;
  // The export with that ordinal, or null.
  virtual ExportAddress resolve_ordinal(std::uint16_t ordinal) const = 0;

 protected:
  ~ExportTable() = default;
};

class SystemLibrary final : public ExportTable {
 public:
  // How the system folder is named to the loader.
  enum class LoadRoute {
    // LOAD_LIBRARY_SEARCH_SYSTEM32 where the system supports it, otherwise
    // the full path to the system folder. What production code uses.
    Automatic,
    // Always the full path built from the system folder: the route systems
    // without the search flags take. Chosen explicitly only by tests.
    FullPath,
  };

  // Loads `fileName` (a bare name such as L"advapi32.dll") from the system
  // folder. A name holding a path separator or a drive colon is refused.
  // Failure is not fatal: the object then reports loaded() == false.
  explicit SystemLibrary(const wchar_t* fileName, LoadRoute route = LoadRoute::Automatic);
  // Releases the DLL when it was loaded.
  ~SystemLibrary();

  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // True when the DLL was loaded.
  bool loaded() const { return module_ != nullptr; }
  // The platform error of a failed load; 0 when loaded.
  Status load_error() const { return loadError_; }

  // Null, too, when the DLL is not loaded.
  ExportAddress resolve(const char* exportName) const override;
  ExportAddress resolve_ordinal(std::uint16_t ordinal) const override;

 private:
  void* module_ = nullptr;  // the HMODULE, kept opaque here
  Status loadError_ = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_SYSTEM_LIBRARY_H
