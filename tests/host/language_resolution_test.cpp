#include "detection/language_resolution.h"

#include <string>
#include <vector>

#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "patch_folder.h"
#include "sim/utf16_bytes.h"

namespace setup {
namespace {

using sim::Operation;
using testing::PatchFolderTest;

const std::string kHostrelKey = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";

class LanguageResolutionTest : public PatchFolderTest {
 protected:
  LanguageResolutionTest() { CaptureFolder(); }

  // The language a refused run speaks in, and the product it identified.
  ResolvedLanguage Resolve() { return ResolveLanguage(machine, run, folder); }

  // Hostrel_Update.msp with row 2's product registered.
  void RegisterHostrel(const char* transforms) {
    AddPatchFile("Hostrel_Update.msp");
    machine.AddKey(kHostrelKey);
    if (transforms != nullptr) machine.SetString(kHostrelKey, "Transforms", transforms);
  }

  void AddIni(const char* iniName, const std::u16string& description) {
    const std::u16string section = machine.DecodeAnsi(iniName);
    machine.SetIniValue(std::string(testing::kPatchFolder) + "\\" + iniName + ".ini", section,
                        u"DESCRIPTION", description);
  }
};

struct TransformsCase {
  const char* transforms;
  int expectedIndex;
};

class TransformsLanguageTest : public LanguageResolutionTest,
                               public ::testing::WithParamInterface<TransformsCase> {};

TEST_P(TransformsLanguageTest, FirstTableTransformNamedInTheValueWins) {
  RegisterHostrel(GetParam().transforms);
  const ResolvedLanguage resolved = Resolve();
  EXPECT_EQ(resolved.row, GetParam().expectedIndex) << "Transforms: " << GetParam().transforms;
  EXPECT_EQ(resolved.product, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TransformsLanguageTest,
    ::testing::Values(TransformsCase{":1031.mst", 2}, TransformsCase{"C:\\Some Where\\1031.mst", 2},
                      TransformsCase{"C:\\X\\1036.MST", 5}, TransformsCase{"1031.mst;1033.mst", 0},
                      TransformsCase{":2052.mst", 9}, TransformsCase{":1028.mst", 8},
                      TransformsCase{":1049.mst", kNoLanguage}, TransformsCase{"", kNoLanguage}));

TEST_F(LanguageResolutionTest, LongTransformsValueStillGivesItsLanguage) {
  const std::string longValue = "C:\\" + std::string(300, 'p') + "\\1031.mst";
  RegisterHostrel(longValue.c_str());
  EXPECT_EQ(Resolve().row, 2) << "a value past 260 bytes is read whole";
}

// Half a unit is no letter: ":1031.ms" and a lone byte 't' names no transform, whichever step
// reads it (the redirection takes 1033 for it too).
TEST_F(LanguageResolutionTest, HalfAUnitIsNoLetter) {
  RegisterHostrel(nullptr);
  std::vector<std::uint8_t> odd = sim::Utf16Bytes(u":1031.ms", false);
  odd.push_back('t');
  machine.SetRawValue(kHostrelKey, "Transforms", REG_SZ, odd);
  EXPECT_EQ(Resolve().row, kNoLanguage);
  odd.push_back(0);
  machine.SetRawValue(kHostrelKey, "Transforms", REG_SZ, odd);
  EXPECT_EQ(Resolve().row, 2) << "the same unit whole";
}

TEST_F(LanguageResolutionTest, IdentifiedProductWithoutTransformsIsUndetermined) {
  RegisterHostrel(nullptr);
  machine.SetSystemLanguage(0x0407);
  AddIni("0x0407", u"Deutsch");
  EXPECT_EQ(Resolve().row, kNoLanguage) << "the system must not be consulted";
}

TEST_F(LanguageResolutionTest, UnreadableRegistrationIsUndetermined) {
  RegisterHostrel(":1031.mst");
  machine.FailCall(Operation::RegOpenKeyExW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Resolve().row, kNoLanguage);
}

TEST_F(LanguageResolutionTest, IdentifiesTheProductOfThePatch) {
  RegisterHostrel(":1040.mst");
  const ResolvedLanguage resolved = Resolve();
  EXPECT_EQ(resolved.row, 3);
  EXPECT_EQ(resolved.product, 2);
}

struct SystemCase {
  std::uint16_t languageId;
  const char* iniName;  // ini file present with a description; null for none
  int expectedIndex;
};

class SystemLanguageTest : public LanguageResolutionTest,
                           public ::testing::WithParamInterface<SystemCase> {};

TEST_P(SystemLanguageTest, NoProductFallsBackToTheSystemLanguageWithItsIni) {
  const SystemCase& c = GetParam();
  AddPatchFile("Unknown_Update.msp");
  machine.SetSystemLanguage(c.languageId);
  if (c.iniName != nullptr) AddIni(c.iniName, u"Language pack");
  const ResolvedLanguage resolved = Resolve();
  EXPECT_EQ(resolved.row, c.expectedIndex) << "language id 0x" << std::hex << c.languageId;
  EXPECT_EQ(resolved.product, kNoProduct);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemLanguageTest,
    ::testing::Values(SystemCase{0x0C0A, "0x040a", 6}, SystemCase{0x0C0A, nullptr, 0},
                      SystemCase{0x500A, "0x040a", 6}, SystemCase{0x540A, "0x040a", 0},
                      SystemCase{0x0407, "0x0407", 2}, SystemCase{0x1407, "0x0407", 2},
                      SystemCase{0x0813, "0x0413", 1}, SystemCase{0x0810, "0x0410", 3},
                      SystemCase{0x0411, "0x0411", 4}, SystemCase{0x180C, "0x040c", 5},
                      SystemCase{0x081D, "0x041d", 7}, SystemCase{0x0404, "0x0404", 0},
                      SystemCase{0x0804, "0x0804", 0}, SystemCase{0x0409, "0x0409", 0},
                      SystemCase{0x0419, nullptr, 0}));

TEST_F(LanguageResolutionTest, IniNeedsANonEmptyDescriptionInItsOwnSection) {
  EXPECT_FALSE(HasLanguageIni(machine, folder, 6)) << "no file";
  AddIni("0x040a", u"");
  EXPECT_FALSE(HasLanguageIni(machine, folder, 6)) << "empty description";
  machine.SetIniValue(std::string(testing::kPatchFolder) + "\\0x040a.ini", u"0x0409",
                      u"DESCRIPTION", u"English");
  EXPECT_FALSE(HasLanguageIni(machine, folder, 6)) << "description in another section";
  AddIni("0x040a", u"Espa\u00f1ol");
  EXPECT_TRUE(HasLanguageIni(machine, folder, 6));
}

TEST_F(LanguageResolutionTest, IniPathThatDoesNotFitIsNoIni) {
  // 250 units of folder leave no room for "0x040a.ini" in 260.
  ASSERT_TRUE(folder.path.assign((u"C:\\" + std::u16string(246, u'x')).c_str()));
  EXPECT_FALSE(HasLanguageIni(machine, folder, 6));
  EXPECT_EQ(machine.CallCount(Operation::GetPrivateProfileStringW), 0u);
}

TEST_F(LanguageResolutionTest, NoSourceFolderIsNoIni) {
  folder = PatchFolder{};
  EXPECT_FALSE(HasLanguageIni(machine, folder, 0)) << "a bare name would be looked up elsewhere";
  EXPECT_EQ(machine.CallCount(Operation::GetPrivateProfileStringW), 0u);
}

}  // namespace
}  // namespace setup
