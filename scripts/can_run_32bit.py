#!/usr/bin/env python3
"""Exits 0 when this machine can run a 32-bit x86 Linux program, 1 when not.

Debian 12's Wine starts every Windows program through a 32-bit loader, so a
kernel booted without 32-bit emulation refuses all of them. The probe is a
tiny static i386 program run directly: through sh or execvp a refused file
becomes a shell "Syntax error" instead of ENOEXEC. Nothing is cached, so a
reboot with other settings is seen at once. SETUP_PROBE_32BIT names another
file to run instead (a test uses a file the kernel refuses). A folder that
runs no program (a temporary folder mounted noexec) says nothing of the
kernel: the probe then runs from the build folder, which must run programs
anyway (the host tests run from it).
With --why, prints what is missing and the remedies when it cannot.
"""
import errno
import os
import pathlib
import struct
import subprocess
import sys
import tempfile

WHY = """\
This machine cannot run 32-bit x86 programs, and Wine needs them here (its
loader for Windows programs is a 32-bit Linux program). Check with:
    dmesg | grep '32-bit emulation'
("32-bit emulation disabled" means the kernel was booted without it). Remedies:
  - boot Linux with ia32_emulation=on on its command line; or
  - register an i386 emulator with binfmt_misc (package qemu-user-static):
    measured at about 50 s per 32-bit process start, too slow for the Wine
    test suites.
The host build and tests need no 32-bit program: bash scripts/test.sh runs
them and reports the Wine stages as skipped."""


def probe_elf():
    # mov eax,1; xor ebx,ebx; int 0x80  (exit(0))
    code = bytes.fromhex("b801000000" "31db" "cd80")
    base = 0x08048000
    ehsize, phsize = 52, 32
    entry = base + ehsize + phsize
    size = ehsize + phsize + len(code)
    ehdr = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)
    ehdr += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, ehsize, 0, 0,
                        ehsize, phsize, 1, 0, 0, 0)
    phdr = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    return ehdr + phdr + code


BUILD = pathlib.Path(__file__).resolve().parent.parent / "build"


def can_run_32bit():
    override = os.environ.get("SETUP_PROBE_32BIT")
    if override:
        return _runs(override) is True
    for folder in (None, BUILD):
        answer = _probe_in(folder)
        if answer is not None:
            return answer
    return False


def _probe_in(folder):
    """The probe's answer run from `folder` (None: the temporary folder);
    None when the folder refuses to run any program."""
    if folder is not None:
        folder.mkdir(parents=True, exist_ok=True)
    fd, path = tempfile.mkstemp(prefix="probe32-", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(probe_elf())
        os.chmod(path, 0o700)
        return _runs(path)
    finally:
        os.unlink(path)


def _runs(path):
    """True when `path` ran and exited 0; None when exec was refused for
    the file's folder or rights (EACCES, EPERM), not for its format."""
    try:
        return subprocess.run([path], timeout=120).returncode == 0
    except OSError as error:
        return None if error.errno in (errno.EACCES, errno.EPERM) else False
    except subprocess.TimeoutExpired:
        return False


if __name__ == "__main__":
    ok = can_run_32bit()
    if not ok and "--why" in sys.argv[1:]:
        print(WHY, file=sys.stderr)
    sys.exit(0 if ok else 1)
