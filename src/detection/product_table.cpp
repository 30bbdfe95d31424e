#include "detection/product_table.h"

namespace setup {

// Order matters: the first row that qualifies wins.
const ProductEntry ProductTable[ProductTableCount] = {
    {u"382F6AFF466673E4C9EE82C5C18519A1", u"Tessel", u"{}"},
    {u"C428D535F8388D649881B4C01D2448AA", u"Wrenfield", u"{}"},
    {u"8C0FD386649E9D942AA845BBA3A1420B", u"Hostrel", u"{}"},
    {u"01BA1CD1DB921174CA757927C79DD590", u"Ostra", u"{}"},
    {u"C31C5E48B5359B54A94F13A98BE5C40E", u"Loomwork", u"{}"},
    {u"E9F771EAEB8D25642BA165150C621274", u"Tessel", u"{AE177F9E-D8BE-4652-B21A-5651C0262147}"},
    {u"CFEC5A5C742AD604485FA193EF4D3624", u"Brisant", u"{C5A5CEFC-A247-406D-84F5-1A39FED46342}"},
    {u"EAADFC3A3A6E6484DA423B5CBD6BF02C", u"Loomwork", u"{A3CFDAAE-E6A3-4846-AD24-B3C5DBB60FC2}"},
    {u"E359D2F96F56DF147AD77D973394339F", u"Hostrel", u"{9F2D953E-65F6-41FD-A77D-D779334933F9}"},
};

WidePath ProductKeyPath(int row) {
  WidePath path;
  // 51 characters always fit.
  static_cast<void>(path.assign(u"Installer\\Products\\") &&
                    path.append(ProductTable[row].packedCode));
  return path;
}

}  // namespace setup
