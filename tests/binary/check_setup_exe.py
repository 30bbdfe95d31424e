#!/usr/bin/python3
"""Checks a built Setup.exe for what a release must have; one line a property.

    /usr/bin/python3 tests/binary/check_setup_exe.py <Setup.exe> [--map <Setup.map>]

Setup.exe runs elevated from download folders: it must be a 32-bit GUI
program that imports nothing but kernel32 and the C runtime (a planted DLL
must find no import to stand in for), carry the platform's exploit
mitigations, ask for administrator rights, name its version, and stay small.
Stack protection leaves no trace a stripped binary names, so it is checked
through the link map the build leaves beside the binary (Setup.map): the
guard must be ours (platform/win32/stack_guard.cpp), not libssp's, and the
code must load and compare it. Exits 1 when a property is missing.
Uses Debian's python3-pefile and the mingw objdump.
"""
import argparse
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import pefile

REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MAX_SIZE = 64 * 1024
ALLOWED_IMPORTS = {"kernel32.dll", "msvcrt.dll"}
OBJDUMP = os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump")

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
TERMINAL_SERVER_AWARE = 0x8000
RELOCS_STRIPPED = 0x0001
RT_MANIFEST = 24
# Windows 7, 8, 8.1, and 10 and 11.
SUPPORTED_OS = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}
# Handlers a module that registers SEH frames would import.
SEH_HANDLER_IMPORT = re.compile(r"^(_except_handler\d*|__C_specific_handler|__CxxFrameHandler\d*|_EH_prolog)$")


def project_version():
    with open(os.path.join(REPOSITORY, "CMakeLists.txt"), encoding="utf-8") as source:
        match = re.search(r"project\s*\(\s*\w+\s+VERSION\s+([0-9]+(?:\.[0-9]+){0,3})", source.read())
    if not match:
        raise SystemExit("no project(... VERSION x.y.z) in the top CMakeLists.txt")
    return match.group(1)


def imports(pe):
    """{dll (lower case): [function names]} of the import and delay-import tables."""
    found = {}
    for attribute in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attribute, []):
            names = [i.name.decode() if i.name else f"#{i.ordinal}" for i in entry.imports]
            found.setdefault(entry.dll.decode().lower(), []).extend(names)
    return found


def resources(pe, type_id):
    """The data of every resource of `type_id`."""
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in directory.entries if directory else []:
        if entry.id != type_id:
            continue
        for name in entry.directory.entries:
            for language in name.directory.entries:
                yield pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)


def check_manifest(pe):
    manifests = list(resources(pe, RT_MANIFEST))
    if not manifests:
        return False, "no manifest resource"
    root = ElementTree.fromstring(manifests[0])
    levels = {e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")}
    systems = {e.get("Id", "").lower() for e in root.iter() if e.tag.endswith("}supportedOS")}
    if levels != {"requireAdministrator"}:
        return False, f"execution level {sorted(levels)}, expected requireAdministrator"
    if not SUPPORTED_OS <= systems:
        return False, f"supported systems lack {sorted(SUPPORTED_OS - systems)}"
    return True, "requireAdministrator, supportedOS Windows 7 to 11"


def check_version(pe, expected):
    parts = [int(p) for p in expected.split(".")] + [0] * (4 - len(expected.split(".")))
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return False, "no version resource"
    fixed = fixed[0] if isinstance(fixed, list) else fixed
    file_version = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                    fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF]
    product_version = [fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                       fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF]
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info if isinstance(info, list) else [info]:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    shown = ".".join(map(str, file_version))
    if file_version != parts or product_version != parts:
        return False, f"file version {shown}, product version {'.'.join(map(str, product_version))}, project {expected}"
    if strings.get("ProductVersion") != expected or not strings.get("FileVersion", "").startswith(expected):
        return False, f"version texts {strings.get('FileVersion')!r}/{strings.get('ProductVersion')!r}, project {expected}"
    return True, f"{shown} (project {expected})"


