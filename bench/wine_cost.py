"""What Setup.exe costs under Wine, as median ratios of paired runs.

    python3 bench/wine_cost.py [--runs N] [--build-dir DIR]

The installer is recorder.exe in msiexec.exe's place, exiting at once. Each
round runs these five, one after another:

  setup     Setup.exe in a patch folder (Files\\Hostrel_Update.msp, the
            product registered, no installer database);
  direct    the interpreter and installer command line Setup.exe starts there,
            run directly: wine <syswow64>\\cmd.exe /C <recorded command line>;
  floor     bench_starter.exe starting that same command line hidden, as
            Setup.exe does, and waiting (one process more than direct);
  db_setup  Setup.exe in a patch folder that also holds an installer
            database, so that msi.dll is loaded;
  db_floor  bench_starter.exe on that folder's command line.

Round r starts at the r-th of them and wraps round (setup, direct, ...,
db_floor; then direct, ..., db_floor, setup; and so on), because a run's
time depends a little on which run came before it. The ratios are taken
within each round, then their medians over the rounds: a = setup/direct,
b = setup/floor, starter_over_direct = floor/direct, db_b =
db_setup/db_floor. msi_load_ms is the median time
dll_load_timer.exe takes to load the system msi.dll after advapi32 (as
Setup.exe does when it has not bound user32), in a process of its own.
db_extra_ms is the median of db_setup-setup within the rounds: what the
database adds, msi.dll's load and the query; msi_load_share is db_extra_ms
over the median of db_setup-db_floor, the launcher's whole cost with a
database.

Prints one line, e.g.
    wine_cost runs=30 a=1.62 b=1.41 starter_over_direct=1.13 db_b=2.30 msi_load_share=0.45 db_extra_ms=90 ...
followed by the median milliseconds of each kind of run. Progress goes to stderr.
"""

import re

import bench_prefix
from bench_prefix import log, median

KINDS = ("setup", "direct", "floor", "db_setup", "db_floor")


def arguments():
    return bench_prefix.paired_run_arguments(__doc__.split("\n\n")[0], runs=30, warmup=2)


def msi_load_ms(prefix, runs):
    """Median milliseconds dll_load_timer.exe takes to load msi.dll after advapi32."""
    times = []
    for _ in range(runs):
        prefix.settle()
        _code, output = prefix.wine([bench_prefix.DLL_LOAD_TIMER, "advapi32.dll", "msi.dll"])
        match = re.search(r"msi\.dll_us=(\d+)", output)
        if not match:
            raise bench_prefix.harness.WineError(f"dll_load_timer.exe did not load msi.dll: {output!r}")
        times.append(int(match.group(1)) / 1000.0)
    return median(times)


def main():
    options = arguments()
    build_dir = bench_prefix.build_folder(options.build_dir)
    log("booting a throwaway prefix...")
    with bench_prefix.BenchPrefix(build_dir) as prefix:
        plain = bench_prefix.patch_folder(prefix, "Bench Patch", with_database=False)
        database = bench_prefix.patch_folder(prefix, "Bench Database", with_database=True)
        plain_line = prefix.recorded_command_line(plain)
        database_line = prefix.recorded_command_line(database)
        log(f"installer command line: {plain_line!r}")

        def setup_run(folder):
            return [folder.windows_path + "\\Setup.exe"], folder.linux_path, None

        def direct_run(folder, line):
            # wine joins its arguments with blanks; the recorded line holds no quotes.
            return [bench_prefix.INTERPRETER_32, "/C"] + line.split(), folder.linux_path, None

        def floor_run(folder, line):
            command = f"{bench_prefix.SYSTEM_INTERPRETER} /C {line}"
            return [bench_prefix.BENCH_STARTER], folder.linux_path, {"SETUP_BENCH_COMMAND": command}

        plan = {
            "setup": setup_run(plain),
            "direct": direct_run(plain, plain_line),
            "floor": floor_run(plain, plain_line),
            "db_setup": setup_run(database),
            "db_floor": floor_run(database, database_line),
        }
        times = {kind: [] for kind in KINDS}
        for round_number in range(options.warmup + options.runs):
            first = round_number % len(KINDS)
            for kind in KINDS[first:] + KINDS[:first]:
                args, cwd, env = plan[kind]
                seconds, code = prefix.timed(args, cwd, env)
                if code != 0:
                    raise bench_prefix.harness.WineError(f"{kind} run {args!r} exited {code}")
                if round_number >= options.warmup:
                    times[kind].append(seconds)
            if round_number >= options.warmup and (round_number - options.warmup + 1) % 5 == 0:
                log(f"{round_number - options.warmup + 1}/{options.runs} rounds")
        load_ms = msi_load_ms(prefix, max(5, min(options.runs, 15)))

    def ratio(numerator, denominator):
        return median([n / d for n, d in zip(times[numerator], times[denominator])])

    database_overhead = median([s - f for s, f in zip(times["db_setup"], times["db_floor"])]) * 1000.0
    database_extra = median([d - s for d, s in zip(times["db_setup"], times["setup"])]) * 1000.0
    fields = [
        f"runs={options.runs}",
        f"a={ratio('setup', 'direct'):.2f}",
        f"b={ratio('setup', 'floor'):.2f}",
        f"starter_over_direct={ratio('floor', 'direct'):.2f}",
        f"db_b={ratio('db_setup', 'db_floor'):.2f}",
        f"msi_load_share={database_extra / database_overhead:.2f}" if database_overhead > 0 else "msi_load_share=nan",
        f"db_extra_ms={database_extra:.0f}",
        f"msi_load_ms={load_ms:.0f}",
    ]
    fields += [f"{kind}_ms={median(times[kind]) * 1000.0:.0f}" for kind in KINDS]
    print("wine_cost " + " ".join(fields), flush=True)


if __name__ == "__main__":
    main()
