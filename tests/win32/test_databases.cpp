#include "test_databases.h"

#include "win32_fixtures.h"

namespace setup_test {

std::string DatabasesFolder() { return EnvironmentVariable("SETUP_TEST_DATABASES"); }

std::string DatabaseFolder(const char* caseName) {
  const std::string folder = DatabasesFolder();
  return folder.empty() ? folder : folder + "\\" + caseName;
}

std::string DatabasePath(const char* caseName) {
  const std::string folder = DatabaseFolder(caseName);
  return folder.empty() ? folder : folder + "\\Package.msi";
}

}  // namespace setup_test
