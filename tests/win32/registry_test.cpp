// The registry rules the launcher's lookups depend on, on a scratch key
// under HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32/win32_platform.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

using setup_test::CreateClassesRootKey;
using setup_test::DeleteClassesRootKey;
using setup_test::ReadClassesRootValue;
using setup_test::WriteClassesRootValue;

const std::uint8_t* Bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keyName_ = setup_test::UniqueName("SetupPlatformTest-");
    ASSERT_TRUE(CreateClassesRootKey(keyName_)) << "scratch key HKCR\\" << keyName_;
  }
  void TearDown() override { EXPECT_TRUE(DeleteClassesRootKey(keyName_)) << "scratch key removed"; }

  // Opens the scratch key through the platform under test; `key` owns it.
  Status Open(std::uint32_t access, ScopedRegKey* key) {
    RegKey opened = RegKey{0};
    const Status status =
        platform_.RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName_.c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS) key->adopt(opened);
    return status;
  }

  Win32Platform platform_;
  std::string keyName_;
};

TEST_F(RegistryTest, OpensAnExistingKeyForReadingAndForReadWrite) {
  for (const std::uint32_t access : {KEY_READ, KEY_READ_WRITE}) {
    RegKey key = RegKey{0};
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName_.c_str(), 0, access, &key))
        << "open with access 0x" << std::hex << access;
    EXPECT_NE(RegKey{0}, key) << "a key handle for access 0x" << std::hex << access;
    EXPECT_EQ(ERROR_SUCCESS, platform_.RegCloseKey(key)) << "the key closes";
  }
}

TEST_F(RegistryTest, OpeningAnAbsentKeyReportsFileNotFoundAndNoHandle) {
  RegKey key = RegKey{0x1234};
  const std::string absent = keyName_ + "\\Absent";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            platform_.RegOpenKeyExA(HKEY_CLASSES_ROOT, absent.c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(RegKey{0}, key) << "no handle is handed out on failure";
}

TEST_F(RegistryTest, QueryFollowsTheSizeRules) {
  static const char kStored[] = ":1031.mst";  // stored with its terminator
  ASSERT_TRUE(WriteClassesRootValue(keyName_, "Transforms", kStored, sizeof kStored));
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));

  // Size only: no buffer, the full size with terminator comes back.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            platform_.RegQueryValueExA(key.get(), "Transforms", &type, nullptr, &size));
  EXPECT_EQ(REG_SZ, type) << "type of a string value";
  EXPECT_EQ(sizeof kStored, size) << "size needed, terminator included";

  // Too small: ERROR_MORE_DATA, and the size needed.
  std::uint8_t small[4] = {};
  size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA,
            platform_.RegQueryValueExA(key.get(), "Transforms", nullptr, small, &size));
  EXPECT_EQ(sizeof kStored, size) << "size needed after ERROR_MORE_DATA";

  // Exactly large enough: the text with its terminator.
  std::uint8_t exact[sizeof kStored] = {};
  size = sizeof exact;
  EXPECT_EQ(ERROR_SUCCESS,
            platform_.RegQueryValueExA(key.get(), "Transforms", nullptr, exact, &size));
  EXPECT_EQ(sizeof kStored, size) << "bytes written";
  EXPECT_EQ(0, std::memcmp(kStored, exact, sizeof kStored)) << "the stored text";

  // Absent value.
  size = sizeof exact;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            platform_.RegQueryValueExA(key.get(), "NoSuchValue", nullptr, exact, &size));
}

TEST_F(RegistryTest, ValueStoredWithoutTerminatorComesBackAsStored) {
  // RegSetValueExA counts a terminator the caller left out when one follows
  // the data in memory; a byte other than zero after it keeps the value bare.
  ASSERT_TRUE(WriteClassesRootValue(keyName_, "Bare", "abcd", 3));
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));

  std::uint32_t size = 0;
  EXPECT_EQ(ERROR_SUCCESS, platform_.RegQueryValueExA(key.get(), "Bare", nullptr, nullptr, &size));
  EXPECT_EQ(3u, size) << "size needed counts no terminator";

  std::uint8_t data[8];
  std::memset(data, 'X', sizeof data);
  size = 3;
  EXPECT_EQ(ERROR_SUCCESS, platform_.RegQueryValueExA(key.get(), "Bare", nullptr, data, &size))
      << "a buffer of exactly the stored size suffices";
  EXPECT_EQ(3u, size) << "bytes written";
  EXPECT_EQ(0, std::memcmp("abcX", data, 4)) << "the stored bytes, nothing written after them";

  size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, platform_.RegQueryValueExA(key.get(), "Bare", nullptr, data, &size));
  EXPECT_EQ(3u, size) << "a larger buffer still reports the stored size";
}

TEST_F(RegistryTest, SetAndDeleteThroughAReadWriteKey) {
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ_WRITE, &key));

  static const char kText[] = "C:\\Patches";
  EXPECT_EQ(ERROR_SUCCESS,
            platform_.RegSetValueExA(key.get(), "Source", REG_SZ, Bytes(kText), sizeof kText));
  std::string stored;
  ASSERT_TRUE(ReadClassesRootValue(keyName_, "Source", &stored)) << "value visible outside";
  EXPECT_EQ(std::string(kText, sizeof kText), stored) << "the bytes set";

  EXPECT_EQ(ERROR_SUCCESS, platform_.RegDeleteValueA(key.get(), "Source"));
  EXPECT_FALSE(ReadClassesRootValue(keyName_, "Source", &stored)) << "value gone";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform_.RegDeleteValueA(key.get(), "Source"))
      << "deleting an absent value";
  EXPECT_EQ(ERROR_SUCCESS, key.reset()) << "the key closes";
}

TEST_F(RegistryTest, AKeyOpenedForReadingRefusesWrites) {
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            platform_.RegSetValueExA(key.get(), "Source", REG_SZ, Bytes("x"), 2));
}

}  // namespace
}  // namespace setup
