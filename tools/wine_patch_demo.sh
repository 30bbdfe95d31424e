#!/bin/bash
# Proves a patch made by make_patch.py with Wine's own installer, in a throwaway prefix:
# builds the sample product (Quarrix Hostrel 1.0.0) and a patch to 1.0.1, applies the patch
# while the product is absent (1605 expected), installs the product, applies the patch, and
# checks what changed: the file on disk, the product version, the patch registration.
#
#   bash tools/wine_patch_demo.sh [--keep]     (--keep leaves the work folder and prefix)
#
# Needs wixl, msiinfo (msitools) and wine. Exit status 0 when every check passed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
keep=no
[ "${1:-}" = --keep ] && keep=yes
for tool in wixl msiinfo wine wineboot wineserver python3; do
  command -v "$tool" >/dev/null || { echo "wine_patch_demo.sh: $tool is missing" >&2; exit 1; }
done

product_code='{683DF0C8-E946-49D9-A28A-54BB3A1A24B0}'
patch_code='{D6515280-EF42-46AD-BDA1-6E90CBA66B77}'
packed() {  # the installer's packed form of a GUID, as under HKCR\Installer
  python3 -c 'import sys; g=sys.argv[1].strip("{}").replace("-", "")
print(g[7::-1] + g[11:7:-1] + g[15:11:-1] + "".join(g[i+1] + g[i] for i in range(16, 32, 2)))' "$1"
}
packed_product=$(packed "$product_code")
packed_patch=$(packed "$patch_code")

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
server_started=no
finish() {
  # Only this prefix's server, which this script started.
  [ "$server_started" = yes ] && wineserver -k 2>/dev/null || true
  if [ "$keep" = yes ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap finish EXIT

since() {  # seconds since a `date +%s%N` stamp, to a tenth
  local ms=$(( ($(date +%s%N) - $1) / 1000000 ))
  printf '%d.%d s' $((ms / 1000)) $((ms % 1000 / 100))
}
failures=0
check() {  # description, expected, actual
  if [ "$2" = "$3" ]; then echo "  PASS $1: $3"
  else echo "  FAIL $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}

echo "== building the product and the patch in $work"
cd "$work"
wixl -o product.msi "$here/sample_product/product.wxs"
python3 "$here/make_patch.py" --package product.msi \
  --replace version.txt="$here/sample_product/version-1.0.1.txt" \
  --product-version 1.0.1 --patch-code "$patch_code" -o Hostrel_1.0.1.msp
msiinfo suminfo Hostrel_1.0.1.msp | grep -E '^(Template|Last author|Revision number)'

echo "== making the prefix"
start=$(date +%s%N)
wineboot -i >/dev/null 2>&1
wineserver -w
# A persistent server with its output elsewhere, so that capturing a wine call's output
# never waits on a server that inherited the pipe.
wineserver -p </dev/null >/dev/null 2>&1
server_started=yes
echo "  wineboot $(since "$start")"
drive="$WINEPREFIX/drive_c/quarrix"
mkdir -p "$drive"
cp product.msi Hostrel_1.0.1.msp "$drive/"

status= seconds=
run_msiexec() {  # runs msiexec with the arguments; sets status (all of it) and seconds
  # The redirection goes first: "echo 0> file" would redirect handle 0.
  printf 'start /wait msiexec %s\r\n> C:\\quarrix\\status.txt echo %%ERRORLEVEL%%\r\n' "$*" \
    > "$drive/run.bat"
  rm -f "$drive/status.txt"
  local t0; t0=$(date +%s%N)
  wine cmd /c 'C:\quarrix\run.bat' >/dev/null 2>&1 </dev/null || true  # the status is in the file
  seconds=$(since "$t0")
  status=$(tr -d '\r\n ' < "$drive/status.txt")
}
reg_value() {  # key value [view]: the value's data as reg prints it
  wine reg query "$1" /v "$2" ${3:-} 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { print $3 }'
}
installed_file() { cat "$WINEPREFIX"/drive_c/Program\ Files*/Quarrix/Hostrel/version.txt 2>/dev/null | tr -d '\r'; }
product_key="HKCR\\Installer\\Products\\$packed_product"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"
userdata_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\$packed_product\\Patches"

echo "== the patch while the product is not installed"
run_msiexec '/p C:\quarrix\Hostrel_1.0.1.msp REINSTALL=ALL /qn'
check "msiexec /p status" 1605 "$status"

echo "== installing the product"
run_msiexec '/i C:\quarrix\product.msi /qn'
install_seconds=$seconds
check "msiexec /i status" 0 "$status"
check "version.txt before" "Hostrel 1.0.0" "$(installed_file)"
check "DisplayVersion before" 1.0.0 "$(reg_value "$uninstall_key" DisplayVersion /reg:32)"
check "registered Version before" 0x1000000 "$(reg_value "$product_key" Version)"

echo "== applying the patch"
run_msiexec '/p C:\quarrix\Hostrel_1.0.1.msp REINSTALL=ALL /qn'
patch_seconds=$seconds
check "msiexec /p status" 0 "$status"
check "version.txt after" "Hostrel 1.0.1" "$(installed_file)"
check "DisplayVersion after" 1.0.1 "$(reg_value "$uninstall_key" DisplayVersion /reg:32)"
check "registered Version after" 0x1000001 "$(reg_value "$product_key" Version)"
check "Patches\\$packed_patch" ':T1;:#T1' "$(reg_value "$product_key\\Patches" "$packed_patch")"
check "Patches list" "$packed_patch" "$(reg_value "$product_key\\Patches" Patches)"
check "UserData AllPatches" "$packed_patch" "$(reg_value "$userdata_key" AllPatches /reg:64)"
check "UserData patch State" 0x1 "$(reg_value "$userdata_key\\$packed_patch" State /reg:64)"
cached=$(ls "$WINEPREFIX/drive_c/windows/Installer/" | grep -ci '\.msp$' || true)
check "patches cached in C:\\windows\\Installer" 1 "$cached"

echo "== install $install_seconds, patch $patch_seconds"
if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
