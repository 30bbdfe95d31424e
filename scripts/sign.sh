#!/usr/bin/env bash
# Signs a built Setup.exe (Authenticode, SHA-256) with the release engineer's
# certificate and key, using osslsigncode.
#
#   scripts/sign.sh --cert <certificate.pem> --key <key.pem> [options] <Setup.exe> <signed Setup.exe>
#   scripts/sign.sh --pkcs12 <bundle.p12> [options] <Setup.exe> <signed Setup.exe>
#
# --cert         the code-signing certificate (PEM or DER), followed in the
#                same PEM file by any intermediate certificates
# --key          its private key (PEM or DER)
# --pkcs12       certificate, intermediates and key in one PKCS#12 file instead
# --pass-file    a file whose first line is the key's (or bundle's) passphrase;
#                never given on the command line, where other users see it
# --timestamp    an RFC 3161 time-stamp server URL, so that the signature stays
#                valid after the certificate expires (e.g. your CA's server)
# --description  the program name shown in the elevation prompt (default: the
#                project's description in CMakeLists.txt)
#
# The signed copy is written to a temporary name first and moved into place
# only when signing succeeded; the input is never changed. Check the result
# with: osslsigncode verify -in <signed Setup.exe> -CAfile <your root CA, PEM>
set -euo pipefail

usage() {
  sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0" >&2
  exit "${1:-2}"
}
fail() { echo "sign.sh: $*" >&2; exit 1; }

cert="" key="" pkcs12="" pass_file="" timestamp="" description=""
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --cert|--key|--pkcs12|--pass-file|--timestamp|--description)
      [ $# -ge 2 ] || fail "$1 needs a value"
      case "$1" in
        --cert) cert=$2 ;;
        --key) key=$2 ;;
        --pkcs12) pkcs12=$2 ;;
        --pass-file) pass_file=$2 ;;
        --timestamp) timestamp=$2 ;;
        --description) description=$2 ;;
      esac
      shift 2 ;;
    -h|--help) usage 0 ;;
    -*) echo "sign.sh: unknown option $1" >&2; usage ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ "${#positional[@]}" -eq 2 ] || usage
input=${positional[0]}
output=${positional[1]}

command -v osslsigncode >/dev/null || fail "osslsigncode not found (apt-get install osslsigncode, or run scripts/setup.sh)"
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || fail "give either --pkcs12 or --cert with --key, not both"
  signer=(-pkcs12 "$pkcs12")
  credentials=("$pkcs12")
else
  [ -n "$cert" ] && [ -n "$key" ] || fail "give --cert and --key (or --pkcs12)"
  signer=(-certs "$cert" -key "$key")
  credentials=("$cert" "$key")
fi
for file in "$input" "${credentials[@]}" ${pass_file:+"$pass_file"}; do
  [ -f "$file" ] && [ -r "$file" ] || fail "cannot read $file"
done
[ "$(head -c 2 "$input")" = "MZ" ] || fail "$input is not a Windows program"
[ "$(realpath -m "$input")" != "$(realpath -m "$output")" ] || fail "the signed copy must not replace $input"
[ -d "$(dirname "$output")" ] || fail "no folder $(dirname "$output") for the signed copy"
case "$timestamp" in
  ""|http://*|https://*) ;;
  *) fail "--timestamp wants an http:// or https:// URL, not '$timestamp'" ;;
esac
if [ -z "$description" ]; then
  description=$(sed -n 's/^project(.*DESCRIPTION "\([^"]*\)".*/\1/p' "$(dirname "$0")/../CMakeLists.txt" | head -n 1)
fi

options=(sign "${signer[@]}" -h sha256)
[ -z "$pass_file" ] || options+=(-readpass "$pass_file")
[ -z "$description" ] || options+=(-n "$description")
[ -z "$timestamp" ] || options+=(-ts "$timestamp")

partial="$output.partial-$$"
trap 'rm -f "$partial"' EXIT
if ! log=$(osslsigncode "${options[@]}" -in "$input" -out "$partial" 2>&1); then
  echo "$log" >&2
  fail "signing failed (wrong passphrase, a key that does not match the certificate, or the time-stamp server unreachable?)"
fi
mv -f "$partial" "$output"
echo "signed: $output (Authenticode, SHA-256${timestamp:+, time-stamped by $timestamp})"
