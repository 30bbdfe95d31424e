// The languages a patch folder can carry a transform for.
#ifndef SETUP_DETECTION_LANGUAGE_TABLE_H
#define SETUP_DETECTION_LANGUAGE_TABLE_H

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// One language row; its position in the table is the language index.
struct LanguageEntry {
  std::uint16_t languageId;       // primary language identifier
  std::uint16_t reserved;         // always 0
  const WideChar* iniName;        // names the ini file and the section in it
  const char* displayName;        // named in the log, not read by any decision
  std::uint8_t available;         // carried, not read by any decision
  const WideChar* transformFile;  // the transform in Files, lower case
};

constexpr int LanguageTableCount = 10;
extern const LanguageEntry LanguageTable[LanguageTableCount];

// A row of LanguageTable, or -1 when the language is not determined.
constexpr int kNoLanguage = -1;

}  // namespace setup

#endif  // SETUP_DETECTION_LANGUAGE_TABLE_H
