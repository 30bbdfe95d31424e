#include "proof/run_check.h"

#include <algorithm>
#include <iomanip>
#include <set>
#include <sstream>

#include "sim/ascii_case.h"
#include "sim/utf16_bytes.h"

namespace setup::proof {

namespace {

constexpr Status kUnknown = 0xFFFFFFFF;

// What a reader of a string value sees: the UTF-16 text up to the first
// zero unit; an odd last byte is half a unit, no text. None when absent or
// not a string.
std::optional<std::u16string> ReaderText(const std::optional<sim::RegistryValue>& value) {
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
  std::vector<std::uint8_t> whole = value->bytes;
  if (whole.size() % 2 != 0) whole.pop_back();
  std::u16string text = sim::Utf16Text(whole);
  text.erase(std::find(text.begin(), text.end(), u'\0'), text.end());
  return text;
}

// Text for a report: printable ASCII as it is, every other unit escaped.
std::string Printable(std::u16string_view text) {
  std::ostringstream out;
  for (const char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F) {
      out << static_cast<char>(unit);
    } else {
      out << "\\u" << std::hex << std::setw(4) << std::setfill('0') << static_cast<int>(unit)
          << std::dec;
    }
  }
  return out.str();
}

bool SameStored(const std::optional<sim::RegistryValue>& left,
                const std::optional<sim::RegistryValue>& right) {
  if (left.has_value() != right.has_value()) return false;
  return !left || (left->type == right->type && left->bytes == right->bytes);
}

std::string Describe(const std::optional<sim::RegistryValue>& value) {
  if (!value) return "absent";
  std::ostringstream out;
  out << "type " << value->type << " \"" << Printable(sim::Utf16Text(value->bytes)) << "\"";
  return out.str();
}

// The redirection a journal records for a product that had no Transforms:
// after the empty text's zero, "redirected:" and the value, up to the next
// zero. None for any other journal.
std::optional<std::u16string> RecordedRedirection(
    const std::optional<sim::RegistryValue>& journal) {
  if (!journal || journal->type != REG_SZ) return std::nullopt;
  const std::u16string units = sim::Utf16Text(journal->bytes);
  const std::u16string mark = std::u16string(1, u'\0') + u"redirected:";
  if (units.compare(0, mark.size(), mark) != 0) return std::nullopt;
  std::u16string recorded = units.substr(mark.size());
  recorded.erase(std::find(recorded.begin(), recorded.end(), u'\0'), recorded.end());
  if (recorded.empty()) return std::nullopt;
  return recorded;
}

// Whether `text` is a patch folder's redirection: its last two
// backslash-separated parts are "Files" and a language transform the
// launcher ships, ASCII letters in any case.
bool PatchFolderRedirection(const std::u16string& text) {
  const auto lower = [](std::u16string part) {
    for (char16_t& unit : part) unit = unit >= u'A' && unit <= u'Z' ? unit + 32 : unit;
    return part;
  };
  const std::size_t name = text.rfind(u'\\');
  if (name == std::u16string::npos) return false;
  const std::size_t folder = text.rfind(u'\\', name == 0 ? std::u16string::npos : name - 1);
  const std::size_t folderStart = name == 0 || folder == std::u16string::npos ? 0 : folder + 1;
  if (name == 0 || lower(text.substr(folderStart, name - folderStart)) != u"files") return false;
  for (const char16_t* transform :
       {u"1033.mst", u"1043.mst", u"1031.mst", u"1040.mst", u"1041.mst", u"1036.mst", u"1034.mst",
        u"1053.mst", u"1028.mst", u"2052.mst"}) {
    if (lower(text.substr(name + 1)) == transform) return true;
  }
  return false;
}

// The product's own Transforms (text, "" for none, and type) that a run
// finds once it has finished what an earlier run left in a registration
// holding `transforms` and `backup`: a string journal's value, where
// Transforms is absent, reads as the journal (text and type), is the
// redirection a record names or, beside a journal recording none, a patch
// folder's redirection; else the value itself, given to the product since.
// No text when that value is there but is no string.
struct OwnValue {
  std::optional<std::u16string> text;
  std::uint32_t type = REG_SZ;
};
OwnValue OwnAfterRecovery(const std::optional<sim::RegistryValue>& transforms,
                          const std::optional<sim::RegistryValue>& backup) {
  const std::optional<std::u16string> journal = ReaderText(backup);
  const OwnValue value{transforms ? ReaderText(transforms) : std::u16string(),
                       transforms ? transforms->type : REG_SZ};
  if (!journal) return value;
  const auto recorded = RecordedRedirection(backup);
  const OwnValue journals{recorded ? std::u16string() : *journal, recorded ? REG_SZ : backup->type};
  if (!transforms) return journals;
  if (!value.text) return value;
  const bool same = *value.text == *journals.text && value.type == journals.type;
  const bool earlierRuns =
      same || (recorded ? value.text == recorded : PatchFolderRedirection(*value.text));
  return earlierRuns ? journals : value;
}

// The text after the program's name, as the launcher's command tail: the
// name ends at a blank or control character outside quotes.
std::u16string TailOf(const std::u16string& commandLine) {
  std::size_t at = 0;
  bool quoted = false;
  for (; at < commandLine.size() && (quoted || commandLine[at] > u' '); ++at) {
    if (commandLine[at] == u'"') quoted = !quoted;
  }
  while (at < commandLine.size() && commandLine[at] <= u' ') ++at;
  return commandLine.substr(at);
}

bool Holds(const std::u16string& text, const char16_t* units) {
  return text.find_first_of(units) != std::u16string::npos;
}

// The launcher's exit status for an installer that ended with `status`:
// its own 1 is the service guard's, so the installer's 1 reads as 1603; so
// does its 259, which a tool polling the exit code reads as "still running".
Status ReportedInstallerStatus(Status status) {
  return status == 1 || status == 259 ? 1603 : status;
}

std::string ProductName(int row) {
  return "row " + std::to_string(row) + " (" + sim::AsciiText(ProductTable[row].keyword) + ")";
}

class Checker {
 public:
  Checker(const Scenario& scenario, const RegistrationSnapshot& before,
          const sim::FakeMachine& machine, const LauncherRun& run, Faults faults)
      : scenario_(scenario),
        before_(before),
        machine_(machine),
        exit_(run.exitStatus),
        restoredProduct_(run.productPickedLast),
        logPath_(run.logPath),
        faults_(faults) {}

