#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/fake_machine.h"

namespace setup {
namespace {

using sim::FakeMachine;
using sim::Operation;

constexpr char kKey[] = "Installer\\Products\\ABC";

class RegistryStringTest : public ::testing::Test {
 protected:
  Status Read(const char* name, std::string& value) {
    ScopedRegKey key(machine);
    const Status opened = OpenClassesRootKey(machine, kKey, KEY_READ, key);
    if (opened != ERROR_SUCCESS) return opened;
    HeapText text;
    static_cast<void>(text.assign("stale"));
    const Status status = ReadRegistryString(machine, key.get(), name, text);
    value.assign(text.c_str(), text.size());
    return status;
  }

  void TearDown() override {
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
  }

  FakeMachine machine;
};

TEST_F(RegistryStringTest, ReadsValuesOfAnyLength) {
  for (std::size_t length : {0u, 1u, 259u, 260u, 5000u}) {
    const std::string stored = std::string(length, 'x');
    machine.SetString(kKey, "Transforms", stored);
    std::string value = "stale";
    EXPECT_EQ(Read("Transforms", value), ERROR_SUCCESS) << length;
    EXPECT_EQ(value, stored) << length;
  }
}

TEST_F(RegistryStringTest, DataWithoutTerminatorEndsAtItsLastByte) {
  machine.SetRawValue(kKey, "Transforms", REG_SZ, {':', '1', '0', '3', '1'});
  std::string value;
  EXPECT_EQ(Read("Transforms", value), ERROR_SUCCESS);
  EXPECT_EQ(value, ":1031");
}

TEST_F(RegistryStringTest, TextEndsAtTheFirstZero) {
  machine.SetRawValue(kKey, "Transforms", REG_SZ, {'a', 0, 'b', 0});
  std::string value;
  EXPECT_EQ(Read("Transforms", value), ERROR_SUCCESS);
  EXPECT_EQ(value, "a");
}

TEST_F(RegistryStringTest, FailuresLeaveTheValueEmpty) {
  machine.AddKey(kKey);
  std::string value = "stale";
  EXPECT_EQ(Read("Transforms", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, "");

  machine.SetRawValue(kKey, "Number", 4 /* REG_DWORD */, {1, 0, 0, 0});
  EXPECT_EQ(Read("Number", value), ERROR_INVALID_DATATYPE);

  machine.SetString(kKey, "Transforms", ":1031.mst");
  machine.FailCall(Operation::RegQueryValueExA, ERROR_ACCESS_DENIED, 2);
  EXPECT_EQ(Read("Transforms", value), ERROR_ACCESS_DENIED) << "the read after the size query";
  EXPECT_EQ(value, "");
}

TEST_F(RegistryStringTest, KeyIsHeldOnlyWhenItOpened) {
  ScopedRegKey key(machine);
  EXPECT_EQ(OpenClassesRootKey(machine, "Installer\\Products\\Missing", KEY_READ, key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(key.valid());
  machine.AddKey(kKey);
  machine.DenyRead(kKey);
  EXPECT_EQ(OpenClassesRootKey(machine, kKey, KEY_READ, key), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(key.valid());
}

}  // namespace
}  // namespace setup
