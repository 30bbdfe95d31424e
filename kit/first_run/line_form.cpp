#include "line_form.h"

#include "detection/product_identification.h"
#include "runner/installer_command_line.h"

namespace first_run {

namespace {

// wchar_t is a UTF-16 unit on Windows, as the logic's WideChar is.
static_assert(sizeof(wchar_t) == sizeof(setup::WideChar), "UTF-16 wchar_t");

const setup::WideChar* Units(const std::wstring& text) {
  return reinterpret_cast<const setup::WideChar*>(text.c_str());
}

std::wstring Text(const setup::WideChar* units) {
  return reinterpret_cast<const wchar_t*>(units);
}

}  // namespace

std::wstring InstallerLine(const std::wstring& installerFolder, const std::wstring& patchPath,
                           const std::wstring& arguments) {
  if (!setup::PatchPathCanBeCarried(Units(patchPath)) ||
      !setup::InterpreterCanCarry(Units(arguments))) {
    return std::wstring();
  }
  setup::WideLongText line;
  setup::BuildInstallerCommandLine(Units(installerFolder), Units(patchPath), Units(arguments),
                                   line);
  return Text(line.c_str());
}

int RegisteredRowCount() { return setup::kFirstKeywordOnlyRow; }

TableProduct RegisteredRow(int row) {
  return {Text(setup::ProductTable[row].keyword), Text(setup::ProductKeyPath(row).c_str())};
}

}  // namespace first_run
