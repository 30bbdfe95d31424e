#include "proof/run_check.h"

#include <algorithm>
#include <iomanip>
#include <set>
#include <sstream>

#include "proof/product_model.h"
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

// Per row: whether its registration opens for reading, which the rows
// before the language-pack rows need to be picked.
RowFlags ReadableRegistrations(const RegistrationSnapshot& before) {
  RowFlags readable{};
  for (std::size_t row = 0; row < readable.size(); ++row) {
    readable[row] = before.keys[row].exists && before.keys[row].access != KeyAccess::Denied;
  }
  return readable;
}

std::string RowName(int row) { return row == kNoProduct ? "none" : std::to_string(row); }

// The checker's reading of a run: the row the patch is for (none when
// the patch folder's layout is one it does not follow) and what the
// redirection writes.
struct Reading {
  PatchFolder folder;
  std::optional<int> row;
  std::set<int> rowsUnderFaults;
};

Reading ReadRun(const Scenario& scenario, const RegistrationSnapshot& before,
                const sim::FakeMachine& machine) {
  Reading reading;
  reading.folder = ReadPatchFolder(scenario, machine);
  const RowFlags readable = ReadableRegistrations(before);
  if (reading.folder.modelled) {
    reading.row = IdentifiedRow(reading.folder.patchName, reading.folder.languagePack, readable);
    reading.rowsUnderFaults =
        RowsUnderFaults(reading.folder.patchNames, reading.folder.languagePack, readable);
  }
  return reading;
}

class Checker {
 public:
  Checker(const Scenario& scenario, const RegistrationSnapshot& before,
          const sim::FakeMachine& machine, const LauncherRun& run, Faults faults)
      : scenario_(scenario),
        before_(before),
        machine_(machine),
        exit_(run.exitStatus),
        logPath_(run.logPath),
        installerSaw_(run.installerSaw),
        faults_(faults),
        reading_(ReadRun(scenario, before, machine)) {}

  std::vector<std::string> Run() {
    CheckHandles();
    CheckMessageBoxes();
    CheckInstallerStart();
    const std::set<int> changed = ChangedRows();
    for (int row = 0; row < ProductTableCount; ++row)
      CheckRegistration(row, changed.count(row) != 0);
    CheckWhatTheInstallerFound(changed);
    CheckExitStatus(changed);
    CheckSummary();
    return std::move(violations_);
  }

 private:
  const KeyState& Key(int row) const { return before_.keys[static_cast<std::size_t>(row)]; }

  // The product's own Transforms once an earlier run's journal is
  // finished, byte for byte; none when it has none.
  std::optional<sim::RegistryValue> Own(int row) const {
    return OwnStoredAfterRecovery(Key(row).transforms, Key(row).backup);
  }

  // Every redirection the run may write for `row`: the short patch folder
  // with the product's language transform; where calls fail, the long
  // folder too (the short one unread), and "1033.mst" (Transforms read as
  // absent). An odd last byte of the own value is no text, but the
  // launcher reads it as a letter: both readings are accepted.
  std::set<std::u16string> Redirections(int row) const {
    const std::optional<sim::RegistryValue> own = Own(row);
    std::set<std::u16string> transforms;
    for (const bool halfUnit : {false, true}) {
      transforms.insert(TransformOf(StoredText(own, halfUnit).value_or(u"")));
    }
    std::set<std::u16string> folders = {reading_.folder.shortFolder};
    if (faults_ == Faults::Injected) {
      transforms.insert(TransformOf(u""));
      folders.insert(reading_.folder.longFolder);
    }
    std::set<std::u16string> redirections;
    for (const std::u16string& folder : folders) {
      for (const std::u16string& transform : transforms) {
        if (const auto redirection = RedirectionIn(folder, transform)) {
          redirections.insert(*redirection);
        }
      }
    }
    return redirections;
  }

