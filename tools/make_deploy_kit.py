#!/usr/bin/env python3
"""Write a deployment kit for a patch folder (Setup.exe beside Files\\<name>.msp): detection and
requirement scripts for Intune and Configuration Manager, an Ansible playbook that runs them,
the unattended command line and the return codes, all naming the codes the patch holds.

The patch is read with libmsi, as make_patch.py writes it: the patch code is the first GUID of
its Revision Number, the products it targets are its Template.
"""

import argparse
import os
import re
import sys
import tempfile
import unicodedata
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_patch import (PATCH_CLSID, PRODUCT_KEYWORDS, Bindings, TargetError,  # noqa: E402
                        normal_guid, packed_code, reexec_for_bindings)

GUID = r"\{[0-9A-Fa-f]{8}(?:-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}"
COMPOUND_MAGIC = bytes.fromhex("D0CF11E0A1B11AE1")
DATABASE_CLSID = "{000C1084-0000-0000-C000-000000000046}"
# As docs/deploying.md gives them: the launcher passes everything after Setup.exe to the
# installer, %NAME% expanded, and the statuses its deployment tools are told.
ARGUMENTS = "/qn REBOOT=ReallySuppress"
# The installer's log in a folder only administrators can write, which exists on every
# machine (the installer creates no missing folder).
COMMAND_LINE = ARGUMENTS + ' /l*v+ "%SystemRoot%\\Logs\\QuarrixPatch_msi.log"'
# (statuses, class, what happened). Where a status has words in the launcher's log
# (src/shared/log_events.cpp), the row's first sentence says them, and every status
# of the README's exit table is here: scripts/check_readme_products.py holds them to both.
RETURN_CODES = [
    ("0", "Success", "Success: the patch is applied."),
    ("1707", "Success", "Not a status of the launcher nor of the installer's error list: "
                        "Configuration Manager lists it as success for installer deployment "
                        "types and Intune adds it by default, so it stays a success here."),
    ("3010", "Soft reboot", "Success; a restart is needed to complete it."),
    ("1641", "Hard reboot", "Success; the installer started a restart (only without "
                            "`REBOOT=ReallySuppress`)."),
    ("1618", "Retry", "Another installation is in progress: another launcher or the "
                      "installer. Nothing changed."),
    ("1", "Failure", "A product service was running or could not be read; nothing changed."),
    ("1639", "Failure", "An invalid command line argument: one the interpreter cannot carry."),
    ("1602", "Failure", "The user cancelled the installation."),
    ("1603", "Failure", "The installation failed. Read both logs."),
    ("1605", "Failure", "The product is not installed."),
    ("1635", "Failure", "The update package could not be opened."),
    ("1636", "Failure", "The update package could not be opened: not a valid update package."),
    ("1642", "Failure", "The upgrade cannot be installed: the program to upgrade may be missing "
                        "or of another version."),
    ("1627", "Failure", "A function failed during execution. Read the installer's log."),
    ("122", "Failure", "The installer's command line would be over 999 units; nothing was "
                       "started. Shorten the arguments or the folder path."),
    ("3", "Failure", "No system folder to start the installer's interpreter from; nothing "
                     "was started."),
    ("2, 5, 234", "Failure", "The product's registration could not be put back, or an earlier "
                             "run's journal could not be finished; run elevated and again."),
    ("negative numbers", "Failure", "A crash: its code (0xC0000005, say) passes through "
                                    "unchanged, and Configuration Manager and win_package, "
                                    "which read a signed integer, show it negative "
                                    "(-1073741819)."),
    ("anything else", "Failure", "The installer's status, passed on."),
]
EXPECTED = [int(code) for codes, kind, _ in RETURN_CODES if kind not in ("Failure", "Retry")
            for code in codes.split(", ")]
PRODUCTS_KEY = "SOFTWARE\\Classes\\Installer\\Products"
# The launcher passes the patch's path to the installer in double quotes and as a property
# list, so it refuses these (exit 1639 on every machine).
REFUSED_IN_PATCH_NAME = ';"'
LANGUAGE_TRANSFORM = re.compile(r"\d+\.mst", re.I)
# Line and paragraph breaks, controls and invisible format characters (bidirectional
# overrides among them): none belongs in a name, and each could end a line of the kit.
UNPRINTABLE = ("Cc", "Cf", "Zl", "Zp")
# PowerShell ends a single-quoted string at any of these, and reads each one doubled as one.
POWERSHELL_QUOTES = "'\u2018\u2019\u201a\u201b"


class Patch:
    def __init__(self, path, code, products):
        self.path, self.code, self.products = path, code, products
        self.name = os.path.basename(path)


