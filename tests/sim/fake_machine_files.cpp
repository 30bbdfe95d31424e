// FakeMachine: folders and files, the current, system and temp folders,
// short names, file searches, and the files the launcher creates and writes.
#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>

#include "sim/ascii_case.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

constexpr Status kErrorInvalidParameter = 87;
constexpr Status kErrorInvalidName = 123;

// Rights that let a handle write a file's data.
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kFileWriteData = 0x2;
constexpr std::uint32_t kFileAppendData = 0x4;
constexpr std::uint32_t kWriteRights =
    GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData;

// Whether Windows accepts `name` as one path component of a new file.
bool IsValidNewName(std::u16string_view name) {
  if (name.empty()) return false;
  return std::none_of(name.begin(), name.end(), [](char16_t unit) {
    return unit < 0x20 || std::u16string_view(u"<>:\"|?*").find(unit) != std::u16string_view::npos;
  });
}

// Copies `text` out under the rule GetCurrentDirectory, GetShortPathName
// and GetSystemDirectory share: the length without terminator when text
// and terminator fit, else the size needed with the terminator, nothing
// written.
template <typename Char>
std::uint32_t CopyOut(const std::basic_string<Char>& text, Char* buffer, std::uint32_t size) {
  const auto length = static_cast<std::uint32_t>(text.size());
  if (buffer == nullptr || size < length + 1) return length + 1;
  std::copy(text.begin(), text.end(), buffer);
  buffer[length] = Char{};
  return length;
}

// The path without trailing separators, except after a drive ("C:\").
std::u16string WithoutTrailingSeparator(std::u16string path) {
  while (!path.empty() && IsPathSeparator(path.back())) path.pop_back();
  if (path.size() == 2 && path[1] == u':') path.push_back(u'\\');
  return path;
}

// The names in `folder` matching `pattern`, in search order, long or short
// name matching; "." and ".." come first outside a drive root.
std::deque<FoundEntry> AllMatches(const FileEntry& folder, std::u16string_view pattern) {
  std::deque<FoundEntry> matches;
  if (folder.parent != nullptr) {
    for (const std::u16string_view dots : {u".", u".."}) {
      if (MatchesWildcard(pattern, dots)) matches.push_back({std::u16string(dots), true});
    }
  }
  for (const auto& child : folder.children) {
    if (MatchesWildcard(pattern, child->longName) ||
        (!child->shortName.empty() && MatchesWildcard(pattern, child->shortName))) {
      matches.push_back({child->longName, child->isFolder});
    }
  }
  return matches;
}

void CopyFound(const FoundEntry& found, WideFindData* data) {
  data->attributes = found.isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  std::fill(std::begin(data->fileName), std::end(data->fileName), WideChar{});
  std::copy_n(found.name.begin(), std::min(found.name.size(), std::size(data->fileName) - 1),
              data->fileName);
}

}  // namespace

constexpr std::size_t kMaxComponentUnits = 255;

// ---- Test set-up -------------------------------------------------------------

FileEntry* FakeMachine::AddEntry(const std::u16string& longPath, const std::u16string& shortName,
                                 bool isFolder) {
  // No file system Windows mounts holds a name longer than 255 units
  // (GetVolumeInformationW's maximum component length).
  std::size_t component = 0;
  for (const char16_t unit : longPath) {
    component = unit == u'\\' || unit == u'/' ? 0 : component + 1;
    if (component > kMaxComponentUnits) {
      throw std::invalid_argument("cannot add " + EncodeAnsi(longPath) +
                                  ": a name longer than 255 units");
    }
  }
  FileEntry* entry = files_.Add(longPath, shortName, isFolder);
  if (entry == nullptr) {
    throw std::invalid_argument("cannot add " + std::string(isFolder ? "folder " : "file ") +
                                EncodeAnsi(longPath) +
                                " (relative, through a file, or kind changed)");
  }
  return entry;
}

void FakeMachine::AddFolder(const std::string& longPath, const std::string& shortName) {
  AddEntry(DecodeAnsi(longPath), DecodeAnsi(shortName), true);
}

void FakeMachine::AddFile(const std::string& longPath, const std::string& shortName) {
  AddEntry(DecodeAnsi(longPath), DecodeAnsi(shortName), false);
}

void FakeMachine::AddFolder(const std::u16string& longPath, const std::u16string& shortName) {
  AddEntry(longPath, shortName, true);
}

