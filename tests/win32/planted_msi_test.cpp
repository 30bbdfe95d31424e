// Setup.exe runs from download folders. An msi.dll planted beside it or in
// the current directory must never be loaded: the installer calls take the
// system's msi.dll only, and only once they are first made.
//
// Meaningful only in the layout run_under_wine.sh builds for this suite: the
// canary msi.dll (canary/) beside this program and in the current directory,
// SETUP_CANARY_MARKER naming the file the canary writes when loaded, Wine
// told to prefer native msi.dll, and a search order that reaches the current
// directory before the system folder. Skipped without SETUP_CANARY_MARKER.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/language_pack_package.h"
#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "test_databases.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

constexpr char kLoaderName[] = "careless_msi_loader.exe";
constexpr std::uint32_t kChildTimeoutMs = 60000;

class PlantedMsiDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    marker_ = setup_test::EnvironmentVariable("SETUP_CANARY_MARKER");
    if (marker_.empty()) GTEST_SKIP() << "needs the planted layout of run_under_wine.sh";
    programFolder_ = setup_test::ExecutableFolder();
    currentDirectory_ = setup_test::CurrentDirectory();
    ASSERT_TRUE(setup_test::FileExists(programFolder_ + "\\msi.dll"))
        << "canary beside the test program in " << programFolder_;
    ASSERT_TRUE(setup_test::FileExists(currentDirectory_ + "\\msi.dll"))
        << "canary in the current directory " << currentDirectory_;
    ASSERT_NE(setup_test::LowerAscii(setup_test::WidenAnsi(programFolder_)),
              setup_test::LowerAscii(setup_test::WidenAnsi(currentDirectory_)))
        << "two distinct plants";
    ASSERT_TRUE(setup_test::RemoveFile(marker_)) << "no marker left from before";
  }

  // What the canary wrote: one line per load, naming the loaded copy.
  std::u16string MarkerText() const {
    return setup_test::LowerAscii(setup_test::ReadUtf16File(marker_));
  }

  // The canary's marker line for the copy in `folder`.
  static std::u16string MarkerLineFor(const std::string& folder) {
    return setup_test::LowerAscii(setup_test::WidenAnsi(folder + "\\msi.dll")) + u"\r\n";
  }

  // Runs the careless loader at `loaderPath` in this process's current
  // directory; whether it ran and loaded a DLL. Raw Win32, not the platform:
  // this process must hold no platform before the suite's other test.
  static ::testing::AssertionResult RunCarelessLoader(const std::string& loaderPath) {
    std::uint32_t exitCode = 0;
    if (!setup_test::RunToExit(loaderPath, kChildTimeoutMs, &exitCode)) {
      return ::testing::AssertionFailure() << "did not run to its end";
    }
    if (exitCode != 0) return ::testing::AssertionFailure() << "load failed: " << exitCode;
    return ::testing::AssertionSuccess();
  }

  std::string marker_;
  std::string programFolder_;
  std::string currentDirectory_;
};

// The control: a plain LoadLibraryA("msi.dll") does take each planted copy
// here. Without it, the test below could pass for want of a live plant.
TEST_F(PlantedMsiDllTest, CarelessLoadsTakeEachPlantedCopy) {
  EXPECT_TRUE(RunCarelessLoader(programFolder_ + "\\" + kLoaderName)) << "loader beside the canary";
  EXPECT_EQ(MarkerLineFor(programFolder_), MarkerText())
      << "the copy beside the program is taken first";

  ASSERT_TRUE(setup_test::RemoveFile(marker_));
  setup_test::ScratchFolder loaderAlone("Setup Careless Loader ");
  ASSERT_TRUE(loaderAlone.created());
  ASSERT_TRUE(loaderAlone.AddCopy(kLoaderName, programFolder_ + "\\" + kLoaderName));
  EXPECT_TRUE(RunCarelessLoader(loaderAlone.path() + "\\" + kLoaderName))
      << "loader with no DLL beside it";
  EXPECT_EQ(MarkerLineFor(currentDirectory_), MarkerText())
      << "the copy in the current directory is taken next";
}

TEST_F(PlantedMsiDllTest, InstallerCallsLoadTheSystemCopyOnlyAndOnlyWhenMade) {
  ASSERT_EQ(u"", setup_test::LoadedModulePath(L"msi.dll"))
      << "precondition: no msi.dll in this process yet";
  Win32Platform platform;
  EXPECT_EQ(u"", setup_test::LoadedModulePath(L"msi.dll")) << "the platform loads it lazily";

  {
    const std::u16string path =
        setup_test::WidenAnsi(setup_test::DatabasePath(setup_test::database::kLanguagePackOne));
    PackageQuery query(platform, path.c_str(), kLanguagePackQuery, 0);
    EXPECT_EQ(ERROR_SUCCESS, query.status()) << "the real msi.dll opened and executed";
    query.fieldNumber = 2;
    WideChar value[kMaxPath] = {};
    std::uint32_t count = kMaxPath;
    EXPECT_EQ(ERROR_SUCCESS, query.FetchString(value, &count)) << "the real msi.dll fetched";
    EXPECT_EQ(u"1", std::u16string(value)) << "the real msi.dll read the value";
  }

  EXPECT_EQ(u"", MarkerText()) << "no planted msi.dll was loaded";
  const std::u16string loadedFolder =
      setup_test::LowerAscii(setup_test::FolderOf(setup_test::LoadedModulePath(L"msi.dll")));
  const std::vector<std::u16string> systemFolders = setup_test::SystemFolderForms();
  EXPECT_NE(systemFolders.end(),
            std::find(systemFolders.begin(), systemFolders.end(), loadedFolder))
      << "msi.dll came from the system folder, not " << ::testing::PrintToString(loadedFolder);
}

}  // namespace
}  // namespace setup
