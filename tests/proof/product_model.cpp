#include "proof/product_model.h"

#include <algorithm>

#include "detection/language_table.h"
#include "proof/database_pool.h"
#include "sim/ascii_case.h"
#include "sim/utf16_bytes.h"

namespace setup::proof {

namespace {

constexpr char16_t kDefaultTransform[] = u"1033.mst";
constexpr char16_t kRecordMark[] = u"redirected:";
constexpr char16_t kOperators[] = u"&|<>^()";
constexpr char16_t kPercentWritten[] = u"%%cd:~,%";

char16_t Lower(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + 32 : unit; }

std::u16string Lowered(std::u16string_view text) {
  std::u16string lowered(text);
  for (char16_t& unit : lowered) unit = Lower(unit);
  return lowered;
}

bool EndsWithFolded(std::u16string_view text, std::u16string_view suffix) {
  return text.size() >= suffix.size() &&
         Lowered(text.substr(text.size() - suffix.size())) == Lowered(suffix);
}

// A file search reports a name in a record of 260 units, terminator
// included: a longer one comes cut short.
std::u16string Reported(const std::u16string& name) { return name.substr(0, kPathUnits); }

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// A name the checker follows: one plain component.
bool PlainName(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." &&
         std::none_of(name.begin(), name.end(), IsSeparator);
}

// One entry of a folder as the machine keeps it, in search order: a name
// added again (by its long or its 8.3 name, ASCII letters in any case)
// lands on the entry already there and may give it a short name.
struct Entry {
  std::u16string longName;
  std::u16string shortName;
  bool isFolder = false;
  bool database = false;
};

Entry& AddEntry(std::vector<Entry>& entries, const std::u16string& longName,
                const std::u16string& shortName, bool isFolder) {
  for (Entry& entry : entries) {
    if (sim::EqualsIgnoringAsciiCase(entry.longName, longName) ||
        (!entry.shortName.empty() && sim::EqualsIgnoringAsciiCase(entry.shortName, longName))) {
      if (!shortName.empty()) entry.shortName = shortName;
      return entry;
    }
  }
  entries.push_back({longName, shortName, isFolder, false});
  return entries.back();
}

// Whether `bytes` start with `units` as UTF-16 little-endian.
bool StartsWithUnits(const std::vector<std::uint8_t>& bytes, std::u16string_view units) {
  const std::vector<std::uint8_t> prefix = sim::Utf16Bytes(units, false);
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool IsString(const std::optional<sim::RegistryValue>& value) {
  return value && (value->type == REG_SZ || value->type == REG_EXPAND_SZ);
}

// The redirection a record of none names; none for any other journal.
std::optional<std::u16string> NamedInRecord(const sim::RegistryValue& journal) {
  const std::u16string mark = std::u16string(1, u'\0') + kRecordMark;
  if (!StartsWithUnits(journal.bytes, mark)) return std::nullopt;
  std::u16string named = sim::Utf16Text(journal.bytes).substr(mark.size());
  named.erase(std::find(named.begin(), named.end(), u'\0'), named.end());
  if (named.empty()) return std::nullopt;
  return named;
}

}  // namespace

int IdentifiedRow(std::u16string_view patchName, bool languagePack, const RowFlags& registered) {
  for (int row = languagePack ? kFirstKeywordOnlyRow : 0; row < ProductTableCount; ++row) {
    const bool named = patchName.find(ProductTable[row].keyword) != std::u16string_view::npos;
    const bool needsRegistration = row < kFirstKeywordOnlyRow;
    if (named && (!needsRegistration || registered[static_cast<std::size_t>(row)])) return row;
  }
  return kNoProduct;
}

std::set<int> RowsUnderFaults(const std::vector<std::u16string>& patchNames, bool languagePack,
                              const RowFlags& registered) {
  std::set<int> rows;
  for (const std::u16string& name : patchNames) {
    for (const bool asLanguagePack : {languagePack, false}) {
      // A failed open only ever drops a registration, so every registered
      // row up to the first pick by keyword alone may come out first.
      for (int row = asLanguagePack ? kFirstKeywordOnlyRow : 0; row < ProductTableCount; ++row) {
        if (name.find(ProductTable[row].keyword) == std::u16string::npos) continue;
        if (row >= kFirstKeywordOnlyRow) {
          rows.insert(row);
          break;
        }
        if (registered[static_cast<std::size_t>(row)]) rows.insert(row);
      }
    }
  }
  return rows;
}

std::u16string TransformOf(std::u16string_view ownText) {
  const std::u16string text = Lowered(ownText);
  for (const LanguageEntry& language : LanguageTable) {
    if (text.find(Lowered(language.transformFile)) != std::u16string::npos) {
      return language.transformFile;
    }
  }
  return kDefaultTransform;
}

std::optional<std::u16string> StoredText(const std::optional<sim::RegistryValue>& value,
                                         bool halfUnitAsText) {
  if (!IsString(value)) return std::nullopt;
  std::vector<std::uint8_t> bytes = value->bytes;
  if (bytes.size() % 2 != 0 && !halfUnitAsText) bytes.pop_back();
  std::u16string text = sim::Utf16Text(bytes);
  text.erase(std::find(text.begin(), text.end(), u'\0'), text.end());
  return text;
}

bool JournalRecordsNone(const sim::RegistryValue& journal) {
  const std::vector<std::uint8_t>& bytes = journal.bytes;
  return bytes.empty() || bytes == std::vector<std::uint8_t>{0, 0} ||
         StartsWithUnits(bytes, std::u16string(1, u'\0') + kRecordMark);
}

bool IsPatchFolderRedirection(std::u16string_view text) {
  const std::size_t name = text.rfind(u'\\');
  if (name == std::u16string_view::npos) return false;
  const std::u16string_view folder = text.substr(0, name);
  const bool filesFolder = EndsWithFolded(folder, u"Files") &&
                           (folder.size() == 5 || folder[folder.size() - 6] == u'\\');
  if (!filesFolder) return false;
  const std::u16string transform = Lowered(text.substr(name + 1));
  return std::any_of(
      std::begin(LanguageTable), std::end(LanguageTable),
      [&](const LanguageEntry& language) { return transform == Lowered(language.transformFile); });
}

std::optional<sim::RegistryValue> OwnStoredAfterRecovery(
    const std::optional<sim::RegistryValue>& transforms,
    const std::optional<sim::RegistryValue>& backup) {
  if (!IsString(backup)) return transforms;
  const bool none = JournalRecordsNone(*backup);
  const std::optional<sim::RegistryValue> journals =
      none ? std::nullopt : std::optional<sim::RegistryValue>(*backup);
  if (!transforms) return journals;
  if (!IsString(transforms)) return transforms;
  const std::u16string text = *StoredText(transforms);
  // A journal is a copy: only the very bytes and type are the value it
  // kept; a record of none is matched by a value holding no text.
  const bool same =
      none ? transforms->type == backup->type &&
                 (transforms->bytes.empty() || transforms->bytes == std::vector<std::uint8_t>{0, 0})
           : transforms->type == backup->type && transforms->bytes == backup->bytes;
  const std::optional<std::u16string> named = NamedInRecord(*backup);
  const bool earlierRuns = same || (named ? text == *named : IsPatchFolderRedirection(text));
  return earlierRuns ? journals : transforms;
}

sim::RegistryValue JournalFor(const std::optional<sim::RegistryValue>& own,
                              std::u16string_view redirection) {
  if (own) return {"", own->type, own->bytes};
  std::u16string record(1, u'\0');
  record += kRecordMark;
  record += redirection;
  return {"", REG_SZ, sim::Utf16Bytes(record)};
}

PatchFolder ReadPatchFolder(const Scenario& scenario, const sim::FakeMachine& machine) {
  PatchFolder folder;
  folder.patchNames.emplace_back();  // a listing may find nothing
  bool plain = !scenario.databaseFile || PlainName(scenario.databaseFile->longName);
  for (const auto* files : {&scenario.folderFiles, &scenario.packageFiles}) {
    for (const FileName& file : *files) plain = plain && PlainName(file.longName);
  }
  for (const IniValue& ini : scenario.iniValues) {
    plain = plain && PlainName(std::u16string(ini.fileName.begin(), ini.fileName.end()));
  }
  folder.modelled = plain;
  if (!scenario.folder) return folder;

  // The machine keeps the current directory without trailing separators,
  // but for a drive's root.
  std::u16string current = *scenario.folder;
  while (!current.empty() && IsSeparator(current.back())) current.pop_back();
  if (current.size() == 2 && current[1] == u':') current += u'\\';
  std::u16string longFolder = current;
  if (longFolder.empty() || longFolder.back() != u'\\') longFolder += u'\\';
  if (current.empty() || current.size() > kLongTextUnits || longFolder.size() > kLongTextUnits) {
    return folder;
  }
  folder.longFolder = longFolder;
  const bool driveRoot = longFolder.size() == 3 && longFolder[1] == u':';
  folder.percentCd = driveRoot ? longFolder : longFolder.substr(0, longFolder.size() - 1);
  const auto shortFolder = machine.ShortPathOf(longFolder);
  folder.shortFolder = shortFolder && !shortFolder->empty() && shortFolder->size() < 1000
                           ? *shortFolder
                           : longFolder;
  // A short name that leads elsewhere (a separator in it, or another
  // entry's name) sends the launcher's searches to another folder.
  const auto again = machine.ShortPathOf(folder.shortFolder);
  plain = plain && (scenario.folderShortName.empty() || PlainName(scenario.folderShortName)) &&
          again == folder.shortFolder;
  folder.modelled = plain;
  if (!plain) return folder;

  // Paths inside the folder are built from it without its last backslash.
  const std::size_t base = folder.shortFolder.size() - 1;
  if (base > kPathUnits) return folder;

  std::vector<Entry> packages;
  for (const FileName& file : scenario.packageFiles)
    AddEntry(packages, file.longName, file.shortName, false);
  // "<folder>\Files\" and the pattern "\*.msp" joined must fit a path.
  if (base + 7 + 6 <= kPathUnits) {
    for (const Entry& entry : packages) {
      const std::u16string name = Reported(entry.longName);
      if (!EndsWithFolded(name, u".msp")) continue;
      folder.patchNames.push_back(name);
      // The first by name, A to Z taken as a to z, a shorter name before
      // a longer one it starts.
      if (folder.patchName.empty() || Lowered(name) < Lowered(folder.patchName)) {
        folder.patchName = name;
      }
    }
  }

  std::vector<Entry> entries;
  AddEntry(entries, u"Files", u"", true);
  for (const FileName& file : scenario.folderFiles)
    AddEntry(entries, file.longName, file.shortName, false);
  if (scenario.databaseFile) {
    AddEntry(entries, scenario.databaseFile->longName, scenario.databaseFile->shortName, false)
        .database = true;
  }
  // Ini files come after the database, so none of them is a database
  // found first.
  const auto first = std::find_if(entries.begin(), entries.end(), [](const Entry& entry) {
    return !entry.isFolder && EndsWithFolded(Reported(entry.longName), u".msi");
  });
  folder.languagePack = base + 6 <= kPathUnits && first != entries.end() && first->database &&
                        Reported(first->longName) == first->longName &&
                        base + 1 + first->longName.size() <= kPathUnits &&
                        DatabasePool::LanguagePackEntry(scenario.databaseEntry);
  return folder;
}

std::optional<std::u16string> RedirectionIn(const std::u16string& folder,
                                            std::u16string_view transform) {
  if (folder.empty() || folder.size() - 1 > kPathUnits) return std::nullopt;
  std::u16string redirection = folder + u"Files\\";
  redirection += transform;
  if (redirection.size() > kPathUnits) return std::nullopt;
  return redirection;
}

std::optional<std::u16string> ExpandedTail(std::u16string_view tail, std::u16string_view cd) {
  std::u16string expanded;
  std::size_t at = 0;
  while (at < tail.size()) {
    const std::size_t close = tail[at] == u'%' ? tail.find(u'%', at + 1) : std::u16string::npos;
    if (close != std::u16string_view::npos) {
      const std::u16string_view inside = tail.substr(at + 1, close - at - 1);
      const std::u16string_view name = inside.substr(0, inside.find(u':'));
      if (sim::EqualsIgnoringAsciiCase(name, u"CD")) {
        expanded += name.size() == inside.size() ? cd : tail.substr(at, close + 1 - at);
        at = close + 1;
        if (expanded.size() > kLongTextUnits) return std::nullopt;
        continue;
      }
    }
    expanded += tail[at++];
    if (expanded.size() > kLongTextUnits) return std::nullopt;
  }
  return expanded;
}

std::size_t InstallerLineUnits(std::u16string_view systemFolder, std::u16string_view patchPath,
                               std::u16string_view arguments) {
  const auto written = [](char16_t unit) {
    return unit == u'%' ? std::char_traits<char16_t>::length(kPercentWritten) : std::size_t{1};
  };
  std::size_t units = std::u16string_view(u"/D /E:ON /V:OFF /C ").size() + systemFolder.size() +
                      std::u16string_view(u"\\msiexec.exe /p ").size() +
                      std::u16string_view(u" REINSTALL=ALL ").size();
  const bool quoted = patchPath.find_first_of(u" \t&|<>^()") != std::u16string_view::npos;
  if (quoted) units += 2;
  for (const char16_t unit : patchPath) units += written(unit);
  bool inQuotes = false;
  for (const char16_t unit : arguments) {
    if (unit == u'"') inQuotes = !inQuotes;
    if (!inQuotes && std::u16string_view(kOperators).find(unit) != std::u16string_view::npos) {
      ++units;
    }
    units += written(unit);
  }
  return units;
}

}  // namespace setup::proof
