// FakeMachine: installer databases, their views and records, backed by real
// database files on the host and read with libmsi.
#include <cstring>
#include <stdexcept>

#include "sim/code_pages.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"
#include "sim/installer_objects.h"
#include "sim/installer_status.h"

namespace setup::sim {
namespace {

// Whether the path starts at a drive ("C:\...").
bool IsAbsolute(std::u16string_view path) {
  return path.size() >= 3 && path[1] == u':' && IsPathSeparator(path[2]);
}

// libmsi keeps text as UTF-8.
std::string ToUtf8(std::u16string_view text) {
  std::string utf8;
  bool hadUnmappable = false;
  EncodeWide(kCodePageUtf8, text, &utf8, &hadUnmappable);
  return utf8;
}

std::u16string FromUtf8(std::string_view utf8) {
  std::u16string text;
  bool hadInvalid = false;
  DecodeNarrow(kCodePageUtf8, utf8, &text, &hadInvalid);
  return text;
}

}  // namespace

// ---- Test set-up -------------------------------------------------------------

void FakeMachine::AddInstallerDatabase(const std::string& longPath, const std::string& hostFilePath,
                                       const std::string& shortName) {
  if (hostFilePath.empty()) throw std::invalid_argument("no host file for " + longPath);
  AddEntry(longPath, shortName, false)->installerDatabase = hostFilePath;
}

std::size_t FakeMachine::OpenInstallerHandleCount() const { return installerObjects_->OpenCount(); }

MsiHandle FakeMachine::NextInstallerHandle() { return static_cast<MsiHandle>(NextHandleValue()); }

std::string FakeMachine::HostDatabaseFor(const char* databasePath) const {
  std::u16string path = DecodeAnsi(databasePath);
  if (!IsAbsolute(path)) {
    if (!currentDirectory_) return "";
    path = *currentDirectory_ + u"\\" + path;
  }
  const FileEntry* file = files_.Find(path);
  return file != nullptr && !file->isFolder ? file->installerDatabase : "";
}

void FakeMachine::NoteInstallerCall(Operation operation, const char* text,
                                    std::uint32_t persistMode, std::uint32_t field,
                                    Status result) noexcept {
  try {
    installerCalls_.push_back({operation, text != nullptr ? text : "", persistMode, field, result});
  } catch (...) {
    NoteInternalError(operation, "cannot record the call");
  }
}

// ---- Platform ----------------------------------------------------------------

Status FakeMachine::MsiOpenDatabaseA(const char* databasePath, std::uint32_t persistMode,
                                     MsiHandle* database) noexcept {
  const Status result = EnterWithStatus(Operation::MsiOpenDatabaseA, [&]() -> Status {
    if (databasePath == nullptr || database == nullptr) return ERROR_INVALID_PARAMETER;
    if (persistMode != 0) return ERROR_INVALID_PARAMETER;  // read-only opens only
    const std::string hostPath = HostDatabaseFor(databasePath);
    if (hostPath.empty()) return ERROR_OPEN_FAILED;
    const MsiHandle handle = NextInstallerHandle();
    const Status status = installerObjects_->OpenDatabase(hostPath, handle);
    if (status == ERROR_SUCCESS) *database = handle;
    return status;
  });
  NoteInstallerCall(Operation::MsiOpenDatabaseA, databasePath, persistMode, 0, result);
  return result;
}

Status FakeMachine::MsiDatabaseOpenViewA(MsiHandle database, const char* query,
                                         MsiHandle* view) noexcept {
  const Status result = EnterWithStatus(Operation::MsiDatabaseOpenViewA, [&]() -> Status {
    if (query == nullptr || view == nullptr) return ERROR_INVALID_PARAMETER;
    const MsiHandle handle = NextInstallerHandle();
    const Status status = installerObjects_->OpenView(database, ToUtf8(DecodeAnsi(query)), handle);
    if (status == ERROR_SUCCESS) *view = handle;
    return status;
  });
  NoteInstallerCall(Operation::MsiDatabaseOpenViewA, query, 0, 0, result);
  return result;
}

Status FakeMachine::MsiViewExecute(MsiHandle view, MsiHandle parameters) noexcept {
  const Status result = EnterWithStatus(
      Operation::MsiViewExecute, [&] { return installerObjects_->Execute(view, parameters); });
  NoteInstallerCall(Operation::MsiViewExecute, nullptr, 0, 0, result);
  return result;
}

Status FakeMachine::MsiViewFetch(MsiHandle view, MsiHandle* record) noexcept {
  const Status result = EnterWithStatus(Operation::MsiViewFetch, [&]() -> Status {
    if (record == nullptr) return ERROR_INVALID_PARAMETER;
    const MsiHandle handle = NextInstallerHandle();
    const Status status = installerObjects_->Fetch(view, handle);
    if (status == ERROR_SUCCESS) {
      *record = handle;
    } else if (status == ERROR_NO_MORE_ITEMS) {
      *record = 0;  // as the platform clears it past the last row
    }
    return status;
  });
  NoteInstallerCall(Operation::MsiViewFetch, nullptr, 0, 0, result);
  return result;
}

Status FakeMachine::MsiRecordGetStringA(MsiHandle record, std::uint32_t field, char* buffer,
                                        std::uint32_t* count) noexcept {
  const Status result = EnterWithStatus(Operation::MsiRecordGetStringA, [&]() -> Status {
    std::string utf8;
    const Status status = installerObjects_->GetString(record, field, &utf8);
    if (status != ERROR_SUCCESS) return status;
    if (count == nullptr) return ERROR_INVALID_PARAMETER;
    const std::string text = EncodeAnsi(FromUtf8(utf8));
    const auto length = static_cast<std::uint32_t>(text.size());
    const std::uint32_t capacity = *count;
    *count = length;
    // No buffer asks for the length only.
    if (buffer == nullptr) return ERROR_SUCCESS;
    if (length < capacity) {
      std::memcpy(buffer, text.data(), length);
      buffer[length] = '\0';
      return ERROR_SUCCESS;
    }
    // Too small: as much as fits, cut and terminated.
    if (capacity > 0) {
      std::memcpy(buffer, text.data(), capacity - 1);
      buffer[capacity - 1] = '\0';
    }
    return ERROR_MORE_DATA;
  });
  NoteInstallerCall(Operation::MsiRecordGetStringA, nullptr, 0, field, result);
  return result;
}

Status FakeMachine::MsiCloseHandle(MsiHandle handle) noexcept {
  const Status result =
      EnterClose(Operation::MsiCloseHandle, Status{kErrorNotEnoughMemory}, [&]() -> Status {
        if (handle == 0) return ERROR_SUCCESS;  // closing no handle is no error
        InstallerObjects::Kind kind{};
        if (!installerObjects_->Close(handle, &kind)) return ERROR_INVALID_HANDLE;
        installerCloses_.emplace_back(InstallerObjects::KindName(kind));
        return ERROR_SUCCESS;
      });
  NoteInstallerCall(Operation::MsiCloseHandle, nullptr, 0, 0, result);
  return result;
}

}  // namespace setup::sim
