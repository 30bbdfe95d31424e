#!/usr/bin/env python3
"""Write a deployment kit for a patch folder (Setup.exe beside Files\\<name>.msp): a detection
script for Intune and Configuration Manager, an Ansible playbook, the unattended command line
and the return codes, all naming the codes the patch itself holds.

The patch is read with libmsi, as make_patch.py writes it: the patch code is the first GUID of
its Revision Number, the products it targets are its Template.
"""

import argparse
import os
import re
import sys
import tempfile
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_patch import (PATCH_CLSID, Bindings, TargetError, normal_guid,  # noqa: E402
                        packed_code, reexec_for_bindings)

GUID = r"\{[0-9A-Fa-f]{8}(?:-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}"
COMPOUND_MAGIC = bytes.fromhex("D0CF11E0A1B11AE1")
DATABASE_CLSID = "{000C1084-0000-0000-C000-000000000046}"
# As docs/deploying.md gives them: the launcher passes everything after Setup.exe to the
# installer, and the statuses its deployment tools are told.
ARGUMENTS = "/qn REBOOT=ReallySuppress"
# The installer's log in a folder only administrators can write, which exists on every
# machine (the installer creates no missing folder).
COMMAND_LINE = ARGUMENTS + ' /l*v+ "%SystemRoot%\\Logs\\QuarrixPatch_msi.log"'
RETURN_CODES = [
    ("0, 1707", "Success", "Patch applied (1707 is the installer's own success, passed on)."),
    ("3010", "Soft reboot", "Applied; a restart is needed."),
    ("1641", "Hard reboot", "Applied; the installer started a restart (only without "
                            "`REBOOT=ReallySuppress`)."),
    ("1618", "Retry", "Another launcher or installation was running; nothing changed."),
    ("1", "Failure", "A product service was running or could not be read; nothing changed."),
    ("1639", "Failure", "A command line the interpreter cannot carry."),
    ("1602, 1603", "Failure", "Cancelled; installation failed. Read both logs."),
    ("1605", "Failure", "The product is not installed."),
    ("1635", "Failure", "The update package could not be opened."),
    ("1636", "Failure", "The update package could not be opened: not a valid update package."),
    ("1642", "Failure", "The upgrade cannot be installed: the program to upgrade may be missing "
                        "or of another version."),
    ("1627", "Failure", "A function failed during execution; read the installer's log."),
    ("2, 5, 234", "Failure", "The product's registration could not be put back, or an earlier "
                             "run's journal could not be finished; run elevated and again."),
    ("anything else", "Failure", "The installer's status, passed on."),
]
EXPECTED = [int(code) for codes, kind, _ in RETURN_CODES if kind != "Failure" and kind != "Retry"
            for code in codes.split(", ")]
PRODUCTS_KEY = "SOFTWARE\\Classes\\Installer\\Products"
USERDATA_KEY = ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18"
                "\\Products")


class Patch:
    def __init__(self, path, code, products):
        self.path, self.code, self.products = path, code, products
        self.name = os.path.basename(path)


def find_patch(folder):
    """The one .msp under the folder's Files, beside Setup.exe."""
    if not os.path.isdir(folder):
        raise TargetError(f"{folder}: no such folder")
    entries = os.listdir(folder)
    if not any(e.lower() == "setup.exe" for e in entries):
        raise TargetError(f"{folder} holds no Setup.exe, which the command line runs")
    files = [e for e in entries if e.lower() == "files" and os.path.isdir(os.path.join(folder, e))]
    patches = sorted(os.path.join(folder, f, e) for f in files
                     for e in os.listdir(os.path.join(folder, f)) if e.lower().endswith(".msp"))
    if not patches:
        raise TargetError(f"{folder} holds no patch (Files\\<name>.msp)")
    if len(patches) > 1:
        raise TargetError(f"{folder} holds several patches ("
                          + ", ".join(os.path.basename(p) for p in patches)
                          + "); the kit is for one")
    return patches[0]


def root_class_id(path):
    """The class id of a compound file's root storage, or None for another kind of file."""
    try:
        with open(path, "rb") as f:
            head = f.read(512)
            if len(head) < 512 or head[:8] != COMPOUND_MAGIC:
                return None
            sector = 1 << int.from_bytes(head[30:32], "little")
            first = int.from_bytes(head[48:52], "little")
            f.seek((first + 1) * sector)
            entry = f.read(128)
    except OSError as e:
        raise TargetError(f"cannot read {path}: {e.strerror}")
    if len(entry) < 128 or entry[:20].decode("utf-16-le", "replace") != "Root Entry":
        return None
    return "{%s}" % str(uuid.UUID(bytes_le=entry[80:96])).upper()


