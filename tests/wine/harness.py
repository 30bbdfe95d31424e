"""Runs the real Setup.exe under Wine, in a throwaway prefix, for end-to-end tests.

A WinePrefix is a fresh Wine installation under a temporary folder with a
persistent wineserver. In it, recorder.exe replaces msiexec.exe: every time
the launcher starts "the installer", the recorder appends a JSON line telling
how it was started (command line, current directory, registry values) and
exits with the status the test chose. starter.exe runs Setup.exe and reports
its full 32-bit exit status, which wine alone would cut to 8 bits.
service_stub.exe is a real service for the service manager to run,
box_reader.exe reads a message box and presses its OK button,
key_access.exe makes a registry key read-only, canary.dll is planted under
system DLL names and notes every process that loads it, and
careless_loader.exe loads DLLs the careless way, to show that a planted one
is taken. Setup.exe's own run logs are found in the prefix's temporary folder
(WinePrefix.run_logs, newest_run_log) and read with read_run_log.

Every wine call has a timeout. Output of wine calls goes to files, never to
pipes: a Windows process that outlives the call would keep a pipe open.

Where the programs are: the environment variables SETUP_EXE,
SETUP_RECORDER_EXE, SETUP_STARTER_EXE, SETUP_SERVICE_STUB_EXE,
SETUP_BOX_READER_EXE, SETUP_KEY_ACCESS_EXE, SETUP_CANARY_DLL and
SETUP_CARELESS_LOADER_EXE, or a build folder
(SETUP_WINDOWS_BUILD_DIR, default build/windows of the repository)
searched by Artifacts.locate().
"""

import atexit
import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import uuid
from dataclasses import dataclass, field

import display

REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# Seconds. A boot takes about 11 s, a Setup.exe run about 1 s.
BOOT_TIMEOUT = 120
CALL_TIMEOUT = 60
SERVER_TIMEOUT = 20
SERVICE_TIMEOUT = 15    # for a service to reach a state
BOX_TIMEOUT = 30        # for a message box to appear

DEFAULT_PATCH_FILE = "Hostrel_Update.msp"
TOOLS_FOLDER = r"C:\e2etools"  # where starter.exe lives: not a folder Setup.exe could be found in
RECORDS_FOLDER = r"C:\e2erecords"

# The values the recorder reads from each key unless told otherwise.
TRANSFORM_VALUES = ("Transforms", "TransformsBackup")

# Setup.exe's run log in the temporary folder: the local time it was made,
# then "_2" to "_9" when a run of the same second took the plain name.
RUN_LOG_NAME = re.compile(r"QuarrixPatchSetup_(\d{14})_\d+(?:_([2-9]))?\.log")
RUN_LOG_STAMP = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ")


class WineError(RuntimeError):
    """A wine call failed or timed out; the message says which and shows its output."""


# (Artifacts field, environment variable, file name) of every program the tests use.
_PROGRAMS = (("setup", "SETUP_EXE", "Setup.exe"),
             ("recorder", "SETUP_RECORDER_EXE", "recorder.exe"),
             ("starter", "SETUP_STARTER_EXE", "starter.exe"),
             ("service_stub", "SETUP_SERVICE_STUB_EXE", "service_stub.exe"),
             ("box_reader", "SETUP_BOX_READER_EXE", "box_reader.exe"),
             ("key_access", "SETUP_KEY_ACCESS_EXE", "key_access.exe"),
             ("terminator", "SETUP_TERMINATOR_EXE", "terminator.exe"),
             ("canary", "SETUP_CANARY_DLL", "canary.dll"),
             ("careless_loader", "SETUP_CARELESS_LOADER_EXE", "careless_loader.exe"))


@dataclass(frozen=True)
class Artifacts:
    """Linux paths of the programs the tests need."""

    setup: str
    recorder: str
    starter: str
    service_stub: str
    box_reader: str
    key_access: str
    terminator: str
    canary: str
    careless_loader: str

    @staticmethod
    def locate(build_dir=None):
        """Finds the programs: environment variables first, then `build_dir`
        (default SETUP_WINDOWS_BUILD_DIR or <repository>/build/windows).
        Raises FileNotFoundError naming what is missing."""
        build_dir = build_dir or os.environ.get("SETUP_WINDOWS_BUILD_DIR") or os.path.join(REPOSITORY, "build", "windows")
        found = {}
        for key, variable, name in _PROGRAMS:
            path = os.environ.get(variable) or _find_file(build_dir, name)
            if not path or not os.path.isfile(path):
                raise FileNotFoundError(f"{name} not found (set {variable} or build into {build_dir})")
            found[key] = os.path.abspath(path)
        return Artifacts(**found)


