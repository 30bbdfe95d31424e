#!/usr/bin/env bash
# Builds Setup.exe twice from one snapshot of the source, in two different
# source and build folders, at two different times and time zones, and
# fails unless the two are byte for byte the same.
#   tests/binary/check_reproducible.sh
# The snapshot (the tracked and new files of the working tree) keeps edits
# made meanwhile out of the comparison. Its time stamp comes from
# SOURCE_DATE_EPOCH, else the last commit's date, as a release build's does.
set -euo pipefail
repository=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$repository" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

mkdir -p "$scratch/one/source"
(cd "$repository" && git ls-files -co --exclude-standard -z | xargs -0 tar cf - --) | tar xf - -C "$scratch/one/source"
mkdir -p "$scratch/second place"
cp -a "$scratch/one/source" "$scratch/second place/source tree"

build() {  # <source folder> <build folder> <time zone>; the release preset, Setup.exe only
  (cd "$1" && TZ=$3 cmake --preset windows -B "$2" >/dev/null && TZ=$3 cmake --build "$2" --target Setup -j "$(nproc)" >/dev/null)
}
build "$scratch/one/source" "$scratch/one/build" UTC
sleep 1  # a build time, were one written, would differ
build "$scratch/second place/source tree" "$scratch/second place/build folder" Pacific/Kiritimati

first=$(sha256sum <"$scratch/one/build/src/Setup.exe" | cut -d' ' -f1)
second=$(sha256sum <"$scratch/second place/build folder/src/Setup.exe" | cut -d' ' -f1)
echo "Setup.exe SHA-256, first build:  $first"
echo "Setup.exe SHA-256, second build: $second"
if [ "$first" != "$second" ]; then
  echo "FAIL: the two builds of Setup.exe differ:" >&2
  cmp -l "$scratch/one/build/src/Setup.exe" "$scratch/second place/build folder/src/Setup.exe" | head -n 20 >&2 || true
  exit 1
fi
if grep -aqF "$scratch" "$scratch/one/build/src/Setup.exe"; then
  echo "FAIL: Setup.exe names the folder it was built in ($scratch)" >&2
  exit 1
fi
echo "PASS  reproducible: the same bytes from two folders and times"