void FakeMachine::AddFile(const std::u16string& longPath, const std::u16string& shortName) {
  AddEntry(longPath, shortName, false);
}

void FakeMachine::PutFirstInSearchOrder(const std::string& path) {
  FileEntry* entry = files_.Find(DecodeAnsi(path));
  if (entry == nullptr) throw std::invalid_argument("no such file or folder: " + path);
  FileTree::PutFirst(entry);
}

bool FakeMachine::PathExists(const std::string& path) const {
  return files_.Find(DecodeAnsi(path)) != nullptr;
}

bool FakeMachine::PathExists(const std::u16string& path) const {
  return files_.Find(path) != nullptr;
}

void FakeMachine::RemoveFolder(const std::u16string& path) {
  FileEntry* folder = files_.Find(path);
  if (folder == nullptr || !folder->isFolder || folder->parent == nullptr) {
    throw std::invalid_argument("no folder to remove: " + EncodeAnsi(path));
  }
  for (const auto& open : fileHandles_) {
    for (const FileEntry* entry = open.second.file; entry != nullptr; entry = entry->parent) {
      if (entry == folder) throw std::invalid_argument("a file is open in " + EncodeAnsi(path));
    }
  }
  auto& siblings = folder->parent->children;
  siblings.erase(
      std::find_if(siblings.begin(), siblings.end(),
                   [&](const std::unique_ptr<FileEntry>& entry) { return entry.get() == folder; }));
}

void FakeMachine::SetCurrentDirectory(const std::string& path) {
  SetCurrentDirectory(DecodeAnsi(path));
}

void FakeMachine::SetCurrentDirectory(const std::u16string& path) {
  currentDirectory_ = WithoutTrailingSeparator(path);
}

void FakeMachine::ClearCurrentDirectory() { currentDirectory_.reset(); }

void FakeMachine::SetShortNamesAvailable(bool available) { shortNamesAvailable_ = available; }

std::optional<std::u16string> FakeMachine::ShortPathOf(const std::u16string& longPath) const {
  std::u16string resolved;
  if (!files_.ShortPath(longPath, shortNamesAvailable_, &resolved)) return std::nullopt;
  return resolved;
}

void FakeMachine::SetSystemDirectory(const std::u16string& path) { systemDirectory_ = path; }

void FakeMachine::SetTempPath(const std::u16string& path) { tempPath_ = path; }

void FakeMachine::SetTempPath2(const std::u16string& path) { tempPath2_ = path; }

void FakeMachine::AddFileWithContents(const std::u16string& longPath, const std::string& bytes) {
  AddEntry(longPath, u"", false)->contents = bytes;
}

void FakeMachine::SetModulePath(const std::u16string& path) { modulePath_ = path; }

void FakeMachine::SetEnvironmentVariable(const std::u16string& name, const std::u16string& value) {
  environment_[FoldedKey(name)] = value;  // names compare ignoring case
}

void FakeMachine::DenyFileCreation(const std::u16string& folder) {
  AddEntry(folder, u"", true)->creationDenied = true;
}

void FakeMachine::SetFreeDiskSpace(std::uint64_t bytes) { freeDiskSpace_ = bytes; }

void FakeMachine::SetDiskFull(bool full) {
  if (full) {
    freeDiskSpace_ = 0;
  } else {
    freeDiskSpace_.reset();
  }
}

std::optional<std::string> FakeMachine::FileContents(const std::u16string& path) const {
  const FileEntry* entry = files_.Find(path);
  if (entry == nullptr || entry->isFolder) return std::nullopt;
  return entry->contents;
}

// ---- Platform ----------------------------------------------------------------

std::uint32_t FakeMachine::GetCurrentDirectoryW(std::uint32_t bufferSize,
                                                WideChar* buffer) noexcept {
  return Enter(Operation::GetCurrentDirectoryW, std::uint32_t{0}, [&]() -> std::uint32_t {
    if (!currentDirectory_) return 0;
    return CopyOut(*currentDirectory_, buffer, bufferSize);
  });
}

std::uint32_t FakeMachine::GetShortPathNameW(const WideChar* longPath, WideChar* shortPath,
                                             std::uint32_t bufferSize) noexcept {
  return Enter(Operation::GetShortPathNameW, std::uint32_t{0}, [&]() -> std::uint32_t {
    if (longPath == nullptr) return 0;
    std::u16string resolved;
    if (!files_.ShortPath(longPath, shortNamesAvailable_, &resolved)) return 0;
    return CopyOut(resolved, shortPath, bufferSize);
  });
}

