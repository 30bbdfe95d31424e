// Setup.exe's manifest and version information, read back from the built
// program the way Windows reads them.
#include <gtest/gtest.h>

#include <string>

#include "win32_fixtures.h"

namespace setup {
namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setupExe_ = setup_test::EnvironmentVariable("SETUP_EXE_UNDER_TEST");
    if (setupExe_.empty()) GTEST_SKIP() << "SETUP_EXE_UNDER_TEST names no Setup.exe";
  }

  std::string setupExe_;
};

TEST_F(ResourcesTest, ManifestAsksForAdministratorAndNamesWindows7To11) {
  const std::string manifest = setup_test::ManifestOf(setupExe_);
  ASSERT_FALSE(manifest.empty()) << "no manifest resource";
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos) << manifest;
  for (const char* id : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   // Windows 7
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // Windows 8
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // Windows 8.1
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})  // Windows 10 and 11
  {
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos)
        << "supportedOS " << id;
  }
}

TEST_F(ResourcesTest, VersionInformationCarriesTheProjectVersion) {
  const setup_test::VersionInformation version = setup_test::VersionOf(setupExe_);
  ASSERT_TRUE(version.present) << "no version resource";
  EXPECT_EQ(version.fileVersion, SETUP_EXPECTED_VERSION ".0");
  EXPECT_EQ(version.productVersion, SETUP_EXPECTED_VERSION);
  EXPECT_EQ(version.fixedFileVersion, SETUP_EXPECTED_VERSION ".0");
  EXPECT_EQ(version.productName, "Quarrix Patch Setup");
  EXPECT_FALSE(version.fileDescription.empty());
  EXPECT_EQ(version.originalFilename, "Setup.exe");
}

}  // namespace
}  // namespace setup
