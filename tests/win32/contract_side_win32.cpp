// The Win32 platform's side of the platform contract (tests/contract): a
// scratch key under HKEY_CLASSES_ROOT and a scratch folder under %TEMP%,
// set up and read with direct Win32 calls (win32_fixtures.h).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "contract/contract_side.h"
#include "platform/win32/win32_platform.h"
#include "win32_fixtures.h"

namespace setup::contract {
namespace {

class Win32Side : public ContractSide {
 public:
  Win32Side()
      : parentKey_(setup_test::UniqueName("SetupPlatformTest-")),
        key_(parentKey_ + "\\Products"),
        savedDirectory_(setup_test::CurrentDirectory()) {
    keyCreated_ = setup_test::CreateClassesRootKey(key_);
  }
  // Failures here count against the test that used the side.
  ~Win32Side() override {
    EXPECT_FALSE(savedDirectory_.empty()) << "current directory readable";
    EXPECT_TRUE(setup_test::ChangeDirectory(savedDirectory_)) << "current directory restored";
    if (keyCreated_) {
      EXPECT_TRUE(setup_test::DeleteClassesRootKey(key_) &&
                  setup_test::DeleteClassesRootKey(parentKey_))
          << "scratch key HKCR\\" << key_ << " removed";
    }
  }

  Platform& platform() override { return platform_; }

  std::u16string KeyPath() const override {
    return keyCreated_ ? setup_test::WidenAnsi(key_) : std::u16string();
  }
  bool StoreValue(const char16_t* name, const char16_t* data, std::uint32_t size) override {
    return setup_test::WriteClassesRootValue(key_, name, data, size);
  }
  bool StoredValue(const char16_t* name, std::string* bytes) override {
    return setup_test::ReadClassesRootValue(key_, name, bytes);
  }

  std::u16string Folder() const override {
    return folder_.created() ? folder_.wide_path() : std::u16string();
  }
  bool AddFile(const char16_t* name, const std::string& content) override {
    return folder_.AddFile(name, content);
  }
  std::u16string PathFor(const char16_t* name) override { return folder_.PathFor(name); }
  bool FileBytes(const std::u16string& path, std::string* bytes) override {
    return setup_test::ReadFileBytes(path, bytes);
  }
  bool IsFolder(const std::u16string& path) override { return setup_test::IsDirectory(path); }
  bool ChangeDirectory(const std::u16string& path) override {
    return setup_test::ChangeDirectory(path);
  }

  std::string OpenHandles() const override { return std::string(); }

 private:
  Win32Platform platform_;
  std::string parentKey_;
  std::string key_;
  bool keyCreated_ = false;
  std::string savedDirectory_;
  setup_test::ScratchFolder folder_{u"Setup Platform Łódź 予定表 "};
};

}  // namespace

std::unique_ptr<ContractSide> MakeContractSide() { return std::make_unique<Win32Side>(); }

}  // namespace setup::contract
