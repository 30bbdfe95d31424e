// platform.h (via installer_functions.h) comes before <windows.h>, whose
// macros share its constant names; none of those names is used below.
#include "platform/win32/installer_functions.h"

#include <windows.h>
// Declarations only, for the functions' exact types: nothing here links
// against msi.dll.
#include <msiquery.h>

namespace setup {
namespace {

static_assert(sizeof(MSIHANDLE) == sizeof(MsiHandle), "installer handles are 32-bit");
static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "character counts are 32-bit");
static_assert(sizeof(wchar_t) == sizeof(WideChar), "Windows text is UTF-16");

const wchar_t* ToWide(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* ToWide(WideChar* text) { return reinterpret_cast<wchar_t*>(text); }

// The handle a failed or unbound call hands out.
template <typename Handle>
void ClearHandle(Handle* handle) {
  if (handle != nullptr) *handle = 0;
}

// The loaded DLL's export table.
class LibraryExports final : public InstallerFunctions::Exports {
 public:
  explicit LibraryExports(const SystemLibrary& library) : library_(library) {}
  SystemLibrary::ExportAddress by_ordinal(std::uint16_t ordinal) const override {
    return library_.resolve_ordinal(ordinal);
  }
  SystemLibrary::ExportAddress by_name(const char* name) const override {
    return library_.resolve(name);
  }

 private:
  const SystemLibrary& library_;
};

}  // namespace

// A switch rather than a table: a slot added without its export fails the
// build (-Wswitch), and removing one takes its case with it.
InstallerFunctions::Export InstallerFunctions::ExportOf(Slot slot) {
  switch (slot) {
    case kOpenDatabaseW:
      return {92, "MsiOpenDatabaseW"};
    case kOpenViewW:
      return {32, "MsiDatabaseOpenViewW"};
    case kGetRecordStringW:
      return {118, "MsiRecordGetStringW"};
    case kExecuteView:
      return {159, "MsiViewExecute"};
    case kFetchRecord:
      return {160, "MsiViewFetch"};
    case kCloseHandle:
      return {8, "MsiCloseHandle"};
    case kSlotCount:
      break;
  }
  return {0, nullptr};  // no ordinal: resolves to nothing, so the binding fails
}

InstallerFunctions::InstallerFunctions(const wchar_t* libraryName) {
  const SystemLibrary& library = library_.emplace(libraryName);
  if (!library.loaded()) {
    bindingStatus_ = library.load_error();
    return;
  }
  Bind(LibraryExports(library));
}

InstallerFunctions::InstallerFunctions(const Exports& exports) { Bind(exports); }

void InstallerFunctions::Bind(const Exports& exports) {
  SystemLibrary::ExportAddress found[kSlotCount] = {};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const Export wanted = ExportOf(static_cast<Slot>(slot));
    found[slot] = exports.by_ordinal(wanted.ordinal);
    if (found[slot] == nullptr) {
      bindingStatus_ = ERROR_PROC_NOT_FOUND;
      return;
    }
    // The ordinals are the DLL's long-standing ones, but only the names are
    // documented: a DLL that numbers its exports otherwise would have this
    // code call one function with another's arguments. A DLL that exports
    // the function by ordinal only is taken at its ordinal.
    const SystemLibrary::ExportAddress named =
        wanted.name != nullptr ? exports.by_name(wanted.name) : nullptr;
    if (named != nullptr && named != found[slot]) {
      bindingStatus_ = ERROR_INVALID_ORDINAL;
      return;
    }
  }
  for (int slot = 0; slot < kSlotCount; ++slot) functions_[slot] = found[slot];
}

Status InstallerFunctions::ExecuteView(MsiHandle view, MsiHandle parameters) {
  if (bindingStatus_ != 0) return bindingStatus_;
  return bound<decltype(&::MsiViewExecute)>(kExecuteView)(view, parameters);
}

Status InstallerFunctions::FetchRecord(MsiHandle view, MsiHandle* record) {
  ClearHandle(record);
  if (bindingStatus_ != 0) return bindingStatus_;
  MSIHANDLE fetched = 0;
  const UINT status =
      bound<decltype(&::MsiViewFetch)>(kFetchRecord)(view, record != nullptr ? &fetched : nullptr);
  if (record != nullptr) *record = fetched;
  return status;
}

Status InstallerFunctions::OpenDatabase(const WideChar* databasePath, std::uint32_t persistMode,
                                        MsiHandle* database) {
  ClearHandle(database);
  if (bindingStatus_ != 0) return bindingStatus_;
  // The persist mode travels in the name's place: MSIDBOPEN_READONLY is
  // the pointer value 0.
  const auto persist = reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(persistMode));
  MSIHANDLE opened = 0;
  const UINT status = bound<decltype(&::MsiOpenDatabaseW)>(kOpenDatabaseW)(
      ToWide(databasePath), persist, database != nullptr ? &opened : nullptr);
  if (database != nullptr) *database = opened;
  return status;
}

Status InstallerFunctions::OpenView(MsiHandle database, const WideChar* query, MsiHandle* view) {
  ClearHandle(view);
  if (bindingStatus_ != 0) return bindingStatus_;
  MSIHANDLE opened = 0;
  const UINT status = bound<decltype(&::MsiDatabaseOpenViewW)>(kOpenViewW)(
      database, ToWide(query), view != nullptr ? &opened : nullptr);
  if (view != nullptr) *view = opened;
  return status;
}

Status InstallerFunctions::GetRecordString(MsiHandle record, std::uint32_t field, WideChar* buffer,
                                           std::uint32_t* count) {
  if (bindingStatus_ != 0) return bindingStatus_;
  DWORD units = count != nullptr ? *count : 0;
  const UINT status = bound<decltype(&::MsiRecordGetStringW)>(kGetRecordStringW)(
      record, field, ToWide(buffer), count != nullptr ? &units : nullptr);
  if (count != nullptr) *count = units;
  return status;
}

Status InstallerFunctions::CloseHandle(MsiHandle handle) {
  if (bindingStatus_ != 0) return bindingStatus_;
  return bound<decltype(&::MsiCloseHandle)>(kCloseHandle)(handle);
}

}  // namespace setup
