"""Shared ground for the Setup.exe benchmarks under Wine (bench/*.py).

A BenchPrefix is the end-to-end tests' throwaway Wine prefix
(tests/wine/harness.py: persistent wineserver, recorder.exe in msiexec.exe's
place, exiting at once with status 0) plus the registration of the product a
Hostrel patch is for and the two benchmark tools (bench_starter.exe,
dll_load_timer.exe) in C:\\e2etools.

Every timed run is the wall time of one `wine <program>` call, taken with
time.perf_counter around the Linux process. Before each run the prefix is
let settle: a run of a GUI program starting cmd.exe leaves a console host and
a desktop process behind for about a second, and their work would otherwise
fall into the next run.
"""

import argparse
import os
import subprocess
import sys
import threading
import time

BENCH_FOLDER = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.dirname(BENCH_FOLDER)
sys.path.insert(0, os.path.join(REPOSITORY, "tests", "wine"))

import harness  # noqa: E402  (needs the path above)

HOSTREL_PRODUCT_KEY = r"Installer\Products\E359D2F96F56DF147AD77D973394339F"
PATCH_FILE = "Files\\" + harness.DEFAULT_PATCH_FILE
# A 32-bit launcher's "<system folder>\cmd.exe" is this one; the direct run
# must start the same interpreter.
INTERPRETER_32 = r"C:\windows\syswow64\cmd.exe"
SYSTEM_INTERPRETER = r"C:\windows\system32\cmd.exe"
BENCH_STARTER = harness.TOOLS_FOLDER + r"\bench_starter.exe"
DLL_LOAD_TIMER = harness.TOOLS_FOLDER + r"\dll_load_timer.exe"

# Windows programs a run starts, directly or not, and that must be gone
# before the next run starts.
TRANSIENT_IMAGES = ("setup.exe", "cmd.exe", "conhost.exe", "explorer.exe", "msiexec.exe",
                    "bench_starter.exe", "dll_load_timer.exe", "starter.exe")
SETTLE_TIMEOUT = 15.0  # seconds
RUN_TIMEOUT = 60.0


def log(text):
    """Progress for the person watching; the result line alone goes to stdout."""
    print(text, file=sys.stderr, flush=True)


def paired_run_arguments(description, runs, warmup):
    """Parses the options every paired-run bench takes: --runs (default
    `runs`), --build-dir and --warmup (default `warmup`)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--runs", type=int, default=runs, help=f"rounds of paired runs (default {runs})")
    parser.add_argument("--build-dir", help="the windows build folder (default build/windows)")
    parser.add_argument("--warmup", type=int, default=warmup, help=f"untimed rounds first (default {warmup})")
    options = parser.parse_args()
    if options.runs < 1:
        parser.error("--runs must be at least 1")
    return options


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def build_folder(argument=None):
    """The windows build folder: the argument, SETUP_WINDOWS_BUILD_DIR or build/windows."""
    return os.path.abspath(argument or os.environ.get("SETUP_WINDOWS_BUILD_DIR")
                           or os.path.join(REPOSITORY, "build", "windows"))


def tool_path(build_dir, name):
    path = os.path.join(build_dir, "tests", "wine", "tools", name)
    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} not found: build the windows preset first")
    return path


class BenchPrefix(harness.WinePrefix):
    """A harness prefix prepared for the benchmarks; a context manager."""

    def __init__(self, build_dir):
        super().__init__(harness.Artifacts.locate(build_dir))
        self.build_dir = build_dir

    def start(self):
        super().start()
        for name in ("bench_starter.exe", "dll_load_timer.exe"):
            target = os.path.join(self.linux_path(harness.TOOLS_FOLDER), name)
            with open(tool_path(self.build_dir, name), "rb") as source, open(target, "wb") as copy:
                copy.write(source.read())
        self.set_values(HOSTREL_PRODUCT_KEY, {"ProductName": "Quarrix Hostrel"})
        return self

    # ----- settling -----

    def _transient_pids(self):
        """Linux pids of live Windows processes of this prefix that a run starts."""
        marker = b"WINEPREFIX=" + os.fsencode(self.path) + b"\0"
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat", "rb") as stat:
                    if stat.read().rsplit(b")", 1)[-1].split()[0] == b"Z":
                        continue
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    if marker not in environ.read():
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                    image = cmdline.read().split(b"\0")[0].decode("utf-8", "replace")
            except OSError:
                continue
            if image.replace("/", "\\").rsplit("\\", 1)[-1].lower() in TRANSIENT_IMAGES:
                found.append(int(entry))
        return found

    def settle(self):
        """Waits until no process of an earlier run is left (bounded)."""
        end = time.monotonic() + SETTLE_TIMEOUT
        while self._transient_pids():
            if time.monotonic() > end:
                raise harness.WineError(f"processes of an earlier run did not end: {self._transient_pids()}")
            time.sleep(0.05)

    # ----- runs -----

    def timed(self, args, cwd, extra_env=None, output_path=None):
        """Settles, then runs `wine <args>` in Linux folder `cwd`, its output
        to `output_path` when given; returns (seconds, Linux exit code). Waits
        with a blocking wait4: Popen.wait with a timeout polls and would add
        up to 50 ms to a run."""
        self.settle()
        env = self.environment(extra_env)
        with open(output_path or os.devnull, "wb") as output:
            began = time.perf_counter()
            process = subprocess.Popen(["wine"] + list(args), env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                       stdout=output, stderr=subprocess.DEVNULL)
            watchdog = threading.Timer(RUN_TIMEOUT, process.kill)
            watchdog.start()
            try:
                _pid, status, _usage = os.wait4(process.pid, 0)
                elapsed = time.perf_counter() - began
            finally:
                watchdog.cancel()
        process.returncode = os.waitstatus_to_exitcode(status)
        if elapsed >= RUN_TIMEOUT:
            raise harness.WineError(f"wine {args!r} did not end within {RUN_TIMEOUT} s")
        return elapsed, process.returncode

    def recorded_command_line(self, folder):
        """Runs Setup.exe in `folder` once with the recorder recording and
        returns the installer command line it produced."""
        run = self.run_setup(folder)
        if run.status != 0 or len(run.records) != 1:
            raise harness.WineError(f"a calibration run of Setup.exe failed: status {run.status}, "
                                    f"records {run.records!r}")
        return run.records[0]["command_line"]


def patch_folder(prefix, name, with_database):
    """A patch folder C:\\<name> holding Setup.exe and Files\\Hostrel_Update.msp,
    with an installer database beside them when `with_database`."""
    files = {PATCH_FILE: b""}
    if with_database:
        files["Hostrel_Update.msi"] = harness.installer_database({"LanguagePackInstaller": "0"})
    return prefix.make_patch_folder(name, files)
