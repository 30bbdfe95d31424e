#!/usr/bin/env bash
# Installs everything the build and the tests use, on Debian 12. Idempotent:
# packages already present are not fetched again.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  clang libclang-rt-dev
  libgtest-dev googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64
  msitools wixl libmsi-dev libglib2.0-dev
  gcab python3-gi gir1.2-gcab-1.0 gir1.2-gsf-1 gir1.2-libmsi-1.0
  xvfb xdotool file python3 locales
  osslsigncode python3-pefile openssl
  ansible
)

# Locales the Wine tests start programs under, for their code pages.
locales=(ja_JP.UTF-8 de_DE.UTF-8)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  # A mirror caught mid-sync fails the update for a while: try again, then
  # go on with the lists there are (the install says what is missing).
  for attempt in 1 2 3 4 5; do
    if "${sudo_cmd[@]}" apt-get update -qq; then break; fi
    [ "$attempt" -lt 5 ] && sleep 20
  done
fi
if [ "${#missing[@]}" -gt 0 ]; then
  install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
  if ! "${sudo_cmd[@]}" "${install[@]}" "${missing[@]}"; then
    # With one architecture's security list missing (a mirror mid-sync),
    # i386 libraries cannot match their amd64 twins' security versions:
    # take both from the release instead, for this install only.
    pins=$(mktemp -d)
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pins/security"
    "${sudo_cmd[@]}" "${install[@]}" -o Dir::Etc::PreferencesParts="$pins" "${missing[@]}"
    rm -rf "$pins"
  fi
fi

for locale_name in "${locales[@]}"; do
  if ! locale -a 2>/dev/null | grep -qix "${locale_name/UTF-8/utf8}"; then
    "${sudo_cmd[@]}" sed -i "s/^# *${locale_name} UTF-8/${locale_name} UTF-8/" /etc/locale.gen
    grep -q "^${locale_name} UTF-8" /etc/locale.gen || echo "${locale_name} UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    need_locale_gen=1
  fi
done
if [ -n "${need_locale_gen:-}" ]; then
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# The workflow linter: npm's @action-validator/cli, which checks a workflow file against the
# published GitHub Actions schema. Without it the test command reports its stage skipped.
linter=/opt/setup-tools/node_modules/.bin/action-validator
if [ ! -x "$linter" ]; then
  if ! command -v npm >/dev/null; then
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null || true
  fi
  if ! "${sudo_cmd[@]}" npm install --no-audit --no-fund --prefix /opt/setup-tools \
      @action-validator/cli@0.6.0 @action-validator/core@0.6.0 >/dev/null 2>&1; then
    echo "setup.sh: the workflow linter could not be installed; its test stage is skipped" >&2
  fi
fi