std::deque<FoundEntry> FakeMachine::FileMatches(const std::u16string& wide) const {
  const std::size_t cut = wide.find_last_of(u"\\/");
  // A pattern without folder searches the current directory.
  const std::u16string folderPath =
      cut == std::u16string::npos ? currentDirectory_.value_or(u"") : wide.substr(0, cut + 1);
  const std::u16string namePattern = cut == std::u16string::npos ? wide : wide.substr(cut + 1);
  const FileEntry* folder = files_.Find(folderPath);
  if (folder == nullptr || !folder->isFolder || namePattern.empty()) return {};
  return AllMatches(*folder, namePattern);
}

FindHandle FakeMachine::FindFirstFileW(const WideChar* pattern, WideFindData* data) noexcept {
  return Enter(Operation::FindFirstFileW, INVALID_FIND_HANDLE, [&] {
    if (pattern == nullptr || data == nullptr) return INVALID_FIND_HANDLE;
    findPatterns_.push_back(RecordedText(pattern));
    std::deque<FoundEntry> matches = FileMatches(pattern);
    if (matches.empty()) return INVALID_FIND_HANDLE;
    CopyFound(matches.front(), data);
    matches.pop_front();
    const FindHandle handle{NextHandleValue()};
    openFinds_.emplace(handle, std::move(matches));
    return handle;
  });
}

bool FakeMachine::FindNextFileW(FindHandle handle, WideFindData* data) noexcept {
  return Enter(Operation::FindNextFileW, false, [&] {
    const auto search = openFinds_.find(handle);
    if (search == openFinds_.end() || search->second.empty() || data == nullptr) return false;
    CopyFound(search->second.front(), data);
    search->second.pop_front();
    return true;
  });
}

bool FakeMachine::FlushFileBuffers(KernelHandle file) noexcept {
  return Enter(Operation::FlushFileBuffers, false,
               [&] { return fileHandles_.find(file) != fileHandles_.end(); });
}

bool FakeMachine::FindClose(FindHandle handle) noexcept {
  return EnterClose(Operation::FindClose, false, [&] { return openFinds_.erase(handle) == 1; });
}

std::uint32_t FakeMachine::GetSystemDirectoryW(WideChar* buffer, std::uint32_t size) noexcept {
  return Enter(Operation::GetSystemDirectoryW, std::uint32_t{0},
               [&] { return CopyOut(systemDirectory_, buffer, size); });
}

std::uint32_t FakeMachine::GetModuleFileNameW(WideChar* buffer, std::uint32_t size) noexcept {
  return Enter(Operation::GetModuleFileNameW, std::uint32_t{0}, [&]() -> std::uint32_t {
    if (modulePath_.empty() || buffer == nullptr || size == 0) return 0;
    // Cut to fit, terminated, as Windows XP and later do.
    const auto length = std::min<std::size_t>(modulePath_.size(), size - 1);
    std::copy_n(modulePath_.begin(), length, buffer);
    buffer[length] = u'\0';
    return modulePath_.size() < size ? static_cast<std::uint32_t>(length) : size;
  });
}

std::uint32_t FakeMachine::GetEnvironmentVariableW(const WideChar* name, WideChar* buffer,
                                                   std::uint32_t size) noexcept {
  return Enter(Operation::GetEnvironmentVariableW, std::uint32_t{0}, [&]() -> std::uint32_t {
    if (name == nullptr) return 0;
    const auto found = environment_.find(FoldedKey(name));
    return found == environment_.end() ? 0 : CopyOut(found->second, buffer, size);
  });
}

std::uint32_t FakeMachine::GetTempPathW(std::uint32_t bufferSize, WideChar* buffer) noexcept {
  return Enter(Operation::GetTempPathW, std::uint32_t{0},
               [&] { return CopyOut(tempPath_, buffer, bufferSize); });
}

std::uint32_t FakeMachine::GetTempPath2W(std::uint32_t bufferSize, WideChar* buffer) noexcept {
  return Enter(Operation::GetTempPath2W, std::uint32_t{0}, [&]() -> std::uint32_t {
    return tempPath2_ ? CopyOut(*tempPath2_, buffer, bufferSize) : 0;
  });
}