def read_map(path):
    """(output sections {name: (address, size)}, symbols {name: (address, file)},
    input code sections [(address, size, file)], archive members included)."""
    outputs, symbols, code = {}, {}, []
    with open(path, encoding="utf-8", errors="replace") as source:
        text = source.read()
    head, _, body = text.partition("Linker script and memory map")
    members = [line for line in head.splitlines() if line and not line.startswith(" ")]
    pending, current_file = None, None
    for line in body.splitlines():
        output = re.match(r"^(\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)", line)
        if output:
            outputs[output.group(1)] = (int(output.group(2), 16), int(output.group(3), 16))
            continue
        section = re.match(r"^ (\.\S+)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*))?$", line)
        if section:
            pending = section.group(1)
            if section.group(2):
                address, size, current_file = int(section.group(2), 16), int(section.group(3), 16), section.group(4)
                if pending.startswith(".text"):
                    code.append((address, size, current_file))
            continue
        continued = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if continued and pending:
            address, size, current_file = int(continued.group(1), 16), int(continued.group(2), 16), continued.group(3)
            if pending.startswith(".text"):
                code.append((address, size, current_file))
            continue
        symbol = re.match(r"^\s+0x([0-9a-f]+)\s+(\S.*?)\s*$", line)
        if symbol and current_file:
            symbols.setdefault(symbol.group(2), (int(symbol.group(1), 16), current_file))
    return outputs, symbols, code, members


def check_stack_protection(pe, map_path):
    if not os.path.isfile(map_path):
        return False, f"no link map {map_path} to tell"
    outputs, symbols, code, members = read_map(map_path)
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        if name in (".text", ".data") and outputs.get(name) != (
                pe.OPTIONAL_HEADER.ImageBase + section.VirtualAddress, section.SizeOfRawData):
            return False, f"the link map {map_path} is not this binary's ({name} differs)"
    if any("libssp" in member for member in members):
        return False, "libssp is linked"
    for name in ("__stack_chk_guard", "__stack_chk_fail", "setup::SeedStackGuard()"):
        if name not in symbols or "stack_guard.cpp" not in symbols[name][1]:
            return False, f"{name} {'comes from ' + symbols[name][1] if name in symbols else 'is not linked'}, expected stack_guard.cpp"
    guard = symbols["__stack_chk_guard"][0]
    own = [(a, a + s) for a, s, f in code if "stack_guard.cpp" in f]
    image_base = pe.OPTIONAL_HEADER.ImageBase
    text = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text")
    text_range = (image_base + text.VirtualAddress, image_base + text.VirtualAddress + text.Misc_VirtualSize)
    # Every absolute address in the code has a base relocation: those whose
    # target is the guard are the protected functions' loads and compares.
    # -ffunction-sections gives each function an input section of its own.
    references, functions = 0, set()
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            site = image_base + entry.rva
            if entry.type != pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]:
                continue
            if not text_range[0] <= site < text_range[1] or any(a <= site < b for a, b in own):
                continue
            if pe.get_dword_at_rva(entry.rva) == guard:
                references += 1
                functions.update(a for a, s, f in code if a <= site < a + s)
    if references < 2:
        return False, "no function checks the guard (built without -fstack-protector-strong?)"
    return True, (f"{len(functions)} functions load and check the guard ({references} references); guard, "
                  "seeding and failure routine from stack_guard.cpp, no libssp")


def check_entry(pe, map_path):
    """The process starts in the launcher's own entry, and so nothing applies
    the runtime's pseudo-relocations (imports reached as data, or a call to
    an import the linker could not thunk): none may be listed."""
    if not os.path.isfile(map_path):
        return False, f"no link map {map_path} to tell"
    with open(map_path, encoding="utf-8", errors="replace") as source:
        text = source.read()
    entry = re.search(r"^\s+0x([0-9a-f]+)\s+_?SetupEntry(?:@0)?\s*$", text, re.MULTILINE)
    bounds = [re.search(rf"^\s+0x([0-9a-f]+)\s+__RUNTIME_PSEUDO_RELOC_LIST{end}__ = ", text, re.MULTILINE)
              for end in ("", "_END")]
    if not entry:
        return False, "no SetupEntry in the link map"
    start = pe.OPTIONAL_HEADER.ImageBase + pe.OPTIONAL_HEADER.AddressOfEntryPoint
    if start != int(entry.group(1), 16):
        return False, f"entry point {start:#x}, not SetupEntry at {entry.group(1)}"
    if all(bounds) and bounds[0].group(1) != bounds[1].group(1):
        fixed = re.findall(r"_fu\d+_\S+", text)
        return False, f"runtime pseudo-relocations listed, which nothing applies: {', '.join(fixed) or '?'}"
    return True, f"SetupEntry at {start:#x}; no runtime pseudo-relocation"


