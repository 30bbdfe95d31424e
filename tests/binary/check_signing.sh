#!/usr/bin/env bash
# The signing round trip: a throwaway certificate authority, code-signing
# certificate and time-stamp authority, made here and deleted after, sign a
# copy of Setup.exe through scripts/sign.sh (a local RFC 3161 server
# answering the time-stamp request). The signature must verify against that
# authority and break when a byte changes, and the signed copy must run under
# Wine exactly as the unsigned one does.
#   tests/binary/check_signing.sh <windows build folder>
set -euo pipefail
repository=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(cd "${1:?usage: check_signing.sh <windows build folder>}" && pwd)
setup_exe="$build_dir/src/Setup.exe"
scratch=$(mktemp -d)
server=""
cleanup() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
cd "$scratch"

# The authority, a signer whose key has a passphrase, and a time-stamp authority.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Throwaway Test Root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl rand -hex 16 >pass.txt
issue() {  # <name> <extended key usage>
  openssl req -new -newkey rsa:2048 -keyout "$1.key" -passout file:pass.txt -out "$1.csr" -subj "/CN=Throwaway $1" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,%s\n' "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -set_serial "0x$(openssl rand -hex 8)" -days 2 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
issue signer codeSigning
issue tsa timeStamping
cat >tsa.cnf <<'EOF'
[tsa]
default_tsa = throwaway
[throwaway]
serial = tsa.serial
signer_cert = tsa.pem
signer_key = tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256
ess_cert_id_alg = sha256
EOF
echo 01 >tsa.serial

# A local RFC 3161 server: each POSTed query answered by openssl ts.
cat >tsa_server.py <<'EOF'
import http.server, subprocess, sys
class Answer(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "/dev/stdin",
                                "-passin", "file:pass.txt", "-out", "/dev/stdout"], input=query,
                               capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Answer)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
python3 tsa_server.py >tsa.port &
server=$!
for _ in $(seq 50); do [ -s tsa.port ] && break; sleep 0.1; done
[ -s tsa.port ] || { echo "FAIL: the local time-stamp server did not start" >&2; exit 1; }

bash "$repository/scripts/sign.sh" --cert signer.pem --key signer.key --pass-file pass.txt \
  --timestamp "http://127.0.0.1:$(cat tsa.port)/" "$setup_exe" Setup.exe

if ! verified=$(osslsigncode verify -in Setup.exe -CAfile ca.pem -TSA-CAfile ca.pem 2>&1); then
  echo "$verified" >&2
  echo "FAIL: the signed copy does not verify against the throwaway authority" >&2
  exit 1
fi
for expected in "SHA256" "Timestamp"; do
  grep -qi "$expected" <<<"$verified" || { echo "$verified" >&2; echo "FAIL: no $expected in the signature" >&2; exit 1; }
done
echo "PASS  signature: Authenticode SHA-256, time-stamped, verifies against the throwaway authority"

# A byte of code changed after signing must break the signature.
python3 -c 'import sys; data = bytearray(open(sys.argv[1], "rb").read()); data[0x440] ^= 1
open(sys.argv[2], "wb").write(data)' Setup.exe tampered.exe
if osslsigncode verify -in tampered.exe -CAfile ca.pem -TSA-CAfile ca.pem >/dev/null 2>&1; then
  echo "FAIL: a signed copy with a changed byte still verifies" >&2
  exit 1
fi
echo "PASS  tampering: a changed byte breaks the signature"

# Without its signature the signed copy is the built binary again, so a
# signed release can be held against a reproduced build's hash.
osslsigncode remove-signature -in Setup.exe -out unsigned.exe >/dev/null
cmp -s unsigned.exe "$setup_exe" || { echo "FAIL: removing the signature does not give back the built bytes" >&2; exit 1; }
echo "PASS  unsigning: gives back the built binary, SHA-256 $(sha256sum <unsigned.exe | cut -d' ' -f1)"

# Signed and unsigned, side by side in one Wine prefix: same status, same
# installer command line, the product's registration put back.
PYTHONDONTWRITEBYTECODE=1 python3 - "$repository" "$build_dir" "$scratch/Setup.exe" <<'EOF'
import os, shutil, sys
repository, build_dir, signed = sys.argv[1:]
sys.path.insert(0, os.path.join(repository, "tests", "wine"))
import harness

key = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"  # what a "Hostrel" patch is for
artifacts = harness.Artifacts.locate(build_dir)
outcomes = {}
with harness.WinePrefix(artifacts) as prefix:
    prefix.set_values(key, {"ProductName": "Quarrix Hostrel", "Transforms": ":1031.mst"})
    for name, program in (("Unsigned", artifacts.setup), ("Signed", signed)):
        folder = prefix.make_patch_folder(name, with_setup=False)
        shutil.copyfile(program, folder.file("Setup.exe"))
        run = prefix.run_setup(folder, "/qn", record_keys=(key,))
        outcomes[name] = (run.status, [r["command_line"].replace(name, "<folder>") for r in run.records],
                          prefix.read_values(key))
        print(f"{name}: exit {run.status}, installer {outcomes[name][1]}, after: {outcomes[name][2]}")
if outcomes["Signed"] != outcomes["Unsigned"] or outcomes["Signed"][0] != 0 or len(outcomes["Signed"][1]) != 1:
    sys.exit("FAIL: the signed copy ran differently from the unsigned one, or not to success")
print("PASS  signed run: under Wine as the unsigned one, exit 0, the installer started once")
EOF
