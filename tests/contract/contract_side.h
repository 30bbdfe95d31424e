// The platform contract: registry and file cases written once and run
// against both implementations of the seam, the Win32 platform under Wine
// (win32_platform_tests) and the simulated machine (host_tests). A launcher
// test passing on the simulated machine means something only where the two
// agree; these cases are where that agreement is checked.
//
// Each test binary defines MakeContractSide() for its own side: the
// platform under test, with the scene set up and checked from outside it.
#ifndef SETUP_TESTS_CONTRACT_CONTRACT_SIDE_H
#define SETUP_TESTS_CONTRACT_CONTRACT_SIDE_H

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace setup::contract {

class ContractSide {
 public:
  virtual ~ContractSide() = default;

  virtual Platform& platform() = 0;

  // Registry ------------------------------------------------------------------
  // A scratch key under HKEY_CLASSES_ROOT, two levels deep, that exists for
  // the side's lifetime; empty when it could not be made.
  virtual std::u16string KeyPath() const = 0;
  // Stores `size` bytes of `data` in the scratch key as a REG_SZ value,
  // from outside the platform, converting nothing.
  virtual bool StoreValue(const char16_t* name, const char16_t* data, std::uint32_t size) = 0;
  // The value's bytes as stored, read from outside; false when it is absent.
  virtual bool StoredValue(const char16_t* name, std::string* bytes) = 0;

  // Files and folders -----------------------------------------------------------
  // A scratch folder whose name holds a blank and letters outside the ANSI
  // code page, without a trailing backslash; empty when it could not be made.
  virtual std::u16string Folder() const = 0;
  // Writes `content` to `<Folder()>\<name>` from outside; true on success.
  virtual bool AddFile(const char16_t* name, const std::string& content) = 0;
  // `<Folder()>\<name>`, for a file the platform is to make; removed with
  // the folder if it was made.
  virtual std::u16string PathFor(const char16_t* name) = 0;
  // The file's bytes, read from outside while others may hold it open;
  // false when there is no file.
  virtual bool FileBytes(const std::u16string& path, std::string* bytes) = 0;
  virtual bool IsFolder(const std::u16string& path) = 0;
  // Makes `path` the process's current directory; true on success. The
  // side restores the one it found when it goes.
  virtual bool ChangeDirectory(const std::u16string& path) = 0;

  // Handles of the platform still open, for a failure message; empty when
  // none is, or where the side cannot count them (Windows keeps no count a
  // test could read without counting its own too).
  virtual std::string OpenHandles() const = 0;
};

std::unique_ptr<ContractSide> MakeContractSide();

}  // namespace setup::contract

#endif  // SETUP_TESTS_CONTRACT_CONTRACT_SIDE_H
