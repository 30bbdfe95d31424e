#include "detection/language_resolution.h"

#include <algorithm>
#include <iterator>

#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "detection/product_table.h"
#include "platform/ascii_case.h"
#include "platform/bounded_text.h"
#include "platform/registry.h"

namespace setup {

namespace {

constexpr int kEnglish = 0;

struct SystemLanguageRow {
  std::uint16_t languageId;
  int row;
};

// The identifiers that count for each language; any other, English and the
// Chinese ones included, is English.
constexpr SystemLanguageRow kSystemLanguages[] = {
    {0x0407, 2}, {0x0807, 2}, {0x0C07, 2}, {0x1007, 2}, {0x1407, 2}, {0x0413, 1}, {0x0813, 1},
    {0x0410, 3}, {0x0810, 3}, {0x0411, 4}, {0x040C, 5}, {0x080C, 5}, {0x0C0C, 5}, {0x100C, 5},
    {0x140C, 5}, {0x180C, 5}, {0x040A, 6}, {0x080A, 6}, {0x0C0A, 6}, {0x100A, 6}, {0x140A, 6},
    {0x180A, 6}, {0x1C0A, 6}, {0x200A, 6}, {0x240A, 6}, {0x280A, 6}, {0x2C0A, 6}, {0x300A, 6},
    {0x340A, 6}, {0x380A, 6}, {0x3C0A, 6}, {0x400A, 6}, {0x440A, 6}, {0x480A, 6}, {0x4C0A, 6},
    {0x500A, 6}, {0x041D, 7}, {0x081D, 7},
};

int LanguageIndexOfTransforms(const WideChar* transforms) {
  for (int row = 0; row < LanguageTableCount; ++row) {
    if (ContainsIgnoringAsciiCase(transforms, LanguageTable[row].transformFile)) return row;
  }
  return kNoLanguage;
}

}  // namespace

int ResolveLanguageIndex(Platform& platform, RunState& run) {
  if (run.CurrentProduct == kNoProduct) {
    IdentifyProduct(platform, run);
    if (run.CurrentProduct == kNoProduct) return LanguageIndexFromSystem(platform, run);
  }
  ScopedRegKey key(platform);
  if (OpenClassesRootKey(platform, ProductKeyPath(run.CurrentProduct).c_str(), KEY_READ, key) !=
      ERROR_SUCCESS) {
    return kNoLanguage;
  }
  HeapText transforms;
  if (ReadRegistryString(platform, key.get(), u"Transforms", transforms) != ERROR_SUCCESS) {
    return kNoLanguage;
  }
  return LanguageIndexOfTransforms(transforms.c_str());
}

int LanguageIndexFromSystem(Platform& platform, const RunState& run) {
  const std::uint16_t languageId = platform.GetSystemDefaultLangID();
  const auto* const end = std::end(kSystemLanguages);
  const auto* const match = std::find_if(
      std::begin(kSystemLanguages), end,
      [languageId](const SystemLanguageRow& entry) { return entry.languageId == languageId; });
  const int candidate = match == end ? kEnglish : match->row;
  return HasLanguageIni(platform, run, candidate) ? candidate : kEnglish;
}

bool HasLanguageIni(Platform& platform, const RunState& run, int row) {
  // Without a folder the platform would look for the bare name in the
  // Windows folder instead.
  if (run.SourceFolder.empty()) return false;
  const WideChar* const iniName = LanguageTable[row].iniName;
  WidePath iniPath;
  if (!iniPath.assign(run.SourceFolder.c_str()) || !iniPath.append(iniName) ||
      !iniPath.append(u".ini")) {
    return false;
  }
  WideLongText description;
  const std::uint32_t copied = platform.GetPrivateProfileStringW(
      iniName, u"DESCRIPTION", u"", description.writable_buffer(),
      static_cast<std::uint32_t>(description.capacity()), iniPath.c_str());
  return copied > 0;
}

}  // namespace setup
