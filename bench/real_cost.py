"""What Setup.exe adds to a real patch under Wine, as a median ratio of paired runs.

    python3 bench/real_cost.py [--runs N] [--build-dir DIR] [--warmup N]

Wine's own msiexec, the sample product Quarrix Hostrel 1.0.0 (built with
wixl, installed by msiexec /i) and one real patch to 1.0.1
(tests/wine/real_product.py). Each round times these two, in a patch folder
C:\\Bench Patch holding Setup.exe, Files\\Hostrel_Update.msp and
Files\\1031.mst:

  setup   starter.exe running "C:\\Bench Patch\\Setup.exe" /qn;
  direct  starter.exe running the command line Setup.exe starts there, as
          its run log names it: <system folder>\\cmd.exe /C <system
          folder>\\msiexec.exe /p <short folder>\\Files\\Hostrel_Update.msp
          REINSTALL=ALL /qn.

Both go through the same 32-bit starter (tests/wine/tools), so both pay the
same Wine process start and get the same system folder; the setup run adds
Setup.exe's own process and work. Before every timed run, untimed, the
product is uninstalled (its patch with it) and installed again, and its
Transforms set to ":1031.mst", so that every run patches the same fresh
product and the launcher backs up, redirects and restores as in the field.
Reinstalling is cheaper than removing the patch (it is registered as not
uninstallable), and the installer's cache under C:\\windows\\Installer is
left alone. Odd rounds run direct first. A run must end with status 0 and
leave the patch's contents installed, or the bench stops.

Prints one line, e.g.
    real_cost runs=10 ratio=1.35 setup_ms=1520 direct_ms=1130
ratio being the median over the rounds of setup/direct, and the times the
medians of each kind. Progress goes to stderr.
"""

import os

import bench_prefix
from bench_prefix import harness, log, median

import real_product  # tests/wine, on the path bench_prefix set

KINDS = ("setup", "direct")
PATCH_FILE = "Hostrel_Update.msp"
OWN_TRANSFORMS = ":1031.mst"
PATCHED_TEXT = "Hostrel 1.0.1"
STARTER = harness.TOOLS_FOLDER + r"\starter.exe"
COMMAND_LINE_EVENT = "Installer command line: "


def arguments():
    return bench_prefix.paired_run_arguments(__doc__.split("\n\n")[0], runs=10, warmup=1)


class RealPrefix(bench_prefix.BenchPrefix):
    """A bench prefix that keeps Wine's own msiexec and has the real product."""

    def __init__(self, build_dir):
        super().__init__(build_dir)
        self.real_installer = True

    def start(self):
        # Not BenchPrefix.start: its stand-in registration of another Hostrel
        # row has no place beside a product a real installer registered.
        harness.WinePrefix.start(self)
        return self

    def fresh_product(self, builder):
        """Uninstalls the product when it is there, installs it again and
        registers it in German. Untimed."""
        if real_product.installed_text(self) is not None and real_product.uninstall(self) != 0:
            raise harness.WineError("msiexec /x of the product failed")
        if real_product.install(self, builder) != 0:
            raise harness.WineError("msiexec /i of the product failed")
        self.set_values(real_product.PRODUCT_KEY, {"Transforms": OWN_TRANSFORMS})
        if real_product.installed_text(self) != "Hostrel 1.0.0":
            raise harness.WineError(f"the fresh product holds {real_product.installed_text(self)!r}")

    def timed_start(self, command_line, cwd):
        """Runs `command_line` through starter.exe in Linux folder `cwd`, as
        BenchPrefix.timed runs a program; returns (seconds, the child's full
        exit status)."""
        output_path = os.path.join(self.root, "real-cost-starter.out")
        elapsed, code = self.timed([STARTER], cwd, {"SETUP_STARTER_COMMAND": command_line}, output_path)
        with open(output_path, encoding="utf-8", errors="replace") as source:
            return elapsed, harness.parse_starter_output(source.read(), code)


def installer_command_line(prefix):
    """The installer command line of Setup.exe's newest run, from its run log."""
    path = prefix.newest_run_log()
    events = harness.read_run_log(path) if path else []
    for event in events:
        if event.startswith(COMMAND_LINE_EVENT):
            return event[len(COMMAND_LINE_EVENT):]
    raise harness.WineError(f"no installer command line in Setup.exe's run log: {events!r}")


def main():
    options = arguments()
    build_dir = bench_prefix.build_folder(options.build_dir)
    log(f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f}; building the product and a patch...")
    builder = real_product.Builder()
    try:
        patch = builder.patch("1.0.1", text=PATCHED_TEXT)
        log("booting a throwaway prefix...")
        with RealPrefix(build_dir) as prefix:
            folder = prefix.make_patch_folder("Bench Patch", {"Files\\" + PATCH_FILE: patch,
                                                              "Files\\1031.mst": b""})
            setup_line = f'"{folder.windows_path}\\Setup.exe" /qn'

            def run(kind, command_line):
                prefix.fresh_product(builder)
                seconds, status = prefix.timed_start(command_line, folder.linux_path)
                text = real_product.installed_text(prefix)
                if status != 0 or text != PATCHED_TEXT:
                    raise harness.WineError(f"{kind} run {command_line!r} ended with {status}, "
                                            f"the product holding {text!r}")
                return seconds

            run("setup", setup_line)  # also tells the command line to compare with
            plan = {"setup": setup_line, "direct": installer_command_line(prefix)}
            log(f"installer command line: {plan['direct']!r}")
            times = {kind: [] for kind in KINDS}
            for round_number in range(options.warmup + options.runs):
                order = KINDS if round_number % 2 == 0 else KINDS[::-1]
                for kind in order:
                    seconds = run(kind, plan[kind])
                    if round_number >= options.warmup:
                        times[kind].append(seconds)
                if round_number >= options.warmup:
                    log(f"{round_number - options.warmup + 1}/{options.runs} rounds: setup "
                        f"{times['setup'][-1] * 1000.0:.0f} ms, direct {times['direct'][-1] * 1000.0:.0f} ms")
    finally:
        builder.remove()

    ratio = median([s / d for s, d in zip(times["setup"], times["direct"])])
    fields = [f"runs={options.runs}", f"ratio={ratio:.2f}"]
    fields += [f"{kind}_ms={median(times[kind]) * 1000.0:.0f}" for kind in KINDS]
    print("real_cost " + " ".join(fields), flush=True)


if __name__ == "__main__":
    main()
