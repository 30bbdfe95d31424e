// FakeMachine: installer databases, their views and records, backed by real
// database files on the host and read with libmsi.
#include <algorithm>
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
  AddInstallerDatabase(DecodeAnsi(longPath), hostFilePath, DecodeAnsi(shortName));
}

void FakeMachine::AddInstallerDatabase(const std::u16string& longPath,
                                       const std::string& hostFilePath,
                                       const std::u16string& shortName) {
  if (hostFilePath.empty()) throw std::invalid_argument("no host file for " + EncodeAnsi(longPath));
  AddEntry(longPath, shortName, false)->installerDatabase = hostFilePath;
}

std::size_t FakeMachine::OpenInstallerHandleCount() const { return installerObjects_->OpenCount(); }

MsiHandle FakeMachine::NextInstallerHandle() { return static_cast<MsiHandle>(NextHandleValue()); }

std::string FakeMachine::HostDatabaseFor(std::u16string path) const {
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

namespace {

// Hands a record's text out as MsiRecordGetString does: `count` is the
// buffer's capacity on entry and the text's length on return; no buffer asks
// for the length only; a buffer too small gets what fits, cut and
// terminated, and ERROR_MORE_DATA.
template <typename Unit>
Status CopyRecordText(const std::basic_string<Unit>& text, Unit* buffer, std::uint32_t* count) {
  const auto length = static_cast<std::uint32_t>(text.size());
  const std::uint32_t capacity = *count;
  *count = length;
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (length < capacity) {
    std::copy(text.begin(), text.end(), buffer);
    buffer[length] = Unit{};
    return ERROR_SUCCESS;
  }
  if (capacity > 0) {
    std::copy_n(text.begin(), capacity - 1, buffer);
    buffer[capacity - 1] = Unit{};
  }
  return ERROR_MORE_DATA;
}

}  // namespace

Status FakeMachine::OpenDatabase(const std::u16string& databasePath, MsiHandle* database) {
  const std::string hostPath = HostDatabaseFor(databasePath);
  if (hostPath.empty()) return ERROR_OPEN_FAILED;
  const MsiHandle handle = NextInstallerHandle();
  const Status status = installerObjects_->OpenDatabase(hostPath, handle);
  if (status == ERROR_SUCCESS) *database = handle;
  return status;
}

Status FakeMachine::MsiOpenDatabaseW(const WideChar* databasePath, std::uint32_t persistMode,
                                     MsiHandle* database) noexcept {
  std::string recorded;
  const Status result = EnterWithStatus(Operation::MsiOpenDatabaseW, [&]() -> Status {
    if (databasePath == nullptr || database == nullptr) return ERROR_INVALID_PARAMETER;
    recorded = RecordedText(databasePath);
    if (persistMode != 0) return ERROR_INVALID_PARAMETER;  // read-only opens only
    return OpenDatabase(databasePath, database);
  });
  NoteInstallerCall(Operation::MsiOpenDatabaseW, recorded.c_str(), persistMode, 0, result);
  return result;
}

Status FakeMachine::MsiDatabaseOpenViewW(MsiHandle database, const WideChar* query,
                                         MsiHandle* view) noexcept {
  std::string recorded;
  const Status result = EnterWithStatus(Operation::MsiDatabaseOpenViewW, [&]() -> Status {
    if (query == nullptr || view == nullptr) return ERROR_INVALID_PARAMETER;
    recorded = RecordedText(query);
    const MsiHandle handle = NextInstallerHandle();
    const Status status =
        installerObjects_->OpenView(database, ToUtf8(std::u16string(query)), handle);
    if (status == ERROR_SUCCESS) *view = handle;
    return status;
  });
  NoteInstallerCall(Operation::MsiDatabaseOpenViewW, recorded.c_str(), 0, 0, result);
  return result;
}

Status FakeMachine::MsiRecordGetStringW(MsiHandle record, std::uint32_t field, WideChar* buffer,
                                        std::uint32_t* count) noexcept {
  const Status result = EnterWithStatus(Operation::MsiRecordGetStringW, [&]() -> Status {
    std::string utf8;
    const Status status = installerObjects_->GetString(record, field, &utf8);
    if (status != ERROR_SUCCESS) return status;
    if (count == nullptr) return ERROR_INVALID_PARAMETER;
    return CopyRecordText(FromUtf8(utf8), buffer, count);
  });
  NoteInstallerCall(Operation::MsiRecordGetStringW, nullptr, 0, field, result);
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
