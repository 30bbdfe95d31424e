// The checker's own reading of what a run is for: which product row the
// patch picks, which transform the redirection names, what the journal
// holds while it is in place, and whether the installer's command line
// fits. Only the product and language tables' rows are taken from the
// launcher, as data; every decision is made here, so that a launcher
// that decides otherwise is caught rather than followed.
#ifndef SETUP_TESTS_PROOF_PRODUCT_MODEL_H
#define SETUP_TESTS_PROOF_PRODUCT_MODEL_H

#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "detection/product_identification.h"
#include "proof/scenario.h"
#include "sim/fake_machine.h"

namespace setup::proof {

// Per product row: whether its registration opens for reading.
using RowFlags = std::array<bool, ProductTableCount>;

// The row a patch named `patchName` is for: the first row, from the first
// language-pack row on for a language-pack folder, whose keyword the name
// holds (letter case included) and which, if it comes before the
// language-pack rows, is `registered`. kNoProduct for none.
int IdentifiedRow(std::u16string_view patchName, bool languagePack, const RowFlags& registered);

// Every row a run may pick when platform calls fail: the listing may stop
// at any of `patchNames` (or find none), the database may read as no
// language pack, and any registration may fail to open.
std::set<int> RowsUnderFaults(const std::vector<std::u16string>& patchNames, bool languagePack,
                              const RowFlags& registered);

// The transform the redirection names for a product whose own Transforms
// reads `ownText`: the first language row whose transform file name occurs
// in it (ASCII letters in any case), else "1033.mst".
std::u16string TransformOf(std::u16string_view ownText);

// The product's own Transforms, byte for byte, once a run has finished
// what an earlier run left: a string journal goes back where Transforms is
// absent, holds the journal's very bytes and type, is the redirection a
// record names or, beside a journal recording none, a patch folder's
// redirection; else Transforms stays as it is. None: the product has no
// Transforms.
std::optional<sim::RegistryValue> OwnStoredAfterRecovery(
    const std::optional<sim::RegistryValue>& transforms,
    const std::optional<sim::RegistryValue>& backup);

// Whether `journal` says the product had no Transforms: no bytes, a lone
// zero unit, or a zero unit followed by "redirected:".
bool JournalRecordsNone(const sim::RegistryValue& journal);

// The journal a redirection to `redirection` writes for a product whose
// own Transforms is `own`: that value with its type, byte for byte, or,
// for a product without one, REG_SZ holding an empty text, then
// "redirected:" and the redirection, zero-terminated.
sim::RegistryValue JournalFor(const std::optional<sim::RegistryValue>& own,
                              std::u16string_view redirection);

// Whether `text` reads as a patch folder's redirection: "...\Files\" and
// a transform of the language table, ASCII letters in any case.
bool IsPatchFolderRedirection(std::u16string_view text);

// A stored string's text up to its first zero unit: an odd last byte is
// half a unit, no text. `halfUnitAsText` reads that byte as a unit of its
// own instead. None when absent or no string.
std::optional<std::u16string> StoredText(const std::optional<sim::RegistryValue>& value,
                                         bool halfUnitAsText = false);

// The patch folder as the launcher finds it on `machine`.
struct PatchFolder {
  // The checker follows the layout: the folder was given and no file name
  // holds a path separator or is empty, "." or "..".
  bool modelled = false;
  std::u16string longFolder;   // the current directory, ending in '\'; "" unread
  std::u16string shortFolder;  // the same in 8.3 names where it has them
  std::u16string percentCd;    // what "%CD%" stands for
  // The patch package the installer is handed ("" for none), and every
  // package a listing cut short may stop at.
  std::u16string patchName;
  std::vector<std::u16string> patchNames;
  bool languagePack = false;  // the folder's first *.msi is a language-pack database
};

PatchFolder ReadPatchFolder(const Scenario& scenario, const sim::FakeMachine& machine);

// `folder` (ending in '\', at most 999 units) with "Files\" and
// `transform`, as Transforms is redirected; none when the folder is
// unusable or the path exceeds 259 units.
std::optional<std::u16string> RedirectionIn(const std::u16string& folder,
                                            std::u16string_view transform);

// The tail with every "%CD%" (name in any case) replaced by `cd`, the one
// variable a scenario defines; a substring form "%CD:...%" stays whole and
// any other "%" is text. None when it exceeds 999 units.
std::optional<std::u16string> ExpandedTail(std::u16string_view tail, std::u16string_view cd);

// Units of the interpreter's command line: "/D /E:ON /V:OFF /C ", the
// system folder, "\msiexec.exe /p ", the patch path (quoted when it holds a
// blank or one of & | < > ^ ( )), " REINSTALL=ALL " and the arguments,
// with a caret before each of & | < > ^ ( ) outside quotes; every "%",
// in the path too, written as "%%cd:~,%".
std::size_t InstallerLineUnits(std::u16string_view systemFolder, std::u16string_view patchPath,
                               std::u16string_view arguments);

// Units a long text buffer of the launcher's holds, its terminator aside.
constexpr std::size_t kLongTextUnits = 999;
constexpr std::size_t kPathUnits = 259;

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_PRODUCT_MODEL_H