  std::vector<std::string> Run() {
    CheckHandles();
    CheckMessageBoxes();
    CheckInstallerStart();
    const std::set<int> changed = ChangedRows();
    for (int row = 0; row < ProductTableCount; ++row)
      CheckRegistration(row, changed.count(row) != 0);
    CheckExitStatus(changed);
    CheckSummary();
    return std::move(violations_);
  }

 private:
  void Fail(const std::string& what) { violations_.push_back(what); }

  void CheckHandles() {
    if (!machine_.AllHandlesClosed()) Fail("handles left open: " + machine_.OpenHandlesReport());
    for (const std::string& error : machine_.InternalErrors()) Fail("machine error: " + error);
  }

  // A box nobody sees waits for ever. In session 0 no failing call may
  // change that; an invisible station is known only if asking it worked.
  void CheckMessageBoxes() {
    const bool unseen =
        scenario_.serviceSession || (!scenario_.windowStationVisible && faults_ == Faults::None);
    if (unseen && !machine_.MessageBoxes().empty()) {
      Fail("a message box was shown where nobody sees it");
    }
  }

  void CheckInstallerStart() {
    const auto& starts = machine_.ProcessStarts();
    if (starts.size() > 1) Fail("more than one process started");
    if (starts.empty()) return;
    const std::u16string prefix =
        u"/D /E:ON /V:OFF /C " + scenario_.systemDirectory + u"\\msiexec.exe /p ";
    if (starts.front().commandLine.compare(0, prefix.size(), prefix) != 0) {
      Fail(
          "installer command line does not start with the interpreter's switches and the system's "
          "msiexec.exe /p");
    }
  }

  std::set<int> ChangedRows() {
    std::set<int> rows;
    for (const sim::RegistryChange& change : machine_.RegistryChanges()) {
      int found = kNoProduct;
      for (int row = 0; row < ProductTableCount; ++row) {
        if (sim::EqualsIgnoringAsciiCase(change.keyPath, ProductKeyOf(row))) found = row;
      }
      if (found == kNoProduct) {
        Fail("registry written outside the product registrations: " + change.keyPath);
      } else {
        rows.insert(found);
      }
    }
    if (rows.size() > 1) Fail("more than one product's registration changed");
    return rows;
  }

