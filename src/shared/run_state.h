// What one run of the launcher learns and decides, passed to each step, so
// that nothing of one run can leak into the next.
#ifndef SETUP_SHARED_RUN_STATE_H
#define SETUP_SHARED_RUN_STATE_H

#include <optional>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/log_line.h"
#include "shared/run_log.h"
#include "shared/secret_masking.h"

namespace setup {

// A row of the product table, or this when no product is identified.
constexpr int kNoProduct = -1;

// The patch packages of the Files subfolder: files whose long name ends in
// ".msp", in name order (A to Z taken as a to z), so that every machine
// gives the installer the same one.
struct PatchPackages {
  static constexpr std::uint32_t kNamed = 4;  // ignored packages named in the log
  WidePath chosen;                            // the first by name; "" for none
  WidePath next[kNamed];                      // the next ones by name, for the log
  std::uint32_t count = 0;                    // found, counted up to 10,000
};

// What the pre-flight lines found, for the summary's warnings (its keys,
// in bit order, are in run_summary.cpp). Added only ever at the end.
enum RunWarning : std::uint32_t {
  kWarnNoPatch = 1u << 0,
  kWarnSeveralPatches = 1u << 1,
  kWarnNoKeyword = 1u << 2,
  kWarnNotPerMachine = 1u << 3,
  kWarnTransformMissing = 1u << 4,
  kWarnIniUtf8 = 1u << 5,
};

// What the redirection left for the restore to finish.
struct Redirection {
  int product = kNoProduct;  // whose TransformsBackup this run wrote; the restore finishes it
  // Transforms was, or may have been, overwritten with `written`.
  bool transformsWritten = false;
  WidePath written;
};

// Whether the launcher's own message boxes may be shown, and if not, why.
// The window station is asked only when the first message is due: most
// runs show none, and the question costs user32's start-up.
enum class UserMessages {
  HiddenBySwitch,          // an installer switch asks for no dialogs
  HiddenInSessionZero,     // the services' session, where nobody sees a box
  HiddenSessionUnknown,    // the session could not be read: it may be 0
  HiddenNoVisibleStation,  // the window station says it is not visible
  ShownIfStationVisible,
  Shown,
};

struct RunState {
  // The current directory at start, short (8.3) where it can be, ending in
  // a backslash, as it goes unquoted into the registry; empty when unread.
  WideLongText SourceFolder;
  WideLongText CurrentDirectory;  // the same, long, as a prompt's %CD% gives it
  // SourceFolder without its backslash, for the patch folder's paths;
  // empty when SourceFolder is or it does not fit a path.
  WidePath SourceFolderPath;
  int CurrentProduct = kNoProduct;  // the last identification's row, or the restore's
  // Facts listed or read once a run, empty until then.
  std::optional<PatchPackages> Packages;
  std::optional<bool> LanguagePack;  // the patch folder's database is a language-pack installer
  // The passed-on arguments as expanded (argument_expansion.h) by the check before anything
  // changes, which of their units came from variables, and the expansion's status.
  WideLongText Arguments;
  UnitsFromVariables ArgumentsFromVariables;
  std::optional<Status> ArgumentsExpansion;
  Redirection CurrentRedirection;  // set by the redirection, read by the restore
  bool InstallerStarted = false;
  bool RegistrationFound = false;  // CurrentProduct's registration was found by the redirection
  UserMessages Messages = UserMessages::ShownIfStationVisible;
  std::uint32_t Warnings = 0;  // RunWarning bits
  RunLog Log;
};

}  // namespace setup

#endif  // SETUP_SHARED_RUN_STATE_H
