// The languages a patch folder can carry a transform for.
#ifndef SETUP_DETECTION_LANGUAGE_TABLE_H
#define SETUP_DETECTION_LANGUAGE_TABLE_H

#include <cstdint>

#include "platform/platform.h"

namespace setup {

struct LanguageEntry {
  std::uint16_t languageId;       // primary language identifier
  std::uint16_t reserved;         // always 0
  const WideChar* iniName;        // names the ini file and the section in it
  const char* displayName;        // named in the log, not read by any decision
  std::uint8_t available;         // carried, not read by any decision
  const WideChar* transformFile;  // the transform in Files, lower case
};

// Order matters: it is the language index, and the first matching row wins.
constexpr int LanguageTableCount = 10;
inline constexpr LanguageEntry LanguageTable[LanguageTableCount] = {
    {0x09, 0, u"0x0409", "English", 0, u"1033.mst"},
    {0x13, 0, u"0x0413", "Dutch", 0, u"1043.mst"},
    {0x07, 0, u"0x0407", "German", 0, u"1031.mst"},
    {0x10, 0, u"0x0410", "Italian", 0, u"1040.mst"},
    {0x11, 0, u"0x0411", "Japanese", 0, u"1041.mst"},
    {0x0C, 0, u"0x040c", "French", 0, u"1036.mst"},
    {0x0A, 0, u"0x040a", "Spanish", 0, u"1034.mst"},
    {0x1D, 0, u"0x041d", "Swedish", 0, u"1053.mst"},
    {0x04, 0, u"0x0404", "Traditional", 0, u"1028.mst"},
    {0x04, 0, u"0x0804", "Simplified", 0, u"2052.mst"},
};

// A row of LanguageTable, or -1 when the language is not determined.
constexpr int kNoLanguage = -1;

}  // namespace setup

#endif  // SETUP_DETECTION_LANGUAGE_TABLE_H