def check_no_seh_handlers(pe, path, import_names):
    """The no-SEH mark must be true: on x86 a handler is registered by linking
    a record into the chain at fs:[0]; the image must never touch it."""
    if not pe.OPTIONAL_HEADER.DllCharacteristics & NO_SEH:
        return False, "IMAGE_DLLCHARACTERISTICS_NO_SEH not set"
    handlers = sorted(n for names in import_names.values() for n in names if SEH_HANDLER_IMPORT.match(n))
    if handlers:
        return False, f"marked, but imports SEH handlers {handlers}"
    disassembly = subprocess.run([OBJDUMP, "-d", "--no-show-raw-insn", path], capture_output=True, text=True,
                                 check=True).stdout
    chain = [line.strip() for line in disassembly.splitlines() if re.search(r"%fs:0x0(?![0-9a-fA-F])", line)]
    if chain:
        return False, f"marked, but the code reaches the handler chain at fs:[0]: {chain[:3]}"
    if any(s.Name.rstrip(b"\0") == b".sxdata" for s in pe.sections):
        return False, "marked, but has a .sxdata handler table"
    return True, "set; no code reaches fs:[0], no SEH handler imported"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("exe")
    parser.add_argument("--map", help="the link map (default: Setup.map beside the binary)")
    args = parser.parse_args()
    path = args.exe
    map_path = args.map or os.path.join(os.path.dirname(os.path.abspath(path)), "Setup.map")
    pe = pefile.PE(path)
    header = pe.OPTIONAL_HEADER
    flags = header.DllCharacteristics
    import_names = imports(pe)
    results = []

    def check(name, ok, detail):
        results.append(ok)
        print(f"{'PASS' if ok else 'FAIL'}  {name}: {detail}")

    pe32_gui_i386 = (pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
                     and header.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE
                     and header.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])
    check("format", pe32_gui_i386, f"machine {pe.FILE_HEADER.Machine:#x}, magic {header.Magic:#x}, "
          f"subsystem {header.Subsystem} (PE32 GUI i386: 0x14c, 0x10b, 2)")
    extra = sorted(set(import_names) - ALLOWED_IMPORTS)
    check("imports", not extra, ", ".join(sorted(import_names)) + (f"; not allowed: {', '.join(extra)}" if extra else ""))
    check("dynamic base", bool(flags & DYNAMIC_BASE) and not pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED,
          "set, relocations kept" if flags & DYNAMIC_BASE else "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE not set")
    check("no-execute data", bool(flags & NX_COMPAT), "set" if flags & NX_COMPAT else "IMAGE_DLLCHARACTERISTICS_NX_COMPAT not set")
    check("no SEH", *check_no_seh_handlers(pe, path, import_names))
    check("terminal-server aware", bool(flags & TERMINAL_SERVER_AWARE),
          "set" if flags & TERMINAL_SERVER_AWARE else "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE not set")
    writable_code = [s.Name.rstrip(b"\0").decode() for s in pe.sections
                     if s.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
                     and s.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]]
    check("no writable code", not writable_code,
          f"writable and executable: {', '.join(writable_code)}" if writable_code else f"none of {len(pe.sections)} sections")
    check("manifest", *check_manifest(pe))
    check("version", *check_version(pe, project_version()))
    size = os.path.getsize(path)
    check("size", size <= MAX_SIZE, f"{size} bytes ({size / 1024:.1f} KiB; at most {MAX_SIZE // 1024} KiB)")
    check("stack protection", *check_stack_protection(pe, map_path))
    check("entry", *check_entry(pe, map_path))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
