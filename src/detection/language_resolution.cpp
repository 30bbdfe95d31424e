#include "detection/language_resolution.h"

#include <algorithm>
#include <iterator>

#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "discovery/file_discovery.h"
#include "platform/ascii_case.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "shared/log_events.h"

namespace setup {

namespace {

constexpr int kEnglish = 0;

struct SystemLanguageRow {
  std::uint16_t languageId;
  std::uint8_t row;
};

// Identifiers counted for each language; any other, English and Chinese ones included, is English.
constexpr SystemLanguageRow kSystemLanguages[] = {
    {0x0407, 2}, {0x0807, 2}, {0x0C07, 2}, {0x1007, 2}, {0x1407, 2}, {0x0413, 1}, {0x0813, 1},
    {0x0410, 3}, {0x0810, 3}, {0x0411, 4}, {0x040C, 5}, {0x080C, 5}, {0x0C0C, 5}, {0x100C, 5},
    {0x140C, 5}, {0x180C, 5}, {0x040A, 6}, {0x080A, 6}, {0x0C0A, 6}, {0x100A, 6}, {0x140A, 6},
    {0x180A, 6}, {0x1C0A, 6}, {0x200A, 6}, {0x240A, 6}, {0x280A, 6}, {0x2C0A, 6}, {0x300A, 6},
    {0x340A, 6}, {0x380A, 6}, {0x3C0A, 6}, {0x400A, 6}, {0x440A, 6}, {0x480A, 6}, {0x4C0A, 6},
    {0x500A, 6}, {0x041D, 7}, {0x081D, 7},
};

// The patch folder's ini file for `row`. False without a patch folder (the platform would look for
// the bare name in the Windows folder) or when the path would not fit.
bool LanguageIniPath(const PatchFolder& folder, int row, WidePath& iniPath) {
  return folder.Join(iniPath, {LanguageTable[row].iniName, u".ini"});
}

// Whether the ini file for `row` starts with UTF-8's byte-order mark: Windows reads ini files in
// the ANSI code page or as UTF-16 with its mark, so it reads nothing from such a file (Wine does).
bool IniSavedAsUtf8(Platform& platform, const PatchFolder& folder, int row) {
  WidePath iniPath;
  if (!LanguageIniPath(folder, row, iniPath)) return false;
  Status opened = ERROR_SUCCESS;
  const ScopedKernelHandle file(
      platform, platform.CreateFileW(iniPath.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, &opened));
  std::uint8_t start[3] = {};
  std::uint32_t read = 0;
  return file.valid() && platform.ReadFile(file.get(), start, sizeof start, &read) &&
         read == sizeof start && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF;
}

// Also warns when the system language's ini file is there but saved as UTF-8.
ResolvedLanguage LanguageFromSystem(Platform& platform, const RunState& run,
                                    const PatchFolder& folder) {
  const std::uint16_t languageId = platform.GetSystemDefaultLangID();
  const auto* const match = std::find_if(
      std::begin(kSystemLanguages), std::end(kSystemLanguages),
      [languageId](const SystemLanguageRow& entry) { return entry.languageId == languageId; });
  const int candidate = match == std::end(kSystemLanguages) ? kEnglish : match->row;
  const bool hasIni = HasLanguageIni(platform, folder, candidate);
  ResolvedLanguage resolved;
  resolved.row = hasIni ? candidate : kEnglish;
  const int row = resolved.row;
  const WideChar* const iniName = LanguageTable[candidate].iniName;
  if (hasIni) {
    Tell<LogEvent::LanguageOfSystem>(run, row, LanguageTable[row].displayName, Hex4(languageId),
                                     iniName);
  } else {
    Tell<LogEvent::LanguageOfSystemNoIni>(run, row, LanguageTable[row].displayName,
                                          Hex4(languageId), iniName);
  }
  if (!hasIni && IniSavedAsUtf8(platform, folder, candidate)) {
    resolved.warnings = kWarnIniUtf8;
    Tell<LogEvent::IniSavedAsUtf8>(run, iniName);
  }
  return resolved;
}

}  // namespace

ResolvedLanguage ResolveLanguage(Platform& platform, const RunState& run,
                                 const PatchFolder& folder) {
  const PatchPackages packages = ListPatchPackages(platform, run, folder);
  const Identification product = IdentifyProduct(platform, run, folder, packages.chosen);
  if (product.row == kNoProduct) {
    ResolvedLanguage resolved = LanguageFromSystem(platform, run, folder);
    resolved.warnings |= product.warnings;
    return resolved;
  }
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, product.keyPath.c_str(), KEY_READ, key);
  StoredString transforms;
  const Status read = opened == ERROR_SUCCESS
                          ? ReadStoredString(platform, key.get(), u"Transforms", transforms)
                          : opened;
  return {LanguageOfTransforms(run, transforms, read), product.row, product.warnings};
}

int LanguageOfTransforms(const RunState& run, const StoredString& value, Status read) {
  HeapText text;  // half a unit is no letter: searched as text, whole units only
  if (read == ERROR_SUCCESS && !text.assign(value.units.c_str())) read = ERROR_NOT_ENOUGH_MEMORY;
  text.set_length(value.TextLength());
  const WideChar* const transforms = text.c_str();
  if (read != ERROR_SUCCESS) {
    Tell<LogEvent::LanguageUnread>(run, StatusText{read});
    return kNoLanguage;
  }
  for (int row = 0; row < LanguageTableCount; ++row) {
    const LanguageEntry& language = LanguageTable[row];
    if (!ContainsIgnoringAsciiCase(transforms, language.transformFile)) continue;
    Tell<LogEvent::LanguageOfTransforms>(run, row, language.displayName, language.transformFile,
                                         InQuotes(transforms));
    return row;
  }
  Tell<LogEvent::LanguageUnknown>(run, InQuotes(transforms));
  return kNoLanguage;
}

bool HasLanguageIni(Platform& platform, const PatchFolder& folder, int row) {
  WidePath iniPath;
  if (!LanguageIniPath(folder, row, iniPath)) return false;
  WideLongText description;
  return platform.GetPrivateProfileStringW(LanguageTable[row].iniName, u"DESCRIPTION", u"",
                                           description.writable_buffer(),
                                           description.writable_size(), iniPath.c_str()) > 0;
}

}  // namespace setup
