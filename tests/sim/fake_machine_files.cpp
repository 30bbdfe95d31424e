// FakeMachine: folders and files, the current and system directories, short
// names and file searches.
#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "sim/ascii_case.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

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

// The first name in `folder` matching `pattern`, in search order, long or
// short name matching; "." and ".." come first outside a drive root.
std::optional<std::u16string> FirstMatch(const FileEntry& folder, std::u16string_view pattern) {
  if (folder.parent != nullptr) {
    for (const std::u16string_view dots : {u".", u".."}) {
      if (MatchesWildcard(pattern, dots)) return std::u16string(dots);
    }
  }
  for (const auto& child : folder.children) {
    if (MatchesWildcard(pattern, child->longName) ||
        (!child->shortName.empty() && MatchesWildcard(pattern, child->shortName))) {
      return child->longName;
    }
  }
  return std::nullopt;
}

}  // namespace

// ---- Test set-up -------------------------------------------------------------

FileEntry* FakeMachine::AddEntry(const std::u16string& longPath, const std::u16string& shortName,
                                 bool isFolder) {
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

void FakeMachine::SetCurrentDirectory(const std::string& path) {
  SetCurrentDirectory(DecodeAnsi(path));
}

void FakeMachine::SetCurrentDirectory(const std::u16string& path) {
  currentDirectory_ = WithoutTrailingSeparator(path);
}

void FakeMachine::ClearCurrentDirectory() { currentDirectory_.reset(); }

void FakeMachine::SetShortNamesAvailable(bool available) { shortNamesAvailable_ = available; }

void FakeMachine::SetSystemDirectory(const std::u16string& path) { systemDirectory_ = path; }

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

std::optional<std::u16string> FakeMachine::FirstFileMatch(const std::u16string& wide) const {
  const std::size_t cut = wide.find_last_of(u"\\/");
  // A pattern without folder searches the current directory.
  const std::u16string folderPath =
      cut == std::u16string::npos ? currentDirectory_.value_or(u"") : wide.substr(0, cut + 1);
  const std::u16string namePattern = cut == std::u16string::npos ? wide : wide.substr(cut + 1);
  const FileEntry* folder = files_.Find(folderPath);
  if (folder == nullptr || !folder->isFolder || namePattern.empty()) return std::nullopt;
  return FirstMatch(*folder, namePattern);
}

FindHandle FakeMachine::FindFirstFileW(const WideChar* pattern, WideFindData* data) noexcept {
  return Enter(Operation::FindFirstFileW, INVALID_FIND_HANDLE, [&] {
    if (pattern == nullptr || data == nullptr) return INVALID_FIND_HANDLE;
    findPatterns_.push_back(EncodeAnsi(pattern));
    const std::optional<std::u16string> match = FirstFileMatch(pattern);
    if (!match) return INVALID_FIND_HANDLE;
    std::fill(std::begin(data->fileName), std::end(data->fileName), WideChar{});
    std::copy_n(match->begin(), std::min(match->size(), std::size(data->fileName) - 1),
                data->fileName);
    const FindHandle handle{NextHandleValue()};
    openFinds_.insert(handle);
    return handle;
  });
}

bool FakeMachine::FindClose(FindHandle handle) noexcept {
  return EnterClose(Operation::FindClose, false, [&] { return openFinds_.erase(handle) == 1; });
}

std::uint32_t FakeMachine::GetSystemDirectoryW(WideChar* buffer, std::uint32_t size) noexcept {
  return Enter(Operation::GetSystemDirectoryW, std::uint32_t{0},
               [&] { return CopyOut(systemDirectory_, buffer, size); });
}

}  // namespace setup::sim