  void CheckRegistration(int row, bool changed) {
    const KeyState& before = before_.keys[static_cast<std::size_t>(row)];
    const std::string keyPath = ProductKeyOf(row);
    const bool exists = machine_.HasKey(keyPath);
    const auto transforms = exists ? machine_.GetRawValue(keyPath, "Transforms") : std::nullopt;
    const auto backup = exists ? machine_.GetRawValue(keyPath, "TransformsBackup") : std::nullopt;
    const std::string name = ProductName(row);
    if (!changed) {
      if (exists != before.exists || !SameStored(transforms, before.transforms) ||
          !SameStored(backup, before.backup)) {
        Fail(name + ": registration changed outside the launcher's own writes");
      }
      return;
    }
    if (before.access != KeyAccess::Full) Fail(name + ": written although the key refuses writing");
    const OwnValue ownValue = OwnAfterRecovery(before.transforms, before.backup);
    const std::optional<std::u16string>& own = ownValue.text;
    // A value the run could not read may be left as it was, its journal
    // finished or kept.
    if (!own && SameStored(transforms, before.transforms)) return;
    if (!own) {
      Fail(name + ": an unreadable Transforms was replaced; it was " + Describe(before.transforms));
      return;
    }
    const bool restored =
        !backup && (transforms ? ReaderText(transforms) == own &&
                                     (own->empty() || transforms->type == ownValue.type)
                               : own->empty());
    if (restored) return;
    // Left for the next run, which finishes it into the own value.
    const OwnValue next = OwnAfterRecovery(transforms, backup);
    const bool recoverable = next.text == own && (own->empty() || next.type == ownValue.type);
    if (faults_ == Faults::Injected && recoverable && exit_ != ERROR_SUCCESS) {
      recoverableRows_ = true;
      return;
    }
    Fail(name + ": own Transforms \"" + Printable(*own) + "\" not restored: Transforms " +
         Describe(transforms) + ", TransformsBackup " + Describe(backup) + ", exit status " +
         std::to_string(exit_));
  }

  // The installer's status as the launcher saw it; kUnknown when no
  // process was started or its end could not be read.
  Status InstallerStatus() const {
    const auto& starts = machine_.ProcessStarts();
    if (starts.empty()) return kUnknown;
    if (starts.front().result != ERROR_SUCCESS) return starts.front().result;
    return starts.front().childRan ? starts.front().exitCode : kUnknown;
  }

  // The registration's status, predicted from the product the run picked:
  // a journal left in a key it cannot write cannot be finished (and a key
  // it cannot write gets no new one).
  Status PredictedRestoreStatus() const {
    if (restoredProduct_ == kNoProduct) return ERROR_SUCCESS;
    const KeyState& key = before_.keys[static_cast<std::size_t>(restoredProduct_)];
    const bool journal =
        key.backup && (key.backup->type == REG_SZ || key.backup->type == REG_EXPAND_SZ);
    return key.exists && key.access == KeyAccess::ReadOnly && journal ? ERROR_ACCESS_DENIED
                                                                      : ERROR_SUCCESS;
  }

  void CheckExitStatus(const std::set<int>& changed) {
    const bool started = !machine_.ProcessStarts().empty();
    if (scenario_.otherLauncherRunning) {
      if (exit_ != ERROR_INSTALL_ALREADY_RUNNING || started || !changed.empty()) {
        Fail("another launcher runs: expected 1618 and nothing touched, got " +
             std::to_string(exit_));
      }
      return;
    }
    if (!started && exit_ == 1 && !changed.empty()) Fail("a blocked run changed the registry");
    const Status installer = InstallerStatus();
    if (exit_ == ERROR_SUCCESS && (installer != ERROR_SUCCESS || recoverableRows_)) {
      Fail("a run whose installer status was " + std::to_string(installer) +
           " or whose restore failed ended with 0");
    }
    if (faults_ == Faults::Injected) return;

    if (ServiceBlocks(scenario_)) {
      if (exit_ != 1 || started || !changed.empty()) {
        Fail("a product service runs: expected 1 and nothing touched, got " +
             std::to_string(exit_));
      }
      return;
    }
    const Status restore = PredictedRestoreStatus();
    if (restore != ERROR_SUCCESS) {
      if (exit_ != restore || started) {
        Fail("an earlier run's journal that cannot be finished should end the run with " +
             std::to_string(restore) + " before the installer starts; exit status " +
             std::to_string(exit_));
      }
    } else if (started) {
      if (exit_ != ReportedInstallerStatus(installer)) {
        Fail("exit status " + std::to_string(exit_) + " is not the installer's " +
             std::to_string(installer));
      }
    } else if (exit_ == ERROR_INVALID_COMMAND_LINE) {
      // Refused, before anything changed, only for a tail holding a line
      // break or a patch path the installer cannot be handed: one holding
      // a quote, a line break or ';' (msiexec /p's list separator).
      const std::u16string folder =
          scenario_.folder ? machine_.ShortPathOf(*scenario_.folder).value_or(*scenario_.folder)
                           : u"";
      bool pathNotCarried = Holds(folder, u"\"\r\n;");
      for (const auto& file : scenario_.packageFiles) {
        pathNotCarried = pathNotCarried || Holds(file.longName, u"\"\r\n;");
      }
      const bool tailNotCarried = Holds(TailOf(scenario_.commandLine), u"\r\n");
      if (!(pathNotCarried || tailNotCarried) || !changed.empty()) {
        Fail(
            "1639 without a line break in the tail or a patch path that cannot be handed on, "
            "or after a change");
      }
    } else if (exit_ != ERROR_INSUFFICIENT_BUFFER && exit_ != ERROR_PATH_NOT_FOUND) {
      Fail("no installer started, yet exit status " + std::to_string(exit_));
    }
  }

