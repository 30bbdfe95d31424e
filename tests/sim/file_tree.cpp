#include "sim/file_tree.h"

#include <algorithm>

#include "sim/ascii_case.h"

namespace setup::sim {
namespace {

// Splits "X:\rest" into "X:" and the components of rest. False unless the
// path starts with a drive letter, a colon and a separator (or ends there).
bool SplitAbsolute(std::u16string_view path, std::u16string_view* drive,
                   std::vector<std::u16string_view>* components) {
  const auto isLetter = [](char16_t unit) {
    return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
  };
  if (path.size() < 2 || !isLetter(path[0]) || path[1] != u':') return false;
  if (path.size() > 2 && !IsPathSeparator(path[2])) return false;  // drive-relative
  *drive = path.substr(0, 2);
  components->clear();
  std::size_t start = 2;
  while (start < path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    if (end > start) components->push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

}  // namespace

FileEntry* FileEntry::FindChild(std::u16string_view name) const {
  for (const auto& child : children) {
    if (EqualsIgnoringAsciiCase(child->longName, name) ||
        (!child->shortName.empty() && EqualsIgnoringAsciiCase(child->shortName, name))) {
      return child.get();
    }
  }
  return nullptr;
}

FileEntry* FileTree::FindDrive(std::u16string_view drive) const {
  for (const auto& root : drives_) {
    if (EqualsIgnoringAsciiCase(root->longName, drive)) return root.get();
  }
  return nullptr;
}

FileEntry* FileTree::AddDrive(std::u16string_view drive) {
  if (FileEntry* existing = FindDrive(drive)) return existing;
  auto root = std::make_unique<FileEntry>();
  root->longName = FoldedKey(drive);
  root->longName[0] = static_cast<char16_t>(root->longName[0] - u'a' + u'A');
  root->isFolder = true;
  drives_.push_back(std::move(root));
  return drives_.back().get();
}

FileEntry* FileTree::Add(std::u16string_view path, std::u16string_view shortName, bool isFolder) {
  std::u16string_view drive;
  std::vector<std::u16string_view> components;
  if (!SplitAbsolute(path, &drive, &components)) return nullptr;
  if (components.empty()) return isFolder ? AddDrive(drive) : nullptr;
  FileEntry* folder = AddDrive(drive);
  for (std::size_t i = 0; i < components.size(); ++i) {
    const bool last = i + 1 == components.size();
    if (components[i] == u"." || components[i] == u"..") return nullptr;
    FileEntry* child = folder->FindChild(components[i]);
    if (child == nullptr) child = AddChild(folder, components[i], last ? isFolder : true);
    if (!last && !child->isFolder) return nullptr;
    folder = child;
  }
  if (folder->isFolder != isFolder) return nullptr;
  if (!shortName.empty()) folder->shortName = std::u16string(shortName);
  return folder;
}

FileEntry* FileTree::Find(std::u16string_view path) const {
  std::u16string_view drive;
  std::vector<std::u16string_view> components;
  if (!SplitAbsolute(path, &drive, &components)) return nullptr;
  FileEntry* entry = FindDrive(drive);
  for (std::u16string_view component : components) {
    if (entry == nullptr || !entry->isFolder) return nullptr;
    if (component == u".") continue;
    if (component == u"..") {
      if (entry->parent != nullptr) entry = entry->parent;
      continue;
    }
    entry = entry->FindChild(component);
  }
  return entry;
}

bool FileTree::ShortPath(std::u16string_view path, bool shortNamesAvailable,
                         std::u16string* result) const {
  std::u16string_view drive;
  std::vector<std::u16string_view> components;
  if (!SplitAbsolute(path, &drive, &components)) return false;
  const FileEntry* entry = FindDrive(drive);
  if (entry == nullptr) return false;
  std::u16string shortPath(drive);
  std::size_t at = drive.size();
  while (at < path.size()) {
    if (IsPathSeparator(path[at])) {
      shortPath.push_back(path[at++]);
      continue;
    }
    std::size_t end = at;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    const std::u16string_view component = path.substr(at, end - at);
    at = end;
    if (!entry->isFolder) return false;
    if (component == u"." || component == u"..") {
      if (component == u".." && entry->parent != nullptr) entry = entry->parent;
      shortPath.append(component);
      continue;
    }
    entry = entry->FindChild(component);
    if (entry == nullptr) return false;
    shortPath.append(shortNamesAvailable ? entry->ShortForm() : entry->longName);
  }
  *result = shortPath;
  return true;
}

FileEntry* FileTree::AddChild(FileEntry* folder, std::u16string_view name, bool isFolder) {
  auto entry = std::make_unique<FileEntry>();
  entry->longName = std::u16string(name);
  entry->isFolder = isFolder;
  entry->parent = folder;
  folder->children.push_back(std::move(entry));
  return folder->children.back().get();
}

std::u16string FileTree::LongPathOf(const FileEntry& entry) {
  if (entry.parent == nullptr) return entry.longName + u"\\";
  std::u16string path = LongPathOf(*entry.parent);
  if (entry.parent->parent != nullptr) path.push_back(u'\\');
  return path + entry.longName;
}

void FileTree::PutFirst(FileEntry* entry) {
  if (entry->parent == nullptr) return;
  auto& siblings = entry->parent->children;
  const auto found = std::find_if(siblings.begin(), siblings.end(),
                                  [&](const auto& sibling) { return sibling.get() == entry; });
  std::rotate(siblings.begin(), found, found + 1);
}

}  // namespace setup::sim