  // Whether a run without faults redirects `row`'s Transforms: its key
  // opens for changing, holds no journal of another type, its own value is
  // a string or absent, and the redirection fits a path.
  bool RedirectionDue(int row) const {
    if (row == kNoProduct) return false;
    const KeyState& key = Key(row);
    const auto isString = [](const std::optional<sim::RegistryValue>& value) {
      return value->type == REG_SZ || value->type == REG_EXPAND_SZ;
    };
    const std::optional<sim::RegistryValue> own = Own(row);
    return key.exists && key.access == KeyAccess::Full && (!key.backup || isString(key.backup)) &&
           (!own || isString(own)) && !Redirections(row).empty();
  }

  // The registration as the redirection step finds it once an earlier
  // run's journal is finished.
  SeenRegistration Settled(int row) const {
    const KeyState& key = Key(row);
    SeenRegistration settled{key.exists, key.transforms, key.backup};
    const bool journal =
        key.backup && (key.backup->type == REG_SZ || key.backup->type == REG_EXPAND_SZ);
    if (key.exists && key.access == KeyAccess::Full && journal) {
      settled.transforms = Own(row);
      settled.backup.reset();
    }
    return settled;
  }

  // The run was turned away before it identified a product.
  bool Refused() const {
    return scenario_.otherLauncherRunning || ServiceBlocks(scenario_) ||
           exit_ == ERROR_INVALID_COMMAND_LINE;
  }

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
    for (const int row : rows) {
      if (faults_ == Faults::None && reading_.row && row != *reading_.row) {
        Fail(ProductName(row) + ": registration changed, though the patch is for row " +
             RowName(*reading_.row));
      }
      if (faults_ == Faults::Injected && reading_.row && reading_.rowsUnderFaults.count(row) == 0) {
        Fail(ProductName(row) +
             ": registration changed, though no failing call makes the patch "
             "one for that row");
      }
    }
    return rows;
  }

  bool WroteTransforms(const std::string& keyPath) const {
    const auto& changes = machine_.RegistryChanges();
    return std::any_of(changes.begin(), changes.end(), [&](const sim::RegistryChange& change) {
      return sim::EqualsIgnoringAsciiCase(change.keyPath, keyPath) &&
             sim::EqualsIgnoringAsciiCase(change.valueName, "Transforms");
    });
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
    // finished or kept; the installer, which may rewrite it, is not the run.
    if (!own) {
      if (WroteTransforms(keyPath) && !SameStored(transforms, before.transforms)) {
        Fail(name + ": an unreadable Transforms was replaced; it was " +
             Describe(before.transforms));
      }
      return;
    }
    CheckJournalLeft(row, backup);
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

  // Journals this run wrote are the product's own value byte for byte
  // with its type, or the record of none naming the redirection. Where a
  // call failed, Transforms may have read as absent and been recorded so
  // (and then left alone, so the record is harmless).
  bool ExactJournal(int row, const std::optional<sim::RegistryValue>& backup) const {
    for (const std::u16string& redirection : Redirections(row)) {
      std::vector<sim::RegistryValue> journals = {JournalFor(Own(row), redirection)};
      if (faults_ == Faults::Injected) journals.push_back(JournalFor(std::nullopt, redirection));
      for (const sim::RegistryValue& journal : journals) {
        if (SameStored(backup, journal)) return true;
      }
    }
    return false;
  }

  void CheckJournalLeft(int row, const std::optional<sim::RegistryValue>& backup) {
    if (!backup || SameStored(backup, Key(row).backup) || ExactJournal(row, backup)) return;
    Fail(ProductName(row) + ": TransformsBackup left is " + Describe(backup) +
         ", neither the journal found nor the product's own value " + Describe(Own(row)) +
         " as a journal of this run's");
  }

  // While the installer ran, the registration it patches held the
  // redirection and beside it the exact journal; every other registration
  // was as before the run.
  void CheckWhatTheInstallerFound(const std::set<int>& changed) {
    if (!installerSaw_) return;
    // -1: no registration was the run's to change.
    int target = changed.empty() ? -1 : *changed.begin();
    if (faults_ == Faults::None && reading_.row) target = *reading_.row;
    for (int row = 0; row < ProductTableCount; ++row) {
      const SeenRegistration& seen = (*installerSaw_)[static_cast<std::size_t>(row)];
      const auto describeSeen = [&] {
        return "Transforms " + Describe(seen.transforms) + ", TransformsBackup " +
               Describe(seen.backup);
      };
      if (row != target) {
        const KeyState& key = Key(row);
        if (seen.exists != key.exists || !SameStored(seen.transforms, key.transforms) ||
            !SameStored(seen.backup, key.backup)) {
          Fail(ProductName(row) +
               ": the installer found the registration changed: " + describeSeen());
        }
        continue;
      }
      const std::set<std::u16string> redirections = Redirections(row);
      const auto isRedirection = [&](const std::optional<sim::RegistryValue>& value) {
        return value && value->type == REG_SZ &&
               redirections.count(StoredText(value).value_or(u"")) != 0 &&
               value->bytes == sim::Utf16Bytes(*StoredText(value));
      };
      if (faults_ == Faults::None) {
        const bool due = RedirectionDue(row);
        const SeenRegistration settled = Settled(row);
        const bool expected = due ? isRedirection(seen.transforms) && ExactJournal(row, seen.backup)
                                  : SameStored(seen.transforms, settled.transforms) &&
                                        SameStored(seen.backup, settled.backup);
        if (!expected) {
          Fail(ProductName(row) + ": the installer found " + describeSeen() + "; expected " +
               (due ? "Transforms \"" + Printable(*redirections.begin()) +
                          "\" and the journal of " + Describe(Own(row))
                    : "Transforms " + Describe(settled.transforms) + ", TransformsBackup " +
                          Describe(settled.backup)));
        }
      } else if (!SameStored(seen.transforms, Own(row)) &&
                 !(isRedirection(seen.transforms) && ExactJournal(row, seen.backup))) {
        Fail(ProductName(row) + ": the installer found " + describeSeen() +
             ", neither the own value nor a redirection beside its exact journal");
      }
    }
  }

  // The installer's status as the launcher saw it; kUnknown when no
  // process was started or its end could not be read.
  Status InstallerStatus() const {
    const auto& starts = machine_.ProcessStarts();
    if (starts.empty()) return kUnknown;
    if (starts.front().result != ERROR_SUCCESS) return starts.front().result;
    return starts.front().childRan ? starts.front().exitCode : kUnknown;
  }

  // The registration's status for `row`: a journal left in a key the run
  // cannot write cannot be finished (and a key it cannot write gets no new
  // one).
  Status RestoreStatus(int row) const {
    if (row == kNoProduct) return ERROR_SUCCESS;
    const KeyState& key = Key(row);
    const bool journal =
        key.backup && (key.backup->type == REG_SZ || key.backup->type == REG_EXPAND_SZ);
    return key.exists && key.access == KeyAccess::ReadOnly && journal ? ERROR_ACCESS_DENIED
                                                                      : ERROR_SUCCESS;
  }

  // The statuses the restore may end the run with: the patch's row's, or,
  // where the checker does not follow the patch folder, any row's.
  std::set<Status> RestoreStatuses() const {
    if (reading_.row) return {RestoreStatus(*reading_.row)};
    std::set<Status> statuses = {ERROR_SUCCESS};
    for (int row = 0; row < ProductTableCount; ++row) statuses.insert(RestoreStatus(row));
    return statuses;
  }

  // Whether the launcher's buffers cannot hold the installer's command
  // line (none where the checker does not follow the patch folder): the
  // patch path (patch folder, "Files\", package) past 999 units, the
  // interpreter's path past 259, the arguments expanded past 999 units, or
  // the whole line past 999.
  std::optional<bool> LineTooLong() const {
    if (!reading_.folder.modelled) return std::nullopt;
    const std::u16string patchPath =
        reading_.folder.shortFolder + u"Files\\" + reading_.folder.patchName;
    const std::u16string& systemFolder = scenario_.systemDirectory;
    const auto arguments = ExpandedTail(TailOf(scenario_.commandLine), reading_.folder.percentCd);
    return patchPath.size() > kLongTextUnits ||
           systemFolder.size() + std::u16string_view(u"\\cmd.exe").size() > kPathUnits ||
           !arguments || InstallerLineUnits(systemFolder, patchPath, *arguments) > kLongTextUnits;
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
    // The arguments and the patch path are checked before an earlier
    // run's journal is finished.
    if (!started && exit_ == ERROR_INVALID_COMMAND_LINE) {
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
      return;
    }
    const std::set<Status> restores = RestoreStatuses();
    const bool systemFolderRead =
        !scenario_.systemDirectory.empty() && scenario_.systemDirectory.size() <= kPathUnits;
    const std::optional<bool> tooLong = LineTooLong();
    if (!started && exit_ != ERROR_SUCCESS && restores.count(exit_) != 0) return;
    if (restores.count(ERROR_SUCCESS) == 0) {
      Fail("an earlier run's journal that cannot be finished should end the run with " +
           std::to_string(*restores.begin()) + " before the installer starts; exit status " +
           std::to_string(exit_));
    } else if (started && (!systemFolderRead || tooLong.value_or(false))) {
      Fail("the installer started, though " +
           std::string(systemFolderRead ? "its command line does not fit the launcher's buffers"
                                        : "the system folder cannot be read"));
    } else if (started) {
      if (exit_ != ReportedInstallerStatus(installer)) {
        Fail("exit status " + std::to_string(exit_) + " is not the installer's " +
             std::to_string(installer));
      }
    } else if (exit_ == ERROR_PATH_NOT_FOUND && !systemFolderRead) {
      // GetSystemDirectoryW's answer did not fit a path.
    } else if (exit_ == ERROR_INSUFFICIENT_BUFFER && systemFolderRead && tooLong.value_or(true)) {
      // The line would not fit; where the checker does not follow the
      // patch folder, it takes the launcher's word.
    } else {
      Fail("no installer started, yet exit status " + std::to_string(exit_) +
           (!systemFolderRead         ? "; the system folder cannot be read"
            : tooLong.value_or(false) ? "; the command line is too long"
                                      : ""));
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
    if (faults_ == Faults::Injected || !reading_.row) return;
    // Without faults it names the row the patch is for (or none, where
    // the run was turned away before identifying one), and says
    // registered and redirected exactly where that row's were.
    const int row = *reading_.row;
    const bool named = product == RowName(row);
    if (!named && !(Refused() && product == "none")) {
      Fail("the summary names product " + product.value_or("(missing)") +
           "; the patch is for row " + RowName(row) + ":" + summary);
      return;
    }
    if (row == kNoProduct || product == "none") return;
    const bool reached = !Refused();
    if (SummaryValue(summary, "name") != sim::AsciiText(ProductTable[row].keyword) ||
        SummaryValue(summary, "code") != sim::AsciiText(ProductTable[row].packedCode) ||
        (reached && (SummaryValue(summary, "registered") == "yes") != Key(row).exists) ||
        (reached &&
         (SummaryValue(summary, "redirected") == "yes") != (started && RedirectionDue(row)))) {
      Fail("the summary does not sum up row " + RowName(row) + " (registration " +
           (Key(row).exists ? "found" : "missing") + ", redirection " +
           (RedirectionDue(row) ? "due" : "not due") + "):" + summary);
    }
  }

  const Scenario& scenario_;
  const RegistrationSnapshot& before_;
  const sim::FakeMachine& machine_;
  const Status exit_;
  const std::u16string logPath_;
  const std::optional<SeenRegistrations> installerSaw_;
  const Faults faults_;
  const Reading reading_;
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
  const PatchFolder folder = ReadPatchFolder(scenario, machine);
  out << "  patch package by the checker: "
      << (folder.modelled ? "\"" + Printable(folder.patchName) + "\"" : "(not followed)")
      << (folder.languagePack ? ", language-pack database" : "") << "\n";
  out << "  processes started: " << machine.ProcessStarts().size()
      << ", installer ran: " << (run.installerSaw ? "yes" : "no")
      << ", registry changes: " << machine.RegistryChanges().size() << "\n";
  return out.str();
}

std::vector<std::string> CheckRun(const Scenario& scenario, const RegistrationSnapshot& before,
                                  const sim::FakeMachine& machine, const LauncherRun& run,
                                  Faults faults) {
  return Checker(scenario, before, machine, run, faults).Run();
}

}  // namespace setup::proof
