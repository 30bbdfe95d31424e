// The simulated drives: folders and files with long and 8.3 short names, in
// UTF-16 as the file system keeps them, each folder's entries in search
// order. Names compare with ASCII case folded.
#ifndef SETUP_TESTS_SIM_FILE_TREE_H
#define SETUP_TESTS_SIM_FILE_TREE_H

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace setup::sim {

// An ini file's content: section -> key -> value, names stored folded.
using ProfileSections = std::map<std::u16string, std::map<std::u16string, std::u16string>>;

// One folder, file or drive root.
struct FileEntry {
  std::u16string longName;   // "C:" for a drive root
  std::u16string shortName;  // empty when the long name is its own short form
  bool isFolder = false;
  FileEntry* parent = nullptr;                       // null for a drive root
  std::vector<std::unique_ptr<FileEntry>> children;  // in search order
  ProfileSections profile;        // what GetPrivateProfileStringW reads from a file
  std::string installerDatabase;  // host file MsiOpenDatabaseA reads for a file; "" if none
  std::string contents;           // a file's bytes as written through the platform
  bool creationDenied = false;    // a folder in which CreateFileW may not add a file

  // The name GetShortPathNameA gives for this entry.
  const std::u16string& ShortForm() const { return shortName.empty() ? longName : shortName; }
  // The direct child named `name` by its long or its short name, or null.
  FileEntry* FindChild(std::u16string_view name) const;
};

class FileTree {
 public:
  // Adds a folder or file at the absolute `path` ("C:\..."; "C:\" adds a
  // drive), or gives the entry already there `shortName` (when not empty). Missing parents are
  // created as folders without short names. Null when the path is not
  // absolute, names no entry, or runs through a file.
  FileEntry* Add(std::u16string_view path, std::u16string_view shortName, bool isFolder);

  // The entry at the absolute `path`, each component given by its long or
  // short name. Repeated separators ('\' or '/'), a trailing separator, "."
  // and ".." are resolved as Windows normalises a path. Null when absent.
  FileEntry* Find(std::u16string_view path) const;

  // `path` with each component replaced by its short form (by its long
  // name when `shortNamesAvailable` is false), separators kept as written.
  // False when the path is not absolute or a component does not exist.
  bool ShortPath(std::u16string_view path, bool shortNamesAvailable, std::u16string* result) const;

  // Moves `entry` to the front of its folder's search order.
  static void PutFirst(FileEntry* entry);

  // Adds a new entry named `name` at the end of `folder`'s search order;
  // the caller has checked that the name is free.
  static FileEntry* AddChild(FileEntry* folder, std::u16string_view name, bool isFolder);

  // The entry's absolute path by long names ("C:\" for a drive root).
  static std::u16string LongPathOf(const FileEntry& entry);

 private:
  FileEntry* FindDrive(std::u16string_view drive) const;
  FileEntry* AddDrive(std::u16string_view drive);

  std::vector<std::unique_ptr<FileEntry>> drives_;
};

// Whether the unit separates path components.
inline bool IsPathSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_FILE_TREE_H
