#!/bin/sh
# Builds the installer databases the Win32 tests read (test_databases.h),
# with msibuild from msitools, so that msi.dll is checked against files it
# did not make itself. One folder per case, each holding one Package.msi:
#   tests/win32/make_test_databases.sh <output-folder>
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 <output-folder>" >&2
  exit 2
fi
out=$1
command -v msibuild >/dev/null 2>&1 || { echo "$0: msibuild (msitools) not found" >&2; exit 2; }

idt=$(mktemp -d)
trap 'rm -rf "$idt"' EXIT

# A Property table holding ProductLanguage and, when given, a
# LanguagePackInstaller row with the value $2 (blanks kept).
#   property_database <case> [<LanguagePackInstaller value>]
property_database() {
  mkdir -p "$out/$1"
  {
    printf 'Property\tValue\n'
    printf 's72\tl0\n'
    printf 'Property\tProperty\n'
    printf 'ProductLanguage\t1033\n'
    if [ $# -ge 2 ]; then printf 'LanguagePackInstaller\t%s\n' "$2"; fi
  } >"$idt/Property.idt"
  rm -f "$out/$1/Package.msi"
  msibuild "$out/$1/Package.msi" -i "$idt/Property.idt"
}

property_database language-pack-1 1
property_database language-pack-0 0
property_database language-pack-blank-1 ' 1'
# "1" and 299 zeros: longer than any MAX_PATH buffer.
property_database language-pack-long "1$(printf '%0299d' 0)"
property_database no-language-pack-row

# A database with its system tables only: no Property table.
mkdir -p "$out/no-property-table"
rm -f "$out/no-property-table/Package.msi"
msibuild "$out/no-property-table/Package.msi" -s "No Property table"

# Text under an installer database's name.
mkdir -p "$out/not-a-database"
printf 'This is not an installer database.\r\n' >"$out/not-a-database/Package.msi"