  // The value of `key` in the log's Summary line; none without one.
  static std::optional<std::string> SummaryValue(const std::string& summary,
                                                 const std::string& key) {
    const std::size_t at = summary.find(" " + key + "=");
    if (at == std::string::npos) return std::nullopt;
    const std::size_t start = at + key.size() + 2;
    return summary.substr(start, summary.find(' ', start) - start);
  }

  // The log's last line sums up the run the checker judged: its exit
  // status, whether an installer ran, and a product called registered only
  // where its key existed. A fault may cost the log its lines.
  void CheckSummary() {
    const auto log = logPath_.empty() ? std::nullopt : machine_.FileContents(logPath_);
    const std::size_t at = log ? log->rfind(" Summary: ") : std::string::npos;
    if (at == std::string::npos) {
      if (log && faults_ == Faults::None) Fail("the run log has no Summary line");
      return;
    }
    const std::string summary = log->substr(at, log->find('\r', at) - at);
    const auto& starts = machine_.ProcessStarts();
    const bool started = !starts.empty() && starts.front().result == ERROR_SUCCESS;
    const auto product = SummaryValue(summary, "product");
    const bool registeredKey = product && *product != "none" &&
                               before_.keys[static_cast<std::size_t>(std::stoi(*product))].exists;
    if (SummaryValue(summary, "exit") != std::to_string(exit_) ||
        (SummaryValue(summary, "installer") == "none") == started ||
        (SummaryValue(summary, "registered") == "yes" && !registeredKey) ||
        (SummaryValue(summary, "redirected") == "yes" && !started)) {
      Fail("the summary does not sum up the run:" + summary);
    }
  }

  const Scenario& scenario_;
  const RegistrationSnapshot& before_;
  const sim::FakeMachine& machine_;
  const Status exit_;
  const int restoredProduct_;
  const std::u16string logPath_;
  const Faults faults_;
  bool recoverableRows_ = false;
  std::vector<std::string> violations_;
};

}  // namespace

RegistrationSnapshot TakeSnapshot(const Scenario& scenario, const sim::FakeMachine& machine) {
  RegistrationSnapshot snapshot;
  for (int row = 0; row < ProductTableCount; ++row) {
    KeyState& key = snapshot.keys[static_cast<std::size_t>(row)];
    const std::string keyPath = ProductKeyOf(row);
    key.exists = machine.HasKey(keyPath);
    if (!key.exists) continue;
    key.transforms = machine.GetRawValue(keyPath, "Transforms");
    key.backup = machine.GetRawValue(keyPath, "TransformsBackup");
    for (const ProductKey& product : scenario.products) {
      // Restrictions add up when a row is listed more than once.
      if (product.row == row) key.access = std::max(key.access, product.access);
    }
  }
  return snapshot;
}

std::string DescribeRun(const Scenario& scenario, const sim::FakeMachine& machine,
                        const LauncherRun& run) {
  std::ostringstream out;
  out << "  folder: " << (scenario.folder ? Printable(*scenario.folder) : "(none)") << "\n";
  for (const FileName& file : scenario.packageFiles) {
    out << "  package: " << Printable(file.longName) << "\n";
  }
  for (const ProductKey& product : scenario.products) {
    out << "  " << ProductName(product.row) << " access " << static_cast<int>(product.access)
        << ", Transforms "
        << Describe(product.transforms
                        ? std::optional<sim::RegistryValue>(
                              {"", product.transforms->type, product.transforms->bytes})
                        : std::nullopt);
    if (product.backup) {
      out << ", TransformsBackup "
          << Describe(sim::RegistryValue{"", product.backup->type, product.backup->bytes});
    }
    out << "\n";
  }
  out << "  command line: " << scenario.commandLine.size() << " units, system folder "
      << scenario.systemDirectory.size() << " units\n";
  if (scenario.child.startError) out << "  start fails with " << *scenario.child.startError << "\n";
  out << "  processes started: " << machine.ProcessStarts().size()
      << ", product picked last: " << run.productPickedLast
      << ", registry changes: " << machine.RegistryChanges().size() << "\n";
  return out.str();
}

std::vector<std::string> CheckRun(const Scenario& scenario, const RegistrationSnapshot& before,
                                  const sim::FakeMachine& machine, const LauncherRun& run,
                                  Faults faults) {
  return Checker(scenario, before, machine, run, faults).Run();
}

}  // namespace setup::proof