# Build folders holding copies or other builds of the programs: the first-run
# kit's (its stand-in is a GUI build of the recorder).
_NOT_SEARCHED = ("CMakeFiles", "_deps", "first-run-kit", "kit")


def _find_file(root, name):
    """The shallowest file called `name` under `root`, or None."""
    best = None
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(s for s in subfolders if s not in _NOT_SEARCHED)
        if name in files:
            candidate = os.path.join(folder, name)
            if best is None or candidate.count(os.sep) < best.count(os.sep):
                best = candidate
    return best


@dataclass
class PatchFolder:
    """A patch folder inside the prefix."""

    linux_path: str
    windows_path: str  # long form, e.g. C:\\Patch Files
    created_root: str  # Linux path of the outermost folder make_patch_folder created

    def file(self, relative):
        """Linux path of `relative` ("Files/x.msp" or "Files\\x.msp") in the folder."""
        return os.path.join(self.linux_path, *relative.replace("\\", "/").split("/"))

    def remove(self):
        """Removes the folder and the parents made for it."""
        shutil.rmtree(self.created_root, ignore_errors=True)


@dataclass
class SetupRun:
    """The outcome of one Setup.exe run."""

    status: int          # Setup.exe's exit status, all 32 bits
    records: list        # the recorder's records, in order (dicts)
    starter_output: str  # what starter.exe printed
    command_line: str    # the command line Setup.exe was started with

    @property
    def installer_runs(self):
        """How many times the installer stand-in was started."""
        return len(self.records)


@dataclass
class RunningSetup:
    """A Setup.exe run in progress (see WinePrefix.start_setup)."""

    prefix: "WinePrefix"
    process: subprocess.Popen
    output_path: str
    record_path: str
    hold_path: str
    command_line: str
    deadline: float
    _result: SetupRun = field(default=None)

    def records(self):
        """The records written so far."""
        return read_records(self.record_path)

    def wait_for_installer(self, count=1, timeout=CALL_TIMEOUT):
        """Waits until the installer stand-in has been started `count` times;
        returns the records. Raises WineError on timeout or when Setup.exe ends first."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            records = self.records()
            if len(records) >= count:
                return records
            if self.process.poll() is not None:
                raise WineError(f"Setup.exe ended before the installer ran {count} time(s): "
                                f"{_read_text(self.output_path)!r}, records {records!r}")
            time.sleep(0.05)
        raise WineError(f"the installer did not start {count} time(s) within {timeout} s")

    def release(self):
        """Lets a held installer stand-in end."""
        if self.hold_path:
            open(self.hold_path, "wb").close()

    def wait(self):
        """Releases any hold, waits for Setup.exe to end and returns the SetupRun."""
        if self._result is not None:
            return self._result
        self.release()
        try:
            self.process.wait(timeout=max(1.0, self.deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            _kill(self.process)
            raise WineError(f"Setup.exe did not end in time; records so far: {self.records()!r}")
        output = _read_text(self.output_path)
        status = parse_starter_output(output, self.process.returncode)
        self._result = SetupRun(status, self.records(), output, self.command_line)
        return self._result


def parse_starter_output(output, returncode):
    """The exit status from starter.exe's output; raises WineError when it could not start the child."""
    for line in reversed(output.splitlines()):
        if line.startswith("exit-status "):
            return int(line.split()[1])
    raise WineError(f"starter.exe failed (exit {returncode}): {output!r}")


def read_records(path):
    """The JSON records in file `path` (none when it does not exist)."""
    try:
        with open(path, "r", encoding="utf-8") as source:
            return [json.loads(line) for line in source if line.strip()]
    except FileNotFoundError:
        return []


def record_value(record, key, name):
    """The text of value `name` of `key` (under HKCR) in a recorder record;
    None when the value (or key) was absent. Raises KeyError when the key was
    not among the recorded keys."""
    for snapshot in record["keys"]:
        if snapshot["key"].lower() == key.lower():
            value = snapshot["values"].get(name)
            return None if value is None else value["data"]
    raise KeyError(f"key {key!r} was not recorded; recorded: {[s['key'] for s in record['keys']]}")


def quote_reg_text(text):
    """`text` as a quoted string of a .reg file."""
    if "\r" in text or "\n" in text:
        raise ValueError("a .reg string value cannot hold a line break")
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def locale_installed(name):
    """True when the Linux locale `name` (e.g. "ja_JP.UTF-8") is installed;
    Wine takes its code page from it, and falls back to ASCII without it."""
    wanted = name.lower().replace("-", "")
    try:
        result = subprocess.run(["locale", "-a"], stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=10)
    except (OSError, subprocess.TimeoutExpired):
        return False
    return any(line.strip().lower().replace("-", "") == wanted for line in result.stdout.splitlines())


