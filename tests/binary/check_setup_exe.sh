#!/usr/bin/env bash
# Setup.exe must be a 32-bit GUI program that needs nothing but system DLLs:
# it runs elevated from download folders, where a planted DLL must find no
# import to stand in for.
set -euo pipefail
exe=${1:?usage: check_setup_exe.sh path/to/Setup.exe}

format=$(file -b "$exe")
case "$format" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "FAIL: $exe is '$format', expected a PE32 GUI Intel 80386 program" >&2; exit 1 ;;
esac

imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
allowed="kernel32.dll msvcrt.dll"
for dll in $imports; do
  case " $allowed " in
    *" $dll "*) ;;
    *) echo "FAIL: $exe imports $dll; only $allowed may be imported" >&2; exit 1 ;;
  esac
done
echo "Setup.exe: $format; imports: $(echo $imports)"
