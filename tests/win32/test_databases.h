// The installer databases that make_test_databases.sh builds with msibuild
// before the tests run (run_under_wine.sh): one folder per case under the
// folder named by SETUP_TEST_DATABASES, each holding one Package.msi.
#ifndef SETUP_TESTS_WIN32_TEST_DATABASES_H
#define SETUP_TESTS_WIN32_TEST_DATABASES_H

#include <string>

namespace setup_test {

// The case folders, as make_test_databases.sh names them.
namespace database {
constexpr char kLanguagePackOne[] = "language-pack-1";             // LanguagePackInstaller "1"
constexpr char kLanguagePackZero[] = "language-pack-0";            // "0"
constexpr char kLanguagePackBlankOne[] = "language-pack-blank-1";  // " 1"
constexpr char kLanguagePackLong[] = "language-pack-long";         // "1" and 299 zeros
constexpr char kNoLanguagePackRow[] = "no-language-pack-row";      // Property table, no such row
constexpr char kNoPropertyTable[] = "no-property-table";           // system tables only
constexpr char kNotADatabase[] = "not-a-database";                 // a text file
constexpr char kAbsent[] = "absent";  // not made: the folder and file do not exist
}  // namespace database

// The length of the value in kLanguagePackLong.
constexpr unsigned kLongValueLength = 300;

// The folder of all cases (Windows form); empty when SETUP_TEST_DATABASES
// is unset.
std::string DatabasesFolder();
// The folder of case `caseName`; empty when the variable is unset.
std::string DatabaseFolder(const char* caseName);
// `<case folder>\Package.msi`; empty when the variable is unset.
std::string DatabasePath(const char* caseName);

}  // namespace setup_test

#endif  // SETUP_TESTS_WIN32_TEST_DATABASES_H