def read_run_log(path):
    """The events of a run log (Linux path), in order, without their time
    stamps. Raises ValueError unless the file is UTF-8 and every line ends in
    CRLF and starts with a "yyyy-MM-dd HH:mm:ss.fff " stamp."""
    with open(path, "rb") as source:
        data = source.read()
    try:
        text = data.decode("utf-8-sig")  # strict: a code page's bytes fail here
    except UnicodeDecodeError as error:
        raise ValueError(f"{path}: not UTF-8 ({error}): {data!r}")
    if text and not text.endswith("\r\n"):
        raise ValueError(f"{path}: the last line has no CRLF: {text!r}")
    events = []
    for line in text.split("\r\n")[:-1]:
        if "\n" in line or "\r" in line:
            raise ValueError(f"{path}: a line end other than CRLF in {line!r}")
        stamp = RUN_LOG_STAMP.match(line)
        if not stamp:
            raise ValueError(f"{path}: line without a time stamp: {line!r}")
        events.append(line[stamp.end():])
    return events


def _read_text(path):
    try:
        with open(path, "r", encoding="utf-8", errors="replace") as source:
            return source.read()
    except FileNotFoundError:
        return ""


_kill = display.kill_process_group


# Prefixes still alive, ended at exit even when the run was interrupted.
_live_prefixes = set()


def _close_live_prefixes():
    for prefix in list(_live_prefixes):
        prefix.close()


def _exit_on_signal(signum, _frame):
    sys.exit(128 + signum)  # unwinds, so atexit closes the prefixes


atexit.register(_close_live_prefixes)
try:
    if signal.getsignal(signal.SIGTERM) == signal.SIG_DFL:
        signal.signal(signal.SIGTERM, _exit_on_signal)
except ValueError:  # imported outside the main thread: no handler, atexit still works
    pass