def refuse_unprintable(text, what):
    for char in text:
        if unicodedata.category(char) in UNPRINTABLE:
            raise TargetError(f"{what} {text!r} holds the control character U+{ord(char):04X}, "
                              "which could end a line of the kit's scripts")


def find_patch(folder):
    """The one .msp under the folder's Files, beside Setup.exe and a language transform."""
    refuse_unprintable(folder, "the patch folder's path")
    if not os.path.isdir(folder):
        raise TargetError(f"{folder}: no such folder")
    entries = os.listdir(folder)
    files = [e for e in entries if e.lower() == "files" and os.path.isdir(os.path.join(folder, e))]
    files_entries = [(f, e) for f in files for e in os.listdir(os.path.join(folder, f))]
    for name in entries + [e for _, e in files_entries]:
        refuse_unprintable(name, "the name")
    if not any(e.lower() == "setup.exe" for e in entries):
        raise TargetError(f"{folder} holds no Setup.exe, which the command line runs")
    patches = sorted(os.path.join(folder, f, e) for f, e in files_entries
                     if e.lower().endswith(".msp"))
    if not patches:
        raise TargetError(f"{folder} holds no patch (Files\\<name>.msp)")
    if len(patches) > 1:
        raise TargetError(f"{folder} holds several patches ("
                          + ", ".join(os.path.basename(p) for p in patches)
                          + "); the kit is for one")
    name = os.path.basename(patches[0])
    refused = [c for c in REFUSED_IN_PATCH_NAME if c in name]
    if refused:
        raise TargetError(f"the patch's name {name!r} holds {refused[0]!r}, which the launcher "
                          "refuses in the patch's path (exit 1639)")
    if not any(keyword in name for keyword in PRODUCT_KEYWORDS):
        raise TargetError(f"the patch's name {name!r} holds no product keyword ("
                          + ", ".join(PRODUCT_KEYWORDS) + ", letter case included): the "
                          "launcher would not redirect the product to the patch folder")
    if not any(LANGUAGE_TRANSFORM.fullmatch(e) for _, e in files_entries):
        raise TargetError(f"{folder} holds no language transform (Files\\<language>.mst, "
                          "1033.mst say): the installer would end 1624")
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


def powershell_literal(text):
    """`text` as one single-quoted PowerShell string, which expands nothing."""
    return "'" + "".join(c + c if c in POWERSHELL_QUOTES else c for c in text) + "'"


def yaml_unsafe(text):
    """`text` as one single-quoted YAML scalar that Ansible's templating leaves as it is."""
    return "!unsafe '" + text.replace("'", "''") + "'"


def product_table(patch):
    """The targeted products, as a PowerShell ordered table: product code -> packed code."""
    return "".join(f"    {powershell_literal(p)} = {powershell_literal(packed_code(p))}\n"
                   for p in patch.products)


def detect_script(patch):
    return f"""\
# Detection rule of a Quarrix patch, for Intune, Configuration Manager and the playbook.
# Detected when at least one product the patch targets is registered per machine and each
# registered one has the patch applied or superseded, as the installer reports it (PatchesEx,
# machine context), and holds no string-typed (REG_SZ or REG_EXPAND_SZ) TransformsBackup:
# the launcher's journal of a run that did not finish (a value of another type is not the
# launcher's). Output only when detected, since any output means installed; always exit 0.
$PatchFile = {powershell_literal(patch.name)}
$PatchCode = {powershell_literal(patch.code)}
$Products = [ordered]@{{
{product_table(patch)}}}
$MachineContext = 4
$AppliedOrSuperseded = 1 + 2

function Test-PatchDetected {{
    $installer = New-Object -ComObject WindowsInstaller.Installer
    # The 64-bit view, also from a 32-bit PowerShell: the registration lives there.
    $machine = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', 'Registry64')
    $registered = 0
    foreach ($product in $Products.GetEnumerator()) {{
        if (@($installer.ProductsEx($product.Key, '', $MachineContext)).Count -eq 0) {{ continue }}
        $registered++
        $patches = @($installer.PatchesEx($product.Key, '', $MachineContext, $AppliedOrSuperseded))
        if (-not ($patches | Where-Object {{ $_.PatchCode -eq $PatchCode }})) {{ return $false }}
        $registration = $machine.OpenSubKey('{PRODUCTS_KEY}\\' + $product.Value)
        if ($null -ne $registration -and
            $registration.GetValueNames() -contains 'TransformsBackup' -and
            $registration.GetValueKind('TransformsBackup') -in 'String', 'ExpandString') {{
            return $false
        }}
    }}
    return $registered -gt 0
}}

try {{
    if (Test-PatchDetected) {{ Write-Output ('Applied: ' + $PatchFile + ' ' + $PatchCode) }}
}} catch {{ }}   # the installer or a key that cannot be read: not detected
exit 0
"""


