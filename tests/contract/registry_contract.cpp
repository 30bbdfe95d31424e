// The registry rules the launcher's lookups depend on, on a scratch key
// under HKEY_CLASSES_ROOT. String data travels in UTF-16, unconverted: text
// outside the ANSI code page must come back byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "contract/contract_side.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"

namespace setup::contract {
namespace {

const std::uint8_t* Bytes(const char16_t* text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}
std::uint8_t* Bytes(std::string& buffer) { return reinterpret_cast<std::uint8_t*>(&buffer[0]); }

// The size in bytes of `text` with its terminator.
std::uint32_t SizeWithTerminator(const char16_t* text) {
  return static_cast<std::uint32_t>((std::char_traits<char16_t>::length(text) + 1) *
                                    sizeof(char16_t));
}

std::u16string SwapAsciiCase(std::u16string text) {
  for (char16_t& unit : text) {
    if ((unit | 0x20u) >= u'a' && (unit | 0x20u) <= u'z')
      unit = static_cast<char16_t>(unit ^ 0x20u);
  }
  return text;
}

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(side_->KeyPath().empty()) << "scratch key"; }
  void TearDown() override { EXPECT_EQ("", side_->OpenHandles()) << "handles left open"; }

  // Opens the scratch key through the platform under test; `key` owns it.
  Status Open(std::uint32_t access, ScopedRegKey* key) {
    RegKey opened = RegKey{0};
    const Status status =
        platform_.RegOpenKeyExW(HKEY_CLASSES_ROOT, side_->KeyPath().c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS) key->adopt(opened);
    return status;
  }

  std::unique_ptr<ContractSide> side_ = MakeContractSide();
  Platform& platform_ = side_->platform();
};

// Key paths compare without case; an absent key hands out no handle; a
// closed key is closed for good.
TEST_F(RegistryContract, OpenFindsKeysWhateverTheirCase) {
  const std::u16string path = side_->KeyPath();
  const struct {
    const char* what;
    std::u16string path;
    std::uint32_t access;
    Status expected;
  } cases[] = {
      {"for reading", path, KEY_READ, ERROR_SUCCESS},
      {"for reading and writing", path, KEY_READ_WRITE, ERROR_SUCCESS},
      {"in the other case", SwapAsciiCase(path), KEY_READ, ERROR_SUCCESS},
      {"in the other case, for writing", SwapAsciiCase(path), KEY_READ_WRITE, ERROR_SUCCESS},
      {"absent", path + u"\\Absent", KEY_READ, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegKey key = RegKey{0x1234};
    ASSERT_EQ(c.expected,
              platform_.RegOpenKeyExW(HKEY_CLASSES_ROOT, c.path.c_str(), 0, c.access, &key));
    if (c.expected != ERROR_SUCCESS) {
      EXPECT_EQ(RegKey{0}, key) << "no handle is handed out on failure";
      continue;
    }
    EXPECT_NE(RegKey{0}, key) << "a key handle";
    EXPECT_EQ(ERROR_SUCCESS, platform_.RegCloseKey(key)) << "the key closes";
    EXPECT_EQ(ERROR_INVALID_HANDLE, platform_.RegCloseKey(key)) << "a second close is refused";
  }
}

// Values stored from outside, read through the platform: sizes count bytes,
// and data stored without a terminator, or ending in half a unit, comes
// back exactly as stored.
TEST_F(RegistryContract, QueryFollowsTheSizeRules) {
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
  constexpr std::size_t kSlack = 8;
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint32_t stored = c.size != 0 ? c.size : SizeWithTerminator(c.text);
    const std::string storedBytes(reinterpret_cast<const char*>(c.text), stored);
    ASSERT_TRUE(side_->StoreValue(u"Transforms", c.text, stored));

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegQueryValueExW(key.get(), u"Transforms", &type, nullptr, &size))
        << "no buffer asks the size";
    EXPECT_EQ(REG_SZ, type) << "type of a string value";
    EXPECT_EQ(stored, size) << "size needed, in bytes";

    std::string buffer(stored + kSlack, '#');
    type = 0;
    size = stored - 1;
    EXPECT_EQ(ERROR_MORE_DATA,
              platform_.RegQueryValueExW(key.get(), u"Transforms", &type, Bytes(buffer), &size))
        << "one byte short";
    EXPECT_EQ(stored, size) << "size needed after ERROR_MORE_DATA";
    EXPECT_EQ(REG_SZ, type) << "type reported with ERROR_MORE_DATA";
    EXPECT_EQ(std::string(stored + kSlack, '#'), buffer) << "nothing written";

    size = stored;
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegQueryValueExW(key.get(), u"Transforms", nullptr, Bytes(buffer), &size))
        << "a buffer of exactly the stored size suffices";
    EXPECT_EQ(stored, size) << "bytes written";
    EXPECT_EQ(storedBytes + std::string(kSlack, '#'), buffer)
        << "the stored bytes, nothing written after them";

    // With room to spare, a value whose last two bytes are not both zero
    // gets a zero unit after it (an odd size included): not counted in the
    // size, and not there to rely on, as a buffer without room shows.
    const bool unterminated =
        stored >= 2 && (storedBytes[stored - 2] != '\0' || storedBytes[stored - 1] != '\0');
    buffer.assign(stored + kSlack, '#');
    size = static_cast<std::uint32_t>(buffer.size());
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegQueryValueExW(key.get(), u"Transforms", nullptr, Bytes(buffer), &size));
    EXPECT_EQ(stored, size) << "a larger buffer still reports the stored size";
    EXPECT_EQ(storedBytes + (unterminated ? std::string(2, '\0') + std::string(kSlack - 2, '#')
                                          : std::string(kSlack, '#')),
              buffer)
        << "the stored bytes, a zero unit after unterminated data, nothing more";
  }
}

