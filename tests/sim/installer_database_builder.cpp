#include "sim/installer_database_builder.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace setup::sim {
namespace {

constexpr std::size_t kMaxPropertyName = 72;

// Runs msibuild with `arguments` after the database path and waits for it.
// msibuild runs in a process of its own: libmsi leaks while it writes, and
// the test process's leak check must not see that.
void RunMsibuild(const std::string& hostPath, const std::vector<std::string>& arguments) {
  if (std::filesystem::exists(hostPath)) {
    throw std::invalid_argument("database file exists already: " + hostPath);
  }
  std::vector<std::string> words{SETUP_MSIBUILD_PATH, hostPath};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    throw std::runtime_error("cannot start " + words[0] + ": " +
                             std::system_category().message(spawned));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("lost msibuild building " + hostPath);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !std::filesystem::exists(hostPath)) {
    throw std::runtime_error("msibuild failed to build " + hostPath);
  }
}

void CheckCell(const std::string& text, const char* what) {
  if (text.empty()) throw std::invalid_argument(std::string("empty ") + what);
  if (text.find_first_of("\t\r\n") != std::string::npos) {
    throw std::invalid_argument(std::string(what) + " holds a tab or line break: " + text);
  }
}

}  // namespace

void BuildDatabaseWithProperties(const std::string& hostPath,
                                 const std::vector<PropertyRow>& rows) {
  // The table as an exported text table: names, types, table and key, rows.
  std::string table = "Property\tValue\r\ns72\tl0\r\nProperty\tProperty\r\n";
  for (const PropertyRow& row : rows) {
    CheckCell(row.name, "property name");
    CheckCell(row.value, "property value");
    if (row.name.size() > kMaxPropertyName) {
      throw std::invalid_argument("property name longer than 72: " + row.name);
    }
    table += row.name + "\t" + row.value + "\r\n";
  }
  const std::string tablePath = hostPath + ".Property.idt";
  {
    std::ofstream out(tablePath, std::ios::binary | std::ios::trunc);
    out << table;
    if (!out.flush()) throw std::runtime_error("cannot write " + tablePath);
  }
  struct RemoveTable {
    const std::string& path;
    ~RemoveTable() { std::remove(path.c_str()); }
  } removeTable{tablePath};
  RunMsibuild(hostPath, {"-i", tablePath});
}

void BuildDatabaseWithoutPropertyTable(const std::string& hostPath) {
  RunMsibuild(hostPath,
              {"-q", "CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL PRIMARY KEY `Feature`)"});
}

}  // namespace setup::sim
