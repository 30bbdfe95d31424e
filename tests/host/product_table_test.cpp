#include "detection/product_identification.h"

#include <gtest/gtest.h>

#include <string>
#include "sim/utf16_bytes.h"

namespace setup {
namespace {

// Windows Installer's packed form of a braced product code: the first three
// groups reversed digit by digit, each remaining byte's two digits swapped.
std::string PackProductCode(const std::string& braced) {
  std::string digits;
  for (char c : braced) {
    if (c != '{' && c != '}' && c != '-') digits += c;
  }
  if (digits.size() != 32) return "not a product code: " + braced;
  std::string packed(digits.rbegin() + 24, digits.rend());
  packed += std::string(digits.rbegin() + 20, digits.rbegin() + 24);
  packed += std::string(digits.rbegin() + 16, digits.rbegin() + 20);
  for (std::size_t i = 16; i < 32; i += 2) {
    packed += digits[i + 1];
    packed += digits[i];
  }
  return packed;
}

TEST(ProductTable, KeywordOnlyRowsCarryTheirOwnProductCodes) {
  for (int row = kFirstKeywordOnlyRow; row < ProductTableCount; ++row) {
    EXPECT_EQ(PackProductCode(sim::AsciiText(ProductTable[row].bracedCode)),
              sim::AsciiText(ProductTable[row].packedCode))
        << "row " << row;
  }
  EXPECT_EQ(PackProductCode("{AE177F9E-D8BE-4652-B21A-5651C0262147}"),
            "E9F771EAEB8D25642BA165150C621274");
}

TEST(ProductTable, PackedCodesAreThirtyTwoUpperCaseHexDigits) {
  for (const ProductEntry& entry : ProductTable) {
    const std::string code = sim::AsciiText(entry.packedCode);
    EXPECT_EQ(code.size(), 32u) << code;
    EXPECT_EQ(code.find_first_not_of("0123456789ABCDEF"), std::string::npos) << code;
  }
}

TEST(ProductTable, KeyPathIsUnderTheInstallersProducts) {
  EXPECT_EQ(std::u16string(ProductKeyPath(2).c_str()),
            u"Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B");
  EXPECT_EQ(ProductKeyPath(8).length(), 51u);
}

}  // namespace
}  // namespace setup