def read_patch(lib, path):
    clsid = root_class_id(path)
    if clsid is None:
        raise TargetError(f"{path} is not an installer file (no compound file)")
    if clsid != "{%s}" % str(PATCH_CLSID).upper():
        what = "an installer database (.msi)" if clsid == DATABASE_CLSID else f"class {clsid}"
        raise TargetError(f"{path} is {what}, not a patch")
    # libmsi tells why it fails only on stderr, as GLib messages: keep them for the reason.
    with tempfile.TemporaryFile() as messages:
        saved = os.dup(2)
        os.dup2(messages.fileno(), 2)
        try:
            database = lib.Libmsi.Database.new(
                path, lib.Libmsi.DbFlags.READONLY | lib.Libmsi.DbFlags.PATCH, None)
            summary = lib.Libmsi.SummaryInfo.new(database, 0)
            template = summary.get_string(lib.Libmsi.Property.TEMPLATE) or ""
            revision = summary.get_string(lib.Libmsi.Property.UUID) or ""
        except (lib.GLib.Error, TypeError) as e:
            messages.seek(0)
            why = [re.sub(r"^\*\*.*?\*\*: [\d:.]+: ", "", l) for l in
                   messages.read().decode("utf-8", "replace").splitlines() if l.strip()]
            why = why[-1].replace(f" for {path}", "") if why else getattr(e, "message", str(e))
            raise TargetError(f"cannot read the patch {path}: {why}")
        finally:
            os.dup2(saved, 2)
            os.close(saved)
    code = re.match(GUID, revision)
    if not code:
        raise TargetError(f"{path} names no patch code (its Revision Number is {revision!r})")
    products = template.split(";")
    if not all(re.fullmatch(GUID, p) for p in products):
        raise TargetError(f"{path} names no product codes (its Template is {template!r})")
    return Patch(path, normal_guid(code.group(0)), [normal_guid(p) for p in products])


def detect_script(patch):
    products = "".join(f"    '{packed_code(p)}'   # {p}\n" for p in patch.products)
    return f"""\
# Detection for {patch.name}: patch {patch.code}.
# Detected when at least one product the patch targets is registered per machine and each
# registered one has the patch applied (its UserData Patches key for the patch, State 1, as
# docs/deploying.md's registry rule) and holds no journal of the launcher's: a string-typed
# (REG_SZ or REG_EXPAND_SZ) TransformsBackup, left by a run that did not finish; a value of
# another type is not the launcher's.
# Exit 0 with output: detected. Exit 0 without output: not detected.
$PackedPatch = '{packed_code(patch.code)}'   # {patch.code}
$PackedProducts = @(
{products})
try {{
    # The 64-bit view, also from a 32-bit PowerShell: the installer's UserData lives there.
    $machine = [Microsoft.Win32.RegistryKey]::OpenBaseKey(
        [Microsoft.Win32.RegistryHive]::LocalMachine, [Microsoft.Win32.RegistryView]::Registry64)
    $registered = 0
    foreach ($product in $PackedProducts) {{
        $registration = $machine.OpenSubKey("{PRODUCTS_KEY}\\$product")
        if ($null -eq $registration) {{ continue }}
        $registered++
        $patch = $machine.OpenSubKey("{USERDATA_KEY}\\$product\\Patches\\$PackedPatch")
        if ($null -eq $patch -or $patch.GetValue('State') -ne 1) {{ exit 0 }}
        if ($registration.GetValueNames() -contains 'TransformsBackup') {{
            $kind = $registration.GetValueKind('TransformsBackup')
            if ($kind -eq 'String' -or $kind -eq 'ExpandString') {{ exit 0 }}
        }}
    }}
    if ($registered -gt 0) {{ Write-Output "Applied: {patch.code}" }}
}} catch {{ }}   # a key that cannot be read: not detected
exit 0
"""


