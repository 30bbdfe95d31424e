#include "detection/product_identification.h"

#include <string>

#include "discovery/file_discovery.h"
#include "patch_folder.h"
#include "sim/utf16_bytes.h"

namespace setup {
namespace {

using sim::Operation;
using testing::PatchFolderTest;

std::string KeyOfRow(int row) { return sim::AsciiText(ProductKeyPath(row).c_str()); }

class ProductIdentificationTest : public PatchFolderTest {
 protected:
  ProductIdentificationTest() { CaptureFolder(); }

  void Register(int row) { machine.AddKey(KeyOfRow(row)); }

  // The row the patch folder's package identifies.
  int Identified() {
    return IdentifyProduct(machine, run, folder, ListPatchPackages(machine, run, folder).chosen)
        .row;
  }

  int Identify(const std::string& patchFile) {
    AddPatchFile(patchFile);
    return Identified();
  }
};

TEST_F(ProductIdentificationTest, RegisteredRowWinsOverItsKeywordOnlyTwin) {
  Register(2);
  EXPECT_EQ(Identify("Hostrel_Update.msp"), 2);
}

TEST_F(ProductIdentificationTest, UnregisteredProductFallsToTheKeywordOnlyRow) {
  EXPECT_EQ(Identify("Hostrel_Update.msp"), 8);
}

TEST_F(ProductIdentificationTest, KeywordMustMatchLetterCase) {
  Register(2);
  EXPECT_EQ(Identify("hostrel_update.msp"), kNoProduct);
}

TEST_F(ProductIdentificationTest, RowsWithoutKeywordOnlyTwinNeedTheirRegistration) {
  EXPECT_EQ(Identify("Wrenfield_Update.msp"), kNoProduct);
}

TEST_F(ProductIdentificationTest, NameWithTwoKeywordsTakesTheFirstQualifyingRow) {
  AddPatchFile("Tessel_Loomwork.msp");
  EXPECT_EQ(Identified(), 5) << "nothing registered: row 5 on the keyword alone";
  Register(4);
  EXPECT_EQ(Identified(), 4);
  Register(0);
  EXPECT_EQ(Identified(), 0);
}

TEST_F(ProductIdentificationTest, KeywordOnlyRowNeedsNoRegistryAtAll) {
  AddPatchFile("Brisant_Update.msp");
  EXPECT_EQ(Identified(), 6);
  EXPECT_EQ(machine.CallCount(Operation::RegOpenKeyExW), 0u);
}

TEST_F(ProductIdentificationTest, KeywordInTheFolderPathOnlyIsNoMatch) {
  machine.AddFolder("C:\\Hostrel");
  machine.AddFolder("C:\\Hostrel\\Files");
  machine.AddFile("C:\\Hostrel\\Files\\Update.msp");
  machine.SetCurrentDirectory("C:\\Hostrel");
  CaptureFolder();
  Register(2);
  EXPECT_EQ(Identified(), kNoProduct);
}

TEST_F(ProductIdentificationTest, KeyThatCannotBeReadDoesNotQualify) {
  Register(0);
  machine.DenyRead(KeyOfRow(0));
  Register(4);
  EXPECT_EQ(Identify("Tessel_Loomwork.msp"), 4);
}

TEST_F(ProductIdentificationTest, NoPatchPackageIdentifiesNothing) {
  Register(2);
  EXPECT_EQ(Identified(), kNoProduct);
}

TEST_F(ProductIdentificationTest, LanguagePackDatabaseTakesOnlyKeywordOnlyRows) {
  AddDatabase("Pack.msi", {{"LanguagePackInstaller", "1"}});
  Register(0);
  Register(2);
  Register(3);
  EXPECT_EQ(Identify("Hostrel_Update.msp"), 8);
  machine.AddFile(std::string(testing::kPatchFolder) + "\\Files\\A_Tessel_Update.msp");
  EXPECT_EQ(Identified(), 5);
  EXPECT_EQ(machine.CallCount(Operation::RegOpenKeyExW), 0u) << "no registration is looked at";
}

TEST_F(ProductIdentificationTest, LanguagePackForARowWithoutKeywordOnlyTwinIsNothing) {
  AddDatabase("Pack.msi", {{"LanguagePackInstaller", "1"}});
  Register(3);
  EXPECT_EQ(Identify("Ostra_Update.msp"), kNoProduct);
}

TEST_F(ProductIdentificationTest, EveryRunStartsAfreshFromTheFirstRow) {
  Register(2);
  EXPECT_EQ(Identify("Hostrel_Update.msp"), 2);
  machine.RemoveKey(KeyOfRow(2));
  EXPECT_EQ(Identified(), 8);
}

}  // namespace
}  // namespace setup
