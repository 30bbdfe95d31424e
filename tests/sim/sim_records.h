// What the simulated machine records of the launcher's calls, for tests to
// inspect, and the shape of a child program.
#ifndef SETUP_TESTS_SIM_SIM_RECORDS_H
#define SETUP_TESTS_SIM_SIM_RECORDS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/fault_plan.h"

namespace setup::sim {

class FakeMachine;

// A program started by CreateProcessW. It runs when the launcher waits on
// its process, may read and change the machine meanwhile, and returns the
// process's exit code.
using ChildProgram = std::function<std::uint32_t(FakeMachine&)>;

// One value written or deleted through the platform; test set-up is not
// recorded.
struct RegistryChange {
  enum class Kind { Set, Delete };
  Kind kind = Kind::Set;
  std::string keyPath;              // below HKEY_CLASSES_ROOT, as the key was created
  std::string valueName;            // as passed; "" for the default value
  std::uint32_t type = 0;           // for Set
  std::vector<std::uint8_t> bytes;  // for Set, exactly as given
};

// One OpenServiceA call, failed ones included.
struct ServiceOpenRequest {
  std::string name;  // as passed
  std::uint32_t access = 0;
};

// One CreateProcessW call, failed ones included.
struct ProcessStart {
  std::u16string applicationName;   // empty when null was passed
  std::u16string commandLine;       // empty when null was passed
  bool commandLineGiven = false;    // false when null was passed
  std::u16string currentDirectory;  // empty when null was passed
  std::uint32_t creationFlags = 0;
  StartupInfo startupInfo;
  Status result = ERROR_SUCCESS;          // what CreateProcessW returned
  bool childRan = false;                  // the launcher waited, so the child ran
  std::uint32_t exitCode = STILL_ACTIVE;  // the child's exit code once it ran
};

// One MessageBoxW call.
struct MessageBoxCall {
  WindowHandle owner = NO_OWNER_WINDOW;
  std::u16string text;     // empty when null was passed
  std::u16string caption;  // empty when null was passed
  std::uint32_t style = 0;
};

// One call of an installer entry (MsiOpenDatabaseA .. MsiCloseHandle),
// failed ones included.
struct InstallerCall {
  Operation operation = Operation::MsiOpenDatabaseW;
  std::string text;               // the database path or the query, in UTF-8; else empty
  std::uint32_t persistMode = 0;  // for MsiOpenDatabaseW
  std::uint32_t field = 0;        // for MsiRecordGetStringW
  Status result = ERROR_SUCCESS;  // what the entry returned
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_SIM_RECORDS_H