class WinePrefix:
    """A throwaway Wine prefix with the test tools installed.

    Use as a context manager, or call start() and close(). Windows paths
    handed to it are C:\\ paths inside the prefix.
    """

    def __init__(self, artifacts, display=None, real_installer=False):
        """`artifacts`: an Artifacts; `display`: an X display name (":95",
        e.g. display.VirtualDisplay().name) for windows to appear on, else
        programs run without one and message boxes return at once. With
        `real_installer`, Wine's own msiexec stays in place of the recorder."""
        self.artifacts = artifacts
        self.display = display
        self.real_installer = real_installer
        self.root = None
        self.path = None
        self._started = False
        self._temp_folder = None

    # ----- lifetime -----

    def start(self):
        """Creates and boots the prefix, installs the tools. Takes about 11 s."""
        self.root = tempfile.mkdtemp(prefix="setup-wine-")
        self.path = os.path.join(self.root, "prefix")
        os.makedirs(self.path)  # wineserver needs the folder to exist
        _live_prefixes.add(self)
        self._started = True
        # The server first, its output to /dev/null: a server started by a
        # later call would hold that call's output open.
        self._run_quiet(["wineserver", "-p"], SERVER_TIMEOUT, "start the wineserver")
        # No Mono or Gecko: nothing here needs them and they slow the boot.
        self._run_quiet(["wineboot", "-i"], BOOT_TIMEOUT, "boot the prefix",
                        extra_env={"WINEDLLOVERRIDES": "mscoree,mshtml="})
        # A first boot leaves two service managers running, each with its own
        # idea of which services exist; a fresh server starts just one.
        self.restart_server()
        self._install_tools()
        return self

    def restart_server(self):
        """Ends every Windows process of the prefix and its wineserver, as a
        log-off would, and starts a fresh persistent server. The server saves
        the registry as it ends; the next wine call starts the services again."""
        self._run_quiet(["wineserver", "-k"], SERVER_TIMEOUT, "end the wineserver")
        self._run_quiet(["wineserver", "-p"], SERVER_TIMEOUT, "restart the wineserver")

    def close(self):
        """Ends every Windows process of the prefix and removes it."""
        if not self._started:
            return
        self._started = False
        _live_prefixes.discard(self)
        try:
            subprocess.run(["wineserver", "-k"], env=self.environment(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=SERVER_TIMEOUT)
        except subprocess.TimeoutExpired:
            pass
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *_exc):
        self.close()

    def _install_tools(self):
        windows = os.path.join(self.drive_c, "windows")
        # A 32-bit launcher's "system32" is syswow64 in a 64-bit prefix; both get
        # the stand-in so that either view starts it.
        for folder in ("syswow64", "system32") if not self.real_installer else ():
            if os.path.isdir(os.path.join(windows, folder)):
                shutil.copyfile(self.artifacts.recorder, os.path.join(windows, folder, "msiexec.exe"))
        os.makedirs(self.linux_path(TOOLS_FOLDER), exist_ok=True)
        os.makedirs(self.linux_path(RECORDS_FOLDER), exist_ok=True)
        for program in (self.artifacts.starter, self.artifacts.recorder, self.artifacts.service_stub,
                        self.artifacts.box_reader, self.artifacts.key_access, self.artifacts.terminator):
            shutil.copyfile(program, os.path.join(self.linux_path(TOOLS_FOLDER), os.path.basename(program)))

    @contextlib.contextmanager
    def recorder_as_interpreter(self):
        """Puts recorder.exe where Setup.exe starts "<system folder>\\cmd.exe"
        (syswow64 for a 32-bit program in a 64-bit prefix; system32 too) for
        the duration of a with block, and the prefix's own back afterwards.
        Wine's interpreter passes a child's 259 on as 0, so only a stand-in in
        its place can end with 259. Read temp_folder() before: it asks cmd."""
        saved = []
        try:
            for folder in ("syswow64", "system32"):
                path = os.path.join(self.drive_c, "windows", folder, "cmd.exe")
                if os.path.isfile(path):
                    os.replace(path, path + ".saved")
                    saved.append(path)
                    shutil.copyfile(self.artifacts.recorder, path)
            yield
        finally:
            for path in saved:
                os.replace(path + ".saved", path)

    # ----- paths and environment -----

    @property
    def drive_c(self):
        return os.path.join(self.path, "drive_c")

    def linux_path(self, windows_path):
        """Linux path of a long-form C:\\ path (no 8.3 names; see resolve_windows_path)."""
        if windows_path[:3].upper() != "C:\\":
            raise ValueError(f"not a C:\\ path: {windows_path!r}")
        parts = [p for p in windows_path[3:].split("\\") if p]
        return os.path.join(self.drive_c, *parts)

    def windows_path(self, linux_path):
        """Long-form C:\\ path of a Linux path inside drive_c."""
        relative = os.path.relpath(linux_path, self.drive_c)
        if relative.startswith(".."):
            raise ValueError(f"not inside drive_c: {linux_path!r}")
        return "C:\\" + ("" if relative == "." else relative.replace("/", "\\"))

    def environment(self, extra_env=None):
        """The environment of a wine call: this prefix, no debug output, a UTF-8
        locale (so non-ASCII arguments arrive intact), and a display only when
        the prefix has one. `extra_env` entries override; a None value removes."""
        env = dict(os.environ)
        for variable in ("DISPLAY", "WINEDLLOVERRIDES", "WINEARCH", "WINELOADER", "WINESERVER"):
            env.pop(variable, None)
        env.update(WINEPREFIX=self.path, WINEDEBUG="-all", LC_ALL="C.UTF-8")
        if self.display:
            env["DISPLAY"] = self.display
        for variable, value in (extra_env or {}).items():
            if value is None:
                env.pop(variable, None)
            else:
                env[variable] = value
        return env

    # ----- running programs -----

    def _run_quiet(self, args, timeout, what, extra_env=None, cwd=None):
        """Runs a call whose output nobody reads; raises WineError on failure."""
        try:
            result = subprocess.run(args, env=self.environment(extra_env), cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise WineError(f"could not {what}: no end within {timeout} s ({args!r})")
        if result.returncode != 0:
            raise WineError(f"could not {what}: exit {result.returncode} ({args!r})")

    def wine(self, args, cwd=None, extra_env=None, timeout=CALL_TIMEOUT, check=True):
        """Runs `wine <args>` (args: list; args[0] a Windows program name or
        path) with Linux working folder `cwd` (default drive_c). Returns
        (exit code, low 8 bits only; output, stdout and stderr together)."""
        output_path = os.path.join(self.root, f"wine-{uuid.uuid4().hex}.out")
        with open(output_path, "wb") as output:
            process = subprocess.Popen(["wine"] + list(args), env=self.environment(extra_env),
                                       cwd=cwd or self.drive_c, stdin=subprocess.DEVNULL,
                                       stdout=output, stderr=subprocess.STDOUT, start_new_session=True)
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                _kill(process)
                raise WineError(f"wine {args!r} did not end within {timeout} s: {_read_text(output_path)!r}")
        text = _read_text(output_path)
        os.remove(output_path)
        if check and process.returncode != 0:
            raise WineError(f"wine {args!r} exited {process.returncode}: {text!r}")
        return process.returncode, text

    def run_program(self, command_line, cwd_windows=None, extra_env=None, timeout=CALL_TIMEOUT):
        """Runs a Windows command line exactly as given, through starter.exe,
        in Windows folder `cwd_windows` (default C:\\). Returns (full exit
        status, starter output). Raises WineError when it cannot start."""
        process, output_path = self._start_starter(command_line, cwd_windows or "C:\\", extra_env)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill(process)
            raise WineError(f"{command_line!r} did not end within {timeout} s")
        output = _read_text(output_path)
        os.remove(output_path)
        return parse_starter_output(output, process.returncode), output

    def _start_starter(self, command_line, cwd_windows, extra_env):
        """Starts starter.exe on `command_line`; returns (Popen, Linux path of its output file)."""
        env = dict(extra_env or {})
        env["SETUP_STARTER_COMMAND"] = command_line  # wine would re-quote it as an argument
        # Wine takes its current directory from the Linux one.
        return self._start_wine([TOOLS_FOLDER + r"\starter.exe"], self.linux_path(cwd_windows), env, "starter")

    def _start_wine(self, args, cwd, extra_env, what):
        """Starts `wine <args>` in Linux folder `cwd` without waiting; returns
        (Popen, Linux path of the file that receives its output)."""
        output_path = os.path.join(self.root, f"{what}-{uuid.uuid4().hex}.out")
        with open(output_path, "wb") as output:
            process = subprocess.Popen(["wine"] + list(args), env=self.environment(extra_env), cwd=cwd,
                                       stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT,
                                       start_new_session=True)
        return process, output_path

    def resolve_windows_path(self, windows_path):
        """Linux path of any Windows path, 8.3 names included (winepath -u)."""
        code, output = self.wine(["winepath", "-u", windows_path], check=False)
        lines = [line for line in output.splitlines() if line.startswith("/")]
        if code != 0 or not lines:
            raise WineError(f"winepath -u {windows_path!r} failed: {output!r}")
        return lines[-1]

    def short_path(self, windows_path):
        """The 8.3 form of an existing Windows path (winepath -s)."""
        code, output = self.wine(["winepath", "-s", windows_path], check=False)
        lines = [line for line in output.splitlines() if line[1:3] == ":\\"]
        if code != 0 or not lines:
            raise WineError(f"winepath -s {windows_path!r} failed: {output!r}")
        return lines[-1]

    # ----- patch folders and Setup.exe -----

    def make_patch_folder(self, name="Patch Files", files=None, with_setup=True):
        """Creates C:\\<name> (`name` may hold "\\" for nested folders) with
        `files` ({relative path: bytes}; default one empty
        Files\\Hostrel_Update.msp) and a copy of Setup.exe. Refuses a name whose
        first folder exists, so tests cannot see each other's leftovers;
        PatchFolder.remove() removes all it made."""
        if files is None:
            files = {"Files\\" + DEFAULT_PATCH_FILE: b""}
        windows_path = "C:\\" + name.strip("\\")
        root = self.linux_path("C:\\" + name.strip("\\").split("\\")[0])
        folder = PatchFolder(self.linux_path(windows_path), windows_path, root)
        os.makedirs(root, exist_ok=False)
        os.makedirs(folder.linux_path, exist_ok=True)
        os.makedirs(folder.file("Files"), exist_ok=True)
        for relative, content in files.items():
            path = folder.file(relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as target:
                target.write(content)
        if with_setup:
            shutil.copyfile(self.artifacts.setup, folder.file("Setup.exe"))
        return folder

    def start_setup(self, folder, tail="", *, command_line=None, installer_exit=0, hold=False,
                    record_keys=(), record_values=TRANSFORM_VALUES, extra_env=None, window_station=None,
                    timeout=CALL_TIMEOUT):
        """Starts Setup.exe in `folder` (its current directory) and returns a RunningSetup.

        The command line is "\"C:\\<folder>\\Setup.exe\"" followed by " " and
        `tail` when the tail is not empty, or exactly `command_line` when
        given. The installer stand-in exits with `installer_exit`, records
        `record_values` of every key of `record_keys` (paths under HKCR), and,
        with `hold`, waits for RunningSetup.release() (or wait()) before ending.
        With `window_station` (a name), Setup.exe runs on a desktop of a new
        window station that is not visible, as a service's would be.
        """
        if command_line is None:
            command_line = f'"{folder.windows_path}\\Setup.exe"' + (" " + tail if tail else "")
        token = uuid.uuid4().hex
        record_windows = f"{RECORDS_FOLDER}\\{token}.jsonl"
        hold_windows = f"{RECORDS_FOLDER}\\{token}.release" if hold else ""
        env = {
            "SETUP_RECORD_FILE": record_windows,
            "SETUP_RECORDER_EXIT": str(installer_exit),
            "SETUP_RECORD_KEYS": ";".join(record_keys),
            "SETUP_RECORD_VALUES": ";".join(record_values),
            "SETUP_RECORDER_HOLD_UNTIL": hold_windows or None,
            "SETUP_STARTER_WINDOW_STATION": window_station,
        }
        env.update(extra_env or {})
        process, output_path = self._start_starter(command_line, folder.windows_path, env)
        return RunningSetup(self, process, output_path, self.linux_path(record_windows),
                            self.linux_path(hold_windows) if hold else "", command_line,
                            time.monotonic() + timeout)

    def run_setup(self, folder, tail="", **options):
        """Runs Setup.exe to its end (see start_setup for the options) and returns the SetupRun."""
        return self.start_setup(folder, tail, **options).wait()

    # ----- Setup.exe's run logs -----

    def temp_folder(self):
        """Linux path of the folder GetTempPathW gives this prefix's programs:
        TMP, else TEMP, else USERPROFILE, else the Windows folder, as a Windows
        program's environment holds them (Wine fills them from the registry,
        not from Linux's TMP)."""
        if self._temp_folder is None:
            _code, output = self.wine(["cmd", "/c", "set"])
            variables = {}
            for line in output.splitlines():
                name, equals, value = line.partition("=")
                if equals and value.strip():
                    variables.setdefault(name.strip().upper(), value.rstrip("\r\n"))
            windows = next((variables[name] for name in ("TMP", "TEMP", "USERPROFILE") if name in variables),
                           "C:\\windows")
            folder = self.linux_path(windows) if windows[:3].upper() == "C:\\" else ""
            # An 8.3 or other drive's form needs Wine to map it.
            self._temp_folder = folder if os.path.isdir(folder) else self.resolve_windows_path(windows)
        return self._temp_folder

    def run_logs(self):
        """Linux paths of Setup.exe's run logs in the temporary folder, oldest first."""
        folder = self.temp_folder()
        found = []
        for name in os.listdir(folder) if os.path.isdir(folder) else ():
            match = RUN_LOG_NAME.fullmatch(name)
            if match:
                path = os.path.join(folder, name)
                # Runs of one second differ by process id: their order is the files'.
                found.append(((match.group(1), os.stat(path).st_mtime_ns, int(match.group(2) or 1)), path))
        return [path for _order, path in sorted(found)]

    def newest_run_log(self):
        """Linux path of the newest run log, or None."""
        logs = self.run_logs()
        return logs[-1] if logs else None

    def remove_run_logs(self):
        """Deletes every run log, so that a test sees only those of its own runs."""
        for path in self.run_logs():
            os.remove(path)

    # ----- registry (HKEY_CLASSES_ROOT) -----

    def import_registry(self, lines):
        """Imports .reg lines (after the header) with regedit /S in one call.
        The file is UTF-16, so any text can be written."""
        text = "Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n"
        name = f"import-{uuid.uuid4().hex}.reg"
        path = os.path.join(self.linux_path(RECORDS_FOLDER), name)
        with open(path, "wb") as target:
            target.write(b"\xff\xfe" + text.encode("utf-16-le"))
        try:
            self.wine(["regedit", "/S", f"{RECORDS_FOLDER}\\{name}"])
        finally:
            os.remove(path)

    def set_values(self, key, values):
        """Sets string values of HKCR\\<key>, creating the key: `values` maps
        a value name to its text, or to None to delete the value."""
        lines = [f"[HKEY_CLASSES_ROOT\\{key}]"]
        for name, text in values.items():
            lines.append(f"{quote_reg_text(name)}=" + ("-" if text is None else quote_reg_text(text)))
        self.import_registry(lines)

    def delete_key(self, key):
        """Deletes HKCR\\<key> and everything under it (no error when absent)."""
        self.import_registry([f"[-HKEY_CLASSES_ROOT\\{key}]"])

    def read_key(self, key, names=TRANSFORM_VALUES):
        """The recorder's snapshot of HKCR\\<key> as a 32-bit program sees it:
        {"key", "exists", "values": {name: None | {"type", "size", "data"}}}."""
        record_windows = f"{RECORDS_FOLDER}\\read-{uuid.uuid4().hex}.jsonl"
        env = {"SETUP_RECORD_FILE": record_windows, "SETUP_RECORD_KEYS": key,
               "SETUP_RECORD_VALUES": ";".join(names), "SETUP_RECORDER_EXIT": "0",
               "SETUP_RECORDER_HOLD_UNTIL": None}
        self.run_program(TOOLS_FOLDER + r"\recorder.exe", extra_env=env)
        path = self.linux_path(record_windows)
        records = read_records(path)
        os.remove(path)
        if len(records) != 1:
            raise WineError(f"reading {key!r} gave {len(records)} records")
        return records[0]["keys"][0]

    def set_read_only(self, key, read_only=True):
        """Lets everyone only read HKCR\\<key> (or, with `read_only` False,
        do anything with it again). Raises WineError when the key's access
        list cannot be set, e.g. because the key does not exist."""
        mode = "read-only" if read_only else "full"
        code, output = self.wine([TOOLS_FOLDER + r"\key_access.exe", mode, key], check=False)
        if code != 0 or "ok" not in output.split():
            raise WineError(f"key_access.exe {mode} {key!r} failed ({code}): {output!r}")

    def read_values(self, key, names=TRANSFORM_VALUES):
        """{name: text or None (absent)} for values of HKCR\\<key>."""
        snapshot = self.read_key(key, names)
        return {name: None if value is None else value["data"] for name, value in snapshot["values"].items()}

    # ----- services and processes -----

    def sc(self, *args, check=False):
        """Runs `sc <args>` (create, start, query, stop, delete...); returns (exit code, output)."""
        return self.wine(["sc"] + list(args), check=check)

    def kill_image(self, image_name):
        """Ends every process whose image is `image_name` (taskkill /f /im)."""
        return self.kill_images(image_name)

    def terminate_image(self, image_name, exit_code):
        """Ends every process whose image is `image_name` with exactly
        `exit_code` (TerminateProcess), where taskkill /f would give 0."""
        code, output = self.wine([TOOLS_FOLDER + r"\terminator.exe", image_name, hex(exit_code)], check=False)
        if code != 0:
            raise WineError(f"terminator.exe {image_name} failed ({code}): {output!r}")

    def kill_images(self, *image_names):
        """Ends the processes of all `image_names` in one taskkill call, image
        by image in the order given, as a deployment tool's timeout would."""
        args = ["taskkill", "/f"]
        for name in image_names:
            args += ["/im", name]
        return self.wine(args, check=False)

    def service_state(self, name):
        """The state of service `name` as `sc query` names it ("RUNNING",
        "STOPPED", "PAUSED", "START_PENDING"...), or None when it is not installed."""
        code, output = self.sc("query", name)
        match = re.search(r"^\s*STATE\s*:\s*\d+\s+(\w+)", output, re.MULTILINE)
        if code != 0 or not match:
            return None
        return match.group(1)

    def wait_for_service_state(self, name, state, timeout=SERVICE_TIMEOUT):
        """Waits until service `name` is in `state` (see service_state; None:
        not installed). Raises WineError naming the last state seen."""
        end = time.monotonic() + timeout
        while True:
            current = self.service_state(name)
            if current == state:
                return
            if time.monotonic() > end:
                raise WineError(f"service {name!r} is {current!r}, not {state!r}, after {timeout} s")
            time.sleep(0.1)

    def install_service(self, name, state="RUNNING"):
        """Registers service_stub.exe as service `name` and brings it to
        `state`: "STOPPED" (installed, never started), "RUNNING", "PAUSED"
        or "START_PENDING". Remove it with remove_service."""
        switches = {"STOPPED": "", "RUNNING": "", "PAUSED": " --paused", "START_PENDING": " --start-pending"}
        binary = TOOLS_FOLDER + "\\service_stub.exe" + switches[state]
        self.sc("create", name, "binPath=", binary, check=True)
        if state != "STOPPED":
            code, output = self.sc("start", name)
            if code != 0:
                raise WineError(f"sc start {name!r} failed ({code}): {output!r}; state {self.service_state(name)!r}")
        self.wait_for_service_state(name, state)

    def stop_service(self, name):
        """Stops service `name` with `sc stop` and waits until it has stopped."""
        self.sc("stop", name)
        self.wait_for_service_state(name, "STOPPED")

    def remove_service(self, name):
        """Stops and deletes service `name`; no error when it is not installed.
        A service that takes no stop request (a pending one) has its process
        ended; the service manager then forgets it once it is deleted."""
        state = self.service_state(name)
        if state is None:
            return
        if state in ("RUNNING", "PAUSED"):
            self.sc("stop", name)
            with contextlib.suppress(WineError):
                self.wait_for_service_state(name, "STOPPED", timeout=5)
        if self.service_state(name) != "STOPPED":
            self.kill_image("service_stub.exe")  # only the tests' own services run it
        self.sc("delete", name)
        self.wait_for_service_state(name, None)

    # ----- message boxes -----

    def read_message_box(self, image="Setup.exe", while_running=None, timeout=BOX_TIMEOUT):
        """Waits for a message box shown by a process running program file
        `image` (any process when None), presses its OK button and returns
        what box_reader.exe saw: {"caption", "text", "owner", "image",
        "buttons": [{"id", "text"}], "closed"}. Returns None when no box
        appears within `timeout` s, or when `while_running` (a Popen, e.g.
        RunningSetup.process) ends before a box was seen. Needs a prefix with
        a display."""
        if not self.display:
            raise WineError("message boxes can only be read in a prefix with a display")
        args = [TOOLS_FOLDER + r"\box_reader.exe", "--timeout-ms", str(int(timeout * 1000))]
        if image:
            args += ["--image", image]
        process, output_path = self._start_wine(args, self.drive_c, None, "box")
        end = time.monotonic() + timeout + CALL_TIMEOUT
        try:
            while process.poll() is None:
                if time.monotonic() > end:
                    raise WineError(f"box_reader.exe did not end: {_read_text(output_path)!r}")
                # The reader reports a box before pressing OK, so a program that
                # ended with no report showed no box (that this reader saw).
                if while_running is not None and while_running.poll() is not None and not self._box_lines(output_path):
                    return None
                time.sleep(0.05)
            lines = self._box_lines(output_path)
        finally:
            _kill(process)
            with contextlib.suppress(FileNotFoundError):
                os.remove(output_path)
        if not lines:
            raise WineError(f"box_reader.exe printed no report (exit {process.returncode})")
        report = {}
        for line in lines:
            report.update(json.loads(line))
        return None if "error" in report else report

    @staticmethod
    def _box_lines(output_path):
        """The JSON lines box_reader.exe has written so far."""
        return [line for line in _read_text(output_path).splitlines() if line.startswith("{")]


class PrefixTestCase(unittest.TestCase):
    """A test class with one prefix for all its tests (booting costs about 11 s).

    Tests make their own patch folders with patch_folder(), which removes them
    afterwards, so they do not depend on each other. A class that sets
    `with_display` gets a private X display, so message boxes stay up to be read;
    one that sets `real_installer` keeps Wine's own msiexec (no records)."""

    prefix = None
    with_display = False
    real_installer = False
    _display = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            if cls.with_display:
                cls._display = display.VirtualDisplay().__enter__()
            cls.prefix = WinePrefix(Artifacts.locate(), display=cls._display.name if cls._display else None,
                                    real_installer=cls.real_installer).start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.prefix is not None:
            cls.prefix.close()
            cls.prefix = None
        if cls._display is not None:
            cls._display.__exit__()
            cls._display = None
        super().tearDownClass()

    @property
    def virtual_display(self):
        """The class's display.VirtualDisplay; None unless `with_display` is set."""
        return self._display

    @contextlib.contextmanager
    def patch_folder(self, name="Patch Files", files=None, with_setup=True):
        """make_patch_folder() for the duration of a with block."""
        folder = self.prefix.make_patch_folder(name, files, with_setup)
        try:
            yield folder
        finally:
            folder.remove()


def installer_database(properties):
    """The bytes of an installer database (.msi) whose Property table holds
    `properties` ({name: value}), built with msibuild."""
    with tempfile.TemporaryDirectory(prefix="setup-msi-") as folder:
        rows = "".join(f"{name}\t{value}\n" for name, value in properties.items())
        with open(os.path.join(folder, "Property.idt"), "w", encoding="utf-8", newline="\n") as table:
            table.write("Property\tValue\ns72\tl0\nProperty\tProperty\n" + rows)
        database = os.path.join(folder, "package.msi")
        result = subprocess.run(["msibuild", database, "-i", os.path.join(folder, "Property.idt")],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=CALL_TIMEOUT)
        if result.returncode != 0:
            raise RuntimeError(f"msibuild failed ({result.returncode}): {result.stderr!r}")
        with open(database, "rb") as source:
            return source.read()


def run_once(artifacts=None, folder_name="Patch Files", patch_file=DEFAULT_PATCH_FILE, tail="/qn",
             installer_exit=0):
    """Boots a prefix, runs Setup.exe once in C:\\<folder_name> holding
    Files\\<patch_file>, and returns (installer command line, installer
    current directory, Setup.exe exit status). The command line and folder
    are None when the installer did not start. For demonstrations."""
    artifacts = artifacts or Artifacts.locate()
    with WinePrefix(artifacts) as prefix:
        folder = prefix.make_patch_folder(folder_name, {"Files\\" + patch_file: b""} if patch_file else {})
        run = prefix.run_setup(folder, tail, installer_exit=installer_exit)
    if not run.records:
        return None, None, run.status
    return run.records[0]["command_line"], run.records[0]["current_directory"], run.status