def playbook(patch, source):
    products = "".join(f"      - '{packed_code(p)}'   # {p}\n" for p in patch.products)
    source = source.replace("'", "''")   # inside a single-quoted YAML scalar
    expected = ", ".join(str(c) for c in EXPECTED)
    return f"""\
# Applies {patch.name} (patch {patch.code}) to Windows hosts where it is not detected:
# detected = a targeted product is registered per machine, and each registered one has the
# patch applied (UserData ...\\Patches\\<packed patch>, State 1) and holds no string-typed
# TransformsBackup (the launcher's journal of a run that did not finish). win_package's
# creates_* options test only that something exists, so the rule is read here first.
- name: Apply the Quarrix patch {patch.name}
  hosts: windows
  gather_facts: true
  vars:
    patch_source: '{source}/'   # the patch folder on the controller
    patch_folder: 'C:\\ProgramData\\QuarrixPatch'
    msi_log: '{{{{ ansible_env.SystemRoot }}}}\\Logs\\QuarrixPatch_msi.log'
    packed_patch: '{packed_code(patch.code)}'   # {patch.code}
    packed_products:
{products}  tasks:
    - name: Read the products' registrations
      ansible.windows.win_reg_stat:
        path: 'HKLM:\\{PRODUCTS_KEY}\\{{{{ item }}}}'
      loop: '{{{{ packed_products }}}}'
      register: registration

    - name: Read the launcher's journal (TransformsBackup)
      ansible.windows.win_reg_stat:
        path: 'HKLM:\\{PRODUCTS_KEY}\\{{{{ item }}}}'
        name: TransformsBackup
      loop: '{{{{ packed_products }}}}'
      register: journal

    - name: Read the patch's state
      ansible.windows.win_reg_stat:
        path: 'HKLM:\\{USERDATA_KEY}\\{{{{ item }}}}\\Patches\\{{{{ packed_patch }}}}'
        name: State
      loop: '{{{{ packed_products }}}}'
      register: applied

    - name: Decide whether the patch is detected
      ansible.builtin.set_fact:
        # The three reads are in the order of packed_products.
        quarrix_patch_detected: >-
          {{%- set ns = namespace(registered=0, failed=false) -%}}
          {{%- for r in registration.results -%}}
          {{%- if r.exists | default(false) -%}}
          {{%- set ns.registered = ns.registered + 1 -%}}
          {{%- set a = applied.results[loop.index0] -%}}
          {{%- set j = journal.results[loop.index0] -%}}
          {{%- if not (a.exists | default(false)) or (a.value | default(0) | int) != 1
                or ((j.exists | default(false)) and j.type in ['REG_SZ', 'REG_EXPAND_SZ']) -%}}
          {{%- set ns.failed = true -%}}
          {{%- endif -%}}
          {{%- endif -%}}
          {{%- endfor -%}}
          {{{{ ns.registered > 0 and not ns.failed }}}}

    - name: Copy the patch folder to a local disk
      ansible.windows.win_copy:
        src: '{{{{ patch_source }}}}'
        dest: '{{{{ patch_folder }}}}\\'
      when: not (quarrix_patch_detected | bool)

    - name: Run Setup.exe from the patch folder
      ansible.windows.win_package:
        path: '{{{{ patch_folder }}}}\\Setup.exe'
        chdir: '{{{{ patch_folder }}}}'
        arguments: '{ARGUMENTS} /l*v+ "{{{{ msi_log }}}}"'
        expected_return_code: [{expected}]
        state: present
      become: true
      become_method: runas
      become_user: SYSTEM
      register: quarrix_patch
      until: quarrix_patch.rc | default(0) != 1618
      retries: 6
      delay: 300
      when: not (quarrix_patch_detected | bool)

    - name: Restart when the patch asks for it
      ansible.windows.win_reboot:
      when: quarrix_patch.reboot_required | default(false)
"""


def return_codes(patch):
    rows = "".join(f"| {codes} | {kind} | {what} |\n" for codes, kind, what in RETURN_CODES)
    return f"""\
# Return codes of Setup.exe for {patch.name}

Patch {patch.code} (packed `{packed_code(patch.code)}`), for
{", ".join(f"{p} (packed `{packed_code(p)}`)" for p in patch.products)}.
Run `command-line.txt` with the patch folder as the current directory.

| Status | Class | What happened |
|---|---|---|
{rows}"""


def write_kit(patch, source, output):
    files = {
        "detect.ps1": detect_script(patch),
        "deploy.yml": playbook(patch, source),
        "command-line.txt": f"Setup.exe {COMMAND_LINE}\n",
        "return-codes.md": return_codes(patch),
    }
    try:
        os.makedirs(output, exist_ok=True)
        for name, text in files.items():
            # CRLF for the files Windows tools read; the playbook stays as Ansible writes it.
            newline = "\n" if name == "deploy.yml" else "\r\n"
            with open(os.path.join(output, name), "w", encoding="utf-8", newline=newline) as f:
                f.write(text)
    except OSError as e:
        raise TargetError(f"cannot write {e.filename or output}: {e.strerror}")
    return list(files)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="make_deploy_kit.py",
        description="Write detect.ps1, deploy.yml, command-line.txt and return-codes.md for "
                    "a patch folder (Setup.exe beside Files\\<name>.msp), from the codes its "
                    "patch holds.")
    parser.add_argument("folder", help="the patch folder")
    parser.add_argument("-o", "--output", required=True, help="the folder to write the kit to")
    args = parser.parse_args(argv)
    try:
        patch = read_patch(Bindings(), find_patch(args.folder))
        names = write_kit(patch, os.path.abspath(args.folder), args.output)
    except TargetError as e:
        print(f"make_deploy_kit.py: error: {e}", file=sys.stderr)
        return 1
    print(f"{args.output}: {', '.join(names)} for {patch.name}: patch {patch.code} (packed "
          f"{packed_code(patch.code)}), products "
          + ", ".join(f"{p} (packed {packed_code(p)})" for p in patch.products))
    return 0


if __name__ == "__main__":
    reexec_for_bindings(__file__)
    sys.exit(main())
