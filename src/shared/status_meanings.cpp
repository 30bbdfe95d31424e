#include "shared/status_meanings.h"

namespace setup {

namespace {

struct Meaning {
  Status status;
  const char* words;
};

constexpr Meaning kMeanings[] = {
    {0, "success"},
    {1, "a product service is not stopped"},
    {2, "not found"},
    {3, "path not found"},
    {5, "access denied"},
    {6, "invalid handle"},
    {8, "not enough memory"},
    {80, "the file exists"},
    {112, "the disk is full"},
    {122, "text too long for its buffer"},
    {126, "the DLL was not found"},
    {127, "the DLL lacks a function"},
    {182, "a DLL function's ordinal and name differ; it is not used"},
    {234, "more data than the buffer holds"},
    {1602, "the user cancelled the installation"},
    {1603, "the installation failed"},
    {1605, "the product is not installed"},
    {1618, "another installation is in progress"},
    {1636, "the patch package could not be opened"},
    {1641, "success; the installer started a restart"},
    {1642, "the patch does not apply to what is installed"},
    {3010, "success; a restart is needed to complete it"},
};

}  // namespace

const char* StatusMeaning(Status status) {
  for (const Meaning& meaning : kMeanings) {
    if (meaning.status == status) return meaning.words;
  }
  return nullptr;
}

LogLine& operator<<(LogLine& line, StatusText text) {
  line << text.status;
  if (const char* meaning = StatusMeaning(text.status)) line << " (" << meaning << ")";
  return line;
}

}  // namespace setup