def requirement_script(patch):
    return f"""\
# Requirement rule of a Quarrix patch, for Intune, Configuration Manager and the playbook.
# Prints True when a product the patch targets is registered per machine (the installer's
# ProductsEx, machine context), else False: the patch is not applicable there. A product
# installed only for a user is not applicable: the launcher redirects machine registrations.
# With -ListPerUserOnly it prints instead each targeted product installed only per user, and
# the user: "<product code> <user SID>".
param([switch]$ListPerUserOnly)
$Products = [ordered]@{{
{product_table(patch)}}}
$MachineContext = 4
$UserContexts = 1 + 2
$EveryUser = 's-1-1-0'

$applicable = $false
try {{
    $installer = New-Object -ComObject WindowsInstaller.Installer
    foreach ($product in $Products.Keys) {{
        $perMachine = @($installer.ProductsEx($product, '', $MachineContext)).Count -gt 0
        if ($perMachine) {{ $applicable = $true }}
        elseif ($ListPerUserOnly) {{
            foreach ($user in @($installer.ProductsEx($product, $EveryUser, $UserContexts))) {{
                Write-Output ($product + ' ' + $user.UserSid)
            }}
        }}
    }}
}} catch {{ }}   # the installer cannot be asked: not applicable
if (-not $ListPerUserOnly) {{ Write-Output $applicable }}
exit 0
"""


# Removes the staging folder without following links and, unless -Remove, makes it again
# for this run: owned by Administrators, only Administrators and SYSTEM, nothing inherited.
STAGING_SCRIPT = r"""param([string]$Name, [switch]$Remove)
$ErrorActionPreference = 'Stop'
# Under Program Files, where users cannot create entries.
$path = Join-Path ([Environment]::GetFolderPath('ProgramFiles')) $Name
$administrators = New-Object System.Security.Principal.SecurityIdentifier 'S-1-5-32-544'
$system = New-Object System.Security.Principal.SecurityIdentifier 'S-1-5-18'

function Remove-WithoutFollowing([string]$Entry) {
    $attributes = [System.IO.File]::GetAttributes($Entry)
    $directory = ($attributes -band [System.IO.FileAttributes]::Directory) -ne 0
    if (($attributes -band [System.IO.FileAttributes]::ReparsePoint) -ne 0) {
        # A junction or link: remove the link itself, never what it points at.
        if ($directory) { [System.IO.Directory]::Delete($Entry, $false) }
        else { [System.IO.File]::Delete($Entry) }
        return
    }
    if ($directory) {
        foreach ($inner in [System.IO.Directory]::GetFileSystemEntries($Entry)) {
            Remove-WithoutFollowing $inner
        }
        [System.IO.File]::SetAttributes($Entry, [System.IO.FileAttributes]::Directory)
        [System.IO.Directory]::Delete($Entry, $false)
    } else {
        [System.IO.File]::SetAttributes($Entry, [System.IO.FileAttributes]::Normal)
        [System.IO.File]::Delete($Entry)
    }
}

# The attributes of a link itself, not of its target: a dangling link is there too.
$present = $true
try { $null = [System.IO.File]::GetAttributes($path) }
catch [System.IO.FileNotFoundException], [System.IO.DirectoryNotFoundException] {
    $present = $false
}
if ($present) { Remove-WithoutFollowing $path }
if ($Remove) { return }

$security = New-Object System.Security.AccessControl.DirectorySecurity
$security.SetOwner($administrators)
$security.SetAccessRuleProtection($true, $false)
foreach ($account in $administrators, $system) {
    $security.AddAccessRule((New-Object System.Security.AccessControl.FileSystemAccessRule(
        $account, 'FullControl', 'ContainerInherit, ObjectInherit', 'None', 'Allow')))
}
$null = [System.IO.Directory]::CreateDirectory($path, $security)

# Checked as made, before anything is copied into it.
$made = Get-Acl -LiteralPath $path
$accounts = @($made.GetAccessRules($true, $true, [System.Security.Principal.SecurityIdentifier]) |
    ForEach-Object { $_.IdentityReference.Value } | Sort-Object -Unique)
$allowed = (@($administrators.Value, $system.Value) | Sort-Object) -join ','
$attributes = [System.IO.File]::GetAttributes($path)
$link = ($attributes -band [System.IO.FileAttributes]::ReparsePoint) -ne 0
if ($link -or $made.GetOwner([System.Security.Principal.SecurityIdentifier]) -ne $administrators -or
    -not $made.AreAccessRulesProtected -or ($accounts -join ',') -ne $allowed) {
    throw "the staging folder $path is not owned by Administrators, or allows others"
}
Write-Output $path
"""