TEST_F(RegistryContract, ValueNamesIgnoreCaseAndAnAbsentValueIsNotFound) {
  ASSERT_TRUE(side_->StoreValue(u"Transforms", u"abc", 8));
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));
  struct Case {
    const char* what;
    const char16_t* name;
    Status expected;
  };
  for (const Case& c : {Case{"as stored", u"Transforms", ERROR_SUCCESS},
                        Case{"another case", u"TRANSFORMS", ERROR_SUCCESS},
                        Case{"absent", u"NoSuchValue", ERROR_FILE_NOT_FOUND}}) {
    SCOPED_TRACE(c.what);
    std::string buffer(8, '#');
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    EXPECT_EQ(c.expected,
              platform_.RegQueryValueExW(key.get(), c.name, nullptr, Bytes(buffer), &size));
    if (c.expected == ERROR_SUCCESS) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(u"abc"), 8), buffer) << "the value";
    } else {
      EXPECT_EQ(std::string(8, '#'), buffer) << "buffer left untouched";
    }
    EXPECT_EQ(8u, size) << "the size of the value, or the size given when there is none";
  }
}

// Values set through the platform, checked from outside: as the launcher
// writes them (with their terminator), and as it copies a value byte for
// byte, where a size that leaves out a terminator sitting in memory right
// after the data has it counted in.
TEST_F(RegistryContract, SetAndDeleteThroughAReadWriteKey) {
  const struct {
    const char* what;
    const char16_t* text;
    std::uint32_t size;    // bytes passed; 0: the whole text and its terminator
    std::uint32_t stored;  // bytes stored; 0: those passed
  } cases[] = {
      {"a path", u"C:\\Patches", 0, 0},
      {"Polish path", u"C:\\Łódź Files\\1031.mst", 0, 0},
      {"Japanese folder", u":予定表\\1041.mst", 0, 0},
      {"empty", u"", 0, 0},
      {"terminator left out of the size", u"abc", 6, 8},
      {"a unit other than zero after the data", u"abcd", 6, 0},
  };
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ_WRITE, &key));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint32_t size = c.size != 0 ? c.size : SizeWithTerminator(c.text);
    const std::uint32_t storedSize = c.stored != 0 ? c.stored : size;
    EXPECT_EQ(ERROR_SUCCESS,
              platform_.RegSetValueExW(key.get(), u"Source", REG_SZ, Bytes(c.text), size));
    std::string stored;
    ASSERT_TRUE(side_->StoredValue(u"Source", &stored)) << "value visible outside";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.text), storedSize), stored)
        << "the bytes set";

    EXPECT_EQ(ERROR_SUCCESS, platform_.RegDeleteValueW(key.get(), u"Source"));
    EXPECT_FALSE(side_->StoredValue(u"Source", &stored)) << "value gone";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform_.RegDeleteValueW(key.get(), u"Source"))
        << "deleting an absent value";
  }
  EXPECT_EQ(ERROR_SUCCESS, key.reset()) << "the key closes";
}

TEST_F(RegistryContract, AKeyOpenedForReadingRefusesWrites) {
  ASSERT_TRUE(side_->StoreValue(u"Source", u"x", 4));
  ScopedRegKey key(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(KEY_READ, &key));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            platform_.RegSetValueExW(key.get(), u"Source", REG_SZ, Bytes(u"y"), 4))
      << "a read-only handle cannot write";
  EXPECT_EQ(ERROR_ACCESS_DENIED, platform_.RegDeleteValueW(key.get(), u"Source"))
      << "a read-only handle cannot delete";
  std::string stored;
  ASSERT_TRUE(side_->StoredValue(u"Source", &stored)) << "the value is still there";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(u"x"), 4), stored) << "and unchanged";
}

}  // namespace
}  // namespace setup::contract
