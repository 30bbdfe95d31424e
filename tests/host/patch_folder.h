// A simulated machine with a typical patch folder, for the launcher tests:
// C:\Patch Files (short name PATCHF~1) holding Files\, started from there.
#ifndef SETUP_TESTS_HOST_PATCH_FOLDER_H
#define SETUP_TESTS_HOST_PATCH_FOLDER_H

#include <gtest/gtest.h>

#include <string>

#include "shared/patch_folder.h"
#include "shared/run_state.h"
#include "sim/fake_machine.h"
#include "sim/installer_database_builder.h"
#include "sim/scoped_temp_dir.h"

namespace setup::testing {

inline constexpr char kPatchFolder[] = "C:\\Patch Files";
inline constexpr char16_t kShortSourceFolder[] = u"C:\\PATCHF~1\\";

// The run log a run on `machine` writes first, as UTF-8 text.
inline std::string FirstRunLog(const sim::FakeMachine& machine) {
  return machine
      .FileContents(
          u"C:\\Users\\Setup\\AppData\\Local\\Temp\\QuarrixPatchSetup_20261208140307_4242.log")
      .value_or("<no log>");
}

// The log of the latest run that made one.
inline std::string LastRunLog(const sim::FakeMachine& machine) {
  const auto& made = machine.CreatedFiles();
  return made.empty() ? "<no log>" : machine.FileContents(made.back()).value_or("<no log>");
}

class PatchFolderTest : public ::testing::Test {
 protected:
  PatchFolderTest() {
    machine.AddFolder(kPatchFolder, "PATCHF~1");
    machine.AddFolder(std::string(kPatchFolder) + "\\Files");
    machine.SetCurrentDirectory(kPatchFolder);
  }

  void AddPatchFile(const std::string& name, const std::string& shortName = "") {
    machine.AddFile(std::string(kPatchFolder) + "\\Files\\" + name, shortName);
  }

  // Builds a database whose Property table holds `rows` and puts it in the
  // patch folder as `name` (a path relative to the folder).
  void AddDatabase(const std::string& name, const std::vector<sim::PropertyRow>& rows) {
    const std::string hostPath = databases_.File(std::to_string(++databaseCount_) + ".msi");
    sim::BuildDatabaseWithProperties(hostPath, rows);
    machine.AddInstallerDatabase(std::string(kPatchFolder) + "\\" + name, hostPath);
  }

  // Starts the launcher in a folder of 300 characters without short names,
  // too deep for a path of 260 units to be built from it; returns its path.
  std::string StartInFolderTooDeepForAPath() {
    const std::string deep = "C:\\" + std::string(200, 'p') + "\\" + std::string(100, 'q');
    machine.AddFolder(deep);
    machine.SetCurrentDirectory(deep);
    machine.SetShortNamesAvailable(false);
    return deep;
  }

  void TearDown() override {
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
    EXPECT_TRUE(machine.InternalErrors().empty()) << machine.InternalErrors().front();
  }

  // The patch folder as a run captures it, for the steps under test.
  void CaptureFolder() { folder = CapturePatchFolder(machine, run); }

  sim::FakeMachine machine;
  // The log and message policy the steps under test share, as RunSetup would hand them on.
  RunState run;
  PatchFolder folder;

 private:
  sim::ScopedTempDir databases_;
  int databaseCount_ = 0;
};

}  // namespace setup::testing

#endif  // SETUP_TESTS_HOST_PATCH_FOLDER_H