def block(text, indent):
    """`text` as the lines of a YAML literal block at `indent` spaces."""
    return "".join((" " * indent + line if line else "") + "\n" for line in text.splitlines())


def playbook(patch, source_from_kit):
    expected = ", ".join(str(c) for c in EXPECTED)
    staging_name = "QuarrixPatch_" + patch.code.strip("{}")
    return f"""\
# Applies a Quarrix patch to Windows hosts where it applies (requirement.ps1) and is not
# detected (detect.ps1): both scripts run here as written in the kit. The patch folder is
# staged under Program Files, which users cannot write, in a folder made for this run and
# removed after it, since Setup.exe runs from it as SYSTEM.
- name: Apply a Quarrix patch
  hosts: windows
  gather_facts: false
  vars:
    patch_file: {yaml_unsafe(patch.name)}
    patch_code: {yaml_unsafe(patch.code)}
    # The patch folder on the controller, relative to this playbook as the kit was made.
    patch_folder_from_playbook: {yaml_unsafe(source_from_kit)}
    patch_source: '{{{{ playbook_dir }}}}/{{{{ patch_folder_from_playbook }}}}'
    staging_name: {yaml_unsafe(staging_name)}
    # Restarts are the administrator's choice; when allowed, users get this warning first.
    quarrix_allow_restart: false
    quarrix_restart_delay: 900   # seconds
    quarrix_restart_message: >-
      A Quarrix patch was applied: this computer restarts in
      {{{{ quarrix_restart_delay | int // 60 }}}} minutes. Save your work.
  tasks:
    - name: Requirement rule (requirement.ps1)
      ansible.windows.win_powershell:
        script: !unsafe |
{block(requirement_script(patch), 10)}      register: quarrix_requirement
      changed_when: false

    - name: Detection rule (detect.ps1)
      ansible.windows.win_powershell:
        script: !unsafe |
{block(detect_script(patch), 10)}      register: quarrix_detection
      changed_when: false

    - name: Stage, run and clean up
      when:
        - quarrix_requirement.output | first | default(false) | bool
        - quarrix_detection.output | length == 0
      block:
        - name: Make the staging folder, Administrators and SYSTEM only
          ansible.windows.win_powershell:
            script: &staging !unsafe |
{block(STAGING_SCRIPT, 14)}            parameters:
              Name: '{{{{ staging_name }}}}'
          register: quarrix_staging

        - name: Copy the patch folder into it
          ansible.windows.win_copy:
            src: '{{{{ patch_source }}}}/'
            dest: '{{{{ quarrix_staging.output | first }}}}\\'

        - name: Run Setup.exe there
          ansible.windows.win_package:
            path: '{{{{ quarrix_staging.output | first }}}}\\Setup.exe'
            chdir: '{{{{ quarrix_staging.output | first }}}}'
            arguments: {yaml_unsafe(COMMAND_LINE)}
            expected_return_code: [{expected}]
            state: present
          become: true
          become_method: runas
          become_user: SYSTEM
          register: quarrix_patch
          until: quarrix_patch.rc | default(0) != 1618
          retries: 6
          delay: 300
      always:
        - name: Remove the staging folder
          ansible.windows.win_powershell:
            script: *staging
            parameters:
              Name: '{{{{ staging_name }}}}'
              Remove: true

    - name: Restart when the patch asks for it and restarts are allowed
      ansible.windows.win_reboot:
        pre_reboot_delay: '{{{{ quarrix_restart_delay }}}}'
        msg: '{{{{ quarrix_restart_message }}}}'
      when:
        - quarrix_allow_restart | bool
        - quarrix_patch.reboot_required | default(false)
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


def write_kit(patch, folder, output):
    refuse_unprintable(output, "the kit's folder")
    # Relative, so that the kit names no path of the machine that made it.
    source = os.path.relpath(os.path.abspath(folder), os.path.abspath(output))
    files = {
        "detect.ps1": detect_script(patch),
        "requirement.ps1": requirement_script(patch),
        "deploy.yml": playbook(patch, source.replace(os.sep, "/")),
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
        description="Write detect.ps1, requirement.ps1, deploy.yml, command-line.txt and "
                    "return-codes.md for a patch folder (Setup.exe beside "
                    "Files\\<name>.msp), from the codes its patch holds.")
    parser.add_argument("folder", help="the patch folder")
    parser.add_argument("-o", "--output", required=True, help="the folder to write the kit to")
    args = parser.parse_args(argv)
    try:
        patch = read_patch(Bindings(), find_patch(args.folder))
        names = write_kit(patch, args.folder, args.output)
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
