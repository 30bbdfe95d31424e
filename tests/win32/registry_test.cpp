// The registry rules the launcher's lookups depend on, on a scratch key
// under HKEY_CLASSES_ROOT. String data travels in UTF-16, unconverted: text
// outside the ANSI code page must come back byte for byte.
#include <gtest/gtest.h>

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

const std::uint8_t* Bytes(const char16_t* text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}
std::uint8_t* Bytes(std::string& buffer) { return reinterpret_cast<std::uint8_t*>(&buffer[0]); }

// The size in bytes of `text` with its terminator.
std::uint32_t SizeWithTerminator(const char16_t* text) {
  return static_cast<std::uint32_t>((std::char_traits<char16_t>::length(text) + 1) *
                                    sizeof(char16_t));
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keyName_ = setup_test::UniqueName("SetupPlatformTest-");
    wideKeyName_ = setup_test::WidenAnsi(keyName_);
    ASSERT_TRUE(CreateClassesRootKey(keyName_)) << "scratch key HKCR\\" << keyName_;
  }
  void TearDown() override { EXPECT_TRUE(DeleteClassesRootKey(keyName_)) << "scratch key removed"; }

  // Opens the scratch key through the platform under test; `key` owns it.
  Status Open(std::uint32_t access, ScopedRegKey* key) {
    RegKey opened = RegKey{0};
    const Status status =
        platform_.RegOpenKeyExW(HKEY_CLASSES_ROOT, wideKeyName_.c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS) key->adopt(opened);
    return status;
  }

  Win32Platform platform_;
  std::string keyName_;
  std::u16string wideKeyName_;
};

TEST_F(RegistryTest, OpensAnExistingKeyForReadingAndForReadWrite) {
  for (const std::uint32_t access : {KEY_READ, KEY_READ_WRITE}) {
    RegKey key = RegKey{0};
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegOpenKeyExW(HKEY_CLASSES_ROOT, wideKeyName_.c_str(), 0, access, &key))
        << "open with access 0x" << std::hex << access;
    EXPECT_NE(RegKey{0}, key) << "a key handle for access 0x" << std::hex << access;
    EXPECT_EQ(ERROR_SUCCESS, platform_.RegCloseKey(key)) << "the key closes";
  }
}

TEST_F(RegistryTest, OpeningAnAbsentKeyReportsFileNotFoundAndNoHandle) {
  RegKey key = RegKey{0x1234};
  const std::u16string absent = wideKeyName_ + u"\\Absent";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            platform_.RegOpenKeyExW(HKEY_CLASSES_ROOT, absent.c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(RegKey{0}, key) << "no handle is handed out on failure";
}

// Values stored from outside, read through the platform: sizes count bytes,
// and data stored without a terminator, or ending in half a unit, comes
// back exactly as stored.
TEST_F(RegistryTest, QueryFollowsTheSizeRules) {
  const struct {
    const char* what;
    const char16_t* text;
    std::uint32_t size;  // bytes stored; 0: the whole text and its terminator
  } cases[] = {
      {"the launcher's own value", u":1031.mst", 0},
      {"Polish path", u"C:\\Łódź Files\\1031.mst", 0},
      {"Japanese folder", u":予定表\\1041.mst", 0},
      {"empty: the product had none", u"", 0},
      // A unit other than zero follows the stored ones, so no terminator is
      // counted in on the caller's behalf.
      {"no terminator", u"abcd", 6},
      {"odd size", u"abcd", 7},
  };
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint32_t stored = c.size != 0 ? c.size : SizeWithTerminator(c.text);
    const std::string storedBytes(reinterpret_cast<const char*>(c.text), stored);
    ASSERT_TRUE(WriteClassesRootValue(keyName_, u"Transforms", c.text, stored));

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegQueryValueExW(key.get(), u"Transforms", &type, nullptr, &size))
        << "no buffer asks the size";
    EXPECT_EQ(REG_SZ, type) << "type of a string value";
    EXPECT_EQ(stored, size) << "size needed, in bytes";

    std::string buffer(stored + 8, '#');
    size = stored - 1;
    EXPECT_EQ(ERROR_MORE_DATA,
              platform_.RegQueryValueExW(key.get(), u"Transforms", nullptr, Bytes(buffer), &size));
    EXPECT_EQ(stored, size) << "size needed after ERROR_MORE_DATA";

    buffer.assign(stored + 8, '#');
    size = stored;
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegQueryValueExW(key.get(), u"Transforms", nullptr, Bytes(buffer), &size))
        << "a buffer of exactly the stored size suffices";
    EXPECT_EQ(stored, size) << "bytes written";
    EXPECT_EQ(storedBytes + std::string(8, '#'), buffer)
        << "the stored bytes, nothing written after them";

    size = static_cast<std::uint32_t>(buffer.size());
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegQueryValueExW(key.get(), u"Transforms", nullptr, Bytes(buffer), &size));
    EXPECT_EQ(stored, size) << "a larger buffer still reports the stored size";
  }

  std::string buffer(8, '#');
  std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            platform_.RegQueryValueExW(key.get(), u"NoSuchValue", nullptr, Bytes(buffer), &size));
}

// Values set through the platform, as the launcher writes them (with their
// terminator), checked from outside.
TEST_F(RegistryTest, SetAndDeleteThroughAReadWriteKey) {
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ_WRITE, &key));
  for (const char16_t* text :
       {u"C:\\Patches", u"C:\\Łódź Files\\1031.mst", u":予定表\\1041.mst", u""}) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(text)));
    const std::uint32_t size = SizeWithTerminator(text);
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegSetValueExW(key.get(), u"Source", REG_SZ, Bytes(text), size));
    std::string stored;
    ASSERT_TRUE(ReadClassesRootValue(keyName_, u"Source", &stored)) << "value visible outside";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), size), stored) << "the bytes set";

    EXPECT_EQ(ERROR_SUCCESS, platform_.RegDeleteValueW(key.get(), u"Source"));
    EXPECT_FALSE(ReadClassesRootValue(keyName_, u"Source", &stored)) << "value gone";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform_.RegDeleteValueW(key.get(), u"Source"))
        << "deleting an absent value";
  }
  EXPECT_EQ(ERROR_SUCCESS, key.reset()) << "the key closes";
}

TEST_F(RegistryTest, AKeyOpenedForReadingRefusesWrites) {
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            platform_.RegSetValueExW(key.get(), u"Source", REG_SZ, Bytes(u"x"), 4));
}

}  // namespace
}  // namespace setup
