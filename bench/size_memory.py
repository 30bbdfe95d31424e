"""Setup.exe's file size and its peak memory during a run under Wine.

    python3 bench/size_memory.py [--runs N] [--build-dir DIR]

Size: the bytes of the built Setup.exe, as shipped (nothing stripped here).

Memory: Setup.exe runs in a patch folder (Files\\Hostrel_Update.msp, the
product registered, recorder.exe in msiexec.exe's place exiting at once),
once without an installer database and once with one (msi.dll loaded),
N times each (default 5); the medians are reported.
  peak_working_set_kib  PeakWorkingSetSize of Setup.exe as Wine reports it
                        to bench_starter.exe (K32GetProcessMemoryInfo,
                        sampled every millisecond until the child ends: for
                        an ended process Wine answers zeros). It is a
                        high-water mark, and matches the Linux process's
                        peak resident set (VmHWM).
  peak_private_kib      the largest PeakPagefileUsage sampled. Wine keeps no
                        peak of it (it equals the current PagefileUsage, the
                        private memory), so the largest sample stands for
                        the peak.
Linux's own ru_maxrss of the wine process, from wait4, is no use here: it
also counts what the process that forked it (this Python) had resident.
The db_ fields are the same with an installer database in the folder.

Prints one line, e.g.
    setup_exe size_bytes=587077 size_kib=573.3 peak_working_set_kib=11200 ...
Progress goes to stderr.
"""

import argparse
import os
import re

import bench_prefix
from bench_prefix import log, median

REPORT_WINDOWS = bench_prefix.harness.RECORDS_FOLDER + r"\bench_memory.txt"


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of each kind (default 5)")
    parser.add_argument("--build-dir", help="the windows build folder (default build/windows)")
    options = parser.parse_args()
    if options.runs < 1:
        parser.error("--runs must be at least 1")
    return options


def sampled_peaks(prefix, folder):
    """(peak working set, peak pagefile) in KiB of one Setup.exe run in
    `folder`, as bench_starter.exe sampled them."""
    report = prefix.linux_path(REPORT_WINDOWS)
    if os.path.exists(report):
        os.remove(report)
    env = {"SETUP_BENCH_COMMAND": f'"{folder.windows_path}\\Setup.exe"', "SETUP_BENCH_REPORT": REPORT_WINDOWS}
    _seconds, code = prefix.timed([bench_prefix.BENCH_STARTER], folder.linux_path, env)
    with open(report, "r", encoding="ascii") as source:
        text = source.read()
    fields = dict(re.findall(r"(\w+)=(\d+)", text))
    if code != 0 or fields.get("exit_status") != "0" or int(fields.get("samples", "0")) == 0:
        raise bench_prefix.harness.WineError(f"the memory run failed (exit {code}): {text!r}")
    return int(fields["peak_working_set"]) / 1024.0, int(fields["peak_pagefile"]) / 1024.0


def main():
    options = arguments()
    build_dir = bench_prefix.build_folder(options.build_dir)
    setup_exe = os.environ.get("SETUP_EXE") or os.path.join(build_dir, "src", "Setup.exe")
    size = os.path.getsize(setup_exe)
    fields = [f"size_bytes={size}", f"size_kib={size / 1024.0:.1f}"]
    log("booting a throwaway prefix...")
    with bench_prefix.BenchPrefix(build_dir) as prefix:
        for label, with_database in (("", False), ("db_", True)):
            folder = bench_prefix.patch_folder(prefix, f"Memory{label or 'plain'}", with_database)
            working_sets, privates = [], []
            for _ in range(options.runs):
                working_set, private = sampled_peaks(prefix, folder)
                working_sets.append(working_set)
                privates.append(private)
            fields += [f"{label}peak_working_set_kib={median(working_sets):.0f}",
                       f"{label}peak_private_kib={median(privates):.0f}"]
            log(f"{label or 'plain '}done")
    print("setup_exe " + " ".join(fields), flush=True)


if __name__ == "__main__":
    main()
