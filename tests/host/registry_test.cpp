#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/fake_machine.h"
#include "sim/utf16_bytes.h"

namespace setup {
namespace {

using sim::FakeMachine;
using sim::Operation;

constexpr char kKey[] = "Installer\\Products\\ABC";
constexpr char16_t kWideKey[] = u"Installer\\Products\\ABC";

class RegistryStringTest : public ::testing::Test {
 protected:
  Status Read(const char16_t* name, std::u16string& value) {
    ScopedRegKey key(machine);
    const Status opened = OpenClassesRootKey(machine, kWideKey, KEY_READ, key);
    if (opened != ERROR_SUCCESS) return opened;
    StoredString stored;
    static_cast<void>(stored.units.assign(u"stale"));
    const Status status = ReadStoredString(machine, key.get(), name, stored);
    value.assign(stored.units.c_str(), stored.TextLength());
    return status;
  }

  void TearDown() override {
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
  }

  FakeMachine machine;
};

TEST_F(RegistryStringTest, ReadsValuesOfAnyLength) {
  for (std::size_t length : {0u, 1u, 259u, 260u, 5000u}) {
    const std::u16string stored = std::u16string(length, u'\u0142');
    machine.SetString(kKey, "Transforms", stored);
    std::u16string value = u"stale";
    EXPECT_EQ(Read(u"Transforms", value), ERROR_SUCCESS) << length;
    EXPECT_EQ(value, stored) << length;
  }
}

TEST_F(RegistryStringTest, DataWithoutTerminatorEndsAtItsLastWholeUnit) {
  machine.SetRawValue(kKey, "Transforms", REG_SZ, sim::Utf16Bytes(u":1031", false));
  std::u16string value;
  EXPECT_EQ(Read(u"Transforms", value), ERROR_SUCCESS);
  EXPECT_EQ(value, u":1031");
  std::vector<std::uint8_t> odd = sim::Utf16Bytes(u":1031", false);
  odd.push_back('x');
  machine.SetRawValue(kKey, "Transforms", REG_SZ, odd);
  EXPECT_EQ(Read(u"Transforms", value), ERROR_SUCCESS);
  EXPECT_EQ(value, u":1031") << "half a unit is no text";
}

TEST_F(RegistryStringTest, TextEndsAtTheFirstZero) {
  machine.SetRawValue(kKey, "Transforms", REG_SZ, sim::Utf16Bytes(std::u16string(u"a\0b", 3)));
  std::u16string value;
  EXPECT_EQ(Read(u"Transforms", value), ERROR_SUCCESS);
  EXPECT_EQ(value, u"a");
}

TEST_F(RegistryStringTest, FailuresLeaveTheValueEmpty) {
  machine.AddKey(kKey);
  std::u16string value = u"stale";
  EXPECT_EQ(Read(u"Transforms", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, u"");

  machine.SetRawValue(kKey, "Number", 4 /* REG_DWORD */, {1, 0, 0, 0});
  EXPECT_EQ(Read(u"Number", value), ERROR_INVALID_DATATYPE);

  machine.SetString(kKey, "Transforms", ":1031.mst");
  machine.FailCall(Operation::RegQueryValueExW, ERROR_ACCESS_DENIED, 2);
  EXPECT_EQ(Read(u"Transforms", value), ERROR_ACCESS_DENIED) << "the read after the size query";
  EXPECT_EQ(value, u"");
}

// Chased for ever, a value another program keeps rewriting would hang the run.
TEST_F(RegistryStringTest, ValueThatKeepsGrowingIsGivenUp) {
  machine.SetString(kKey, "Transforms", ":1031.mst");
  machine.GrowOnEveryQuery(kKey, "Transforms", 1);
  std::u16string value;
  EXPECT_EQ(Read(u"Transforms", value), ERROR_MORE_DATA);
  EXPECT_EQ(value, u"");
  EXPECT_EQ(machine.CallCount(Operation::RegQueryValueExW), 5u) << "the size, then four reads";
}

TEST_F(RegistryStringTest, KeyIsHeldOnlyWhenItOpened) {
  ScopedRegKey key(machine);
  EXPECT_EQ(OpenClassesRootKey(machine, u"Installer\\Products\\Missing", KEY_READ, key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(key.valid());
  machine.AddKey(kKey);
  machine.DenyRead(kKey);
  EXPECT_EQ(OpenClassesRootKey(machine, kWideKey, KEY_READ, key), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(key.valid());
}

}  // namespace
}  // namespace setup