std::uint32_t FakeMachine::GetSystemWindowsDirectoryW(WideChar* buffer,
                                                      std::uint32_t size) noexcept {
  return Enter(Operation::GetSystemWindowsDirectoryW, std::uint32_t{0},
               [&] { return CopyOut(windowsDirectory_, buffer, size); });
}

FileEntry* FakeMachine::CreateNewFile(const std::u16string& path, Status* error) {
  const std::size_t cut = path.find_last_of(u"\\/");
  if (cut == std::u16string::npos) {
    *error = ERROR_PATH_NOT_FOUND;
    return nullptr;
  }
  const FileEntry* existing = files_.Find(path);
  FileEntry* folder = files_.Find(std::u16string_view(path).substr(0, cut + 1));
  if (folder == nullptr || !folder->isFolder) {
    *error = ERROR_PATH_NOT_FOUND;
  } else if (existing != nullptr) {
    // Long or short name, file or folder: CREATE_NEW touches none of them.
    *error = ERROR_FILE_EXISTS;
  } else if (!IsValidNewName(std::u16string_view(path).substr(cut + 1))) {
    *error = kErrorInvalidName;
  } else if (folder->creationDenied) {
    *error = ERROR_ACCESS_DENIED;
  } else {
    return FileTree::AddChild(folder, std::u16string_view(path).substr(cut + 1), false);
  }
  return nullptr;
}

KernelHandle FakeMachine::CreateFileW(const WideChar* fileName, std::uint32_t desiredAccess,
                                      std::uint32_t /*shareMode*/,
                                      std::uint32_t creationDisposition,
                                      std::uint32_t /*flagsAndAttributes*/,
                                      Status* lastError) noexcept {
  return EnterWithLastError(
      Operation::CreateFileW, NO_KERNEL_HANDLE, lastError, [&](Status* error) {
        if (fileName == nullptr) {
          *error = ERROR_PATH_NOT_FOUND;
          return NO_KERNEL_HANDLE;
        }
        FileEntry* file = nullptr;
        if (creationDisposition == OPEN_EXISTING && (desiredAccess & kWriteRights) == 0) {
          file = files_.Find(fileName);
          if (file == nullptr || file->isFolder) {
            *error = file == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
            return NO_KERNEL_HANDLE;
          }
        } else if (creationDisposition != CREATE_NEW) {
          *error = kErrorInvalidParameter;
          return NO_KERNEL_HANDLE;
        } else {
          file = CreateNewFile(fileName, error);
          if (file == nullptr) return NO_KERNEL_HANDLE;
          createdFiles_.push_back(FileTree::LongPathOf(*file));
        }
        const KernelHandle handle{NextHandleValue()};
        fileHandles_[handle] = OpenFile{file, (desiredAccess & kWriteRights) != 0};
        return handle;
      });
}

bool FakeMachine::ReadFile(KernelHandle file, std::uint8_t* data, std::uint32_t size,
                           std::uint32_t* read) noexcept {
  if (read != nullptr) *read = 0;
  return Enter(Operation::ReadFile, false, [&] {
    const auto open = fileHandles_.find(file);
    if (open == fileHandles_.end() || open->second.writable || read == nullptr) return false;
    const std::string& contents = open->second.file->contents;
    const std::size_t at = std::min(open->second.readAt, contents.size());
    const std::size_t count = std::min<std::size_t>(size, contents.size() - at);
    if (count != 0 && data == nullptr) return false;
    std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(at), count, data);
    open->second.readAt = at + count;
    *read = static_cast<std::uint32_t>(count);
    return true;
  });
}

bool FakeMachine::WriteFile(KernelHandle file, const std::uint8_t* data, std::uint32_t size,
                            std::uint32_t* written) noexcept {
  // Windows clears the count before anything else, so a failed write reads 0.
  if (written != nullptr) *written = 0;
  return Enter(Operation::WriteFile, false, [&] {
    const auto open = fileHandles_.find(file);
    if (open == fileHandles_.end() || !open->second.writable || written == nullptr) return false;
    if (data == nullptr && size != 0) return false;
    if (freeDiskSpace_ && size > *freeDiskSpace_) return false;  // ERROR_DISK_FULL
    if (size != 0) open->second.file->contents.append(reinterpret_cast<const char*>(data), size);
    if (freeDiskSpace_) *freeDiskSpace_ -= size;
    *written = size;
    return true;
  });
}

}  // namespace setup::sim
