"""Setup.exe under Wine: a run that is killed never costs the product its own transforms.

A deployment tool's timeout, a log-off or an impatient user may end Setup.exe
and its children while the installer runs, when the product's Transforms
names the patch folder and TransformsBackup holds the product's own value.
The next run that completes must put the own value back and leave no
backup, however many runs were cut short before it. When only a child is
killed, Setup.exe itself must notice and restore.
"""

import subprocess
import time
import unittest

import harness

PRODUCT_KEY = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"
PRODUCT_NAME = "Quarrix Hostrel"

# Many site transforms before the language one: far longer than any fixed
# buffer of 260 characters.
LONG_TRANSFORMS = ";".join(f"C:\\Site Transforms\\custom-{n:02}.mst" for n in range(40)) + ";:1031.mst"

# How a run is cut short: the images killed in one taskkill call, Setup.exe
# first so that it gets no chance to restore, or the whole prefix.
ALL_THREE = ("Setup.exe", "cmd.exe", "msiexec.exe")
SETUP_ALONE = ("Setup.exe",)  # its installer goes on running
WHOLE_PREFIX = None  # wineserver -k


class KillSafetyTest(harness.PrefixTestCase):

    def setUp(self):
        self.prefix.delete_key(PRODUCT_KEY)
        self.addCleanup(self.prefix.delete_key, PRODUCT_KEY)

    # ----- helpers -----

    def register(self, transforms):
        """Registers the product with its own Transforms (None: no such value)."""
        self.prefix.set_values(PRODUCT_KEY, {"ProductName": PRODUCT_NAME, "Transforms": transforms})

    def during(self, folder, own, transform):
        """The values while the installer runs from `folder`: Transforms names
        the folder's `transform` (by the folder's 8.3 form), the backup holds `own`
        (for none: an empty text, then the redirection recorded)."""
        short = self.prefix.short_path(folder.windows_path).rstrip("\\")
        redirected = f"{short}\\Files\\{transform}"
        # For a product without Transforms the journal's text is empty and
        # records, after its zero, the redirection.
        return {"Transforms": redirected,
                "TransformsBackup": own if own is not None else "\0redirected:" + redirected}

    def assert_during(self, record, expected, what):
        seen = {name: harness.record_value(record, PRODUCT_KEY, name) for name in expected}
        self.assertEqual(expected, seen, f"{what}: values while the installer ran")

    def assert_now(self, expected, what):
        self.assertEqual(expected, self.prefix.read_values(PRODUCT_KEY), f"{what}: values after the run")

    def interrupt(self, folder, kill, expected_during, what, while_held=None):
        """Starts Setup.exe in `folder`, checks the values once the installer
        holds the run (and calls `while_held`, if given), then cuts the run
        short the way `kill` says. Returns the RunningSetup, whose release()
        ends an installer left running."""
        running = self.prefix.start_setup(folder, "/qn", hold=True, record_keys=(PRODUCT_KEY,))
        try:
            self.assert_during(running.wait_for_installer()[0], expected_during, what)
            if while_held is not None:
                while_held()
        finally:  # a Setup.exe left holding the launcher mutex would fail every later test
            if kill is WHOLE_PREFIX:
                self.prefix.restart_server()
            else:
                self.prefix.kill_images(*kill)
            running.process.wait(timeout=harness.CALL_TIMEOUT)  # the starter: no status to read after wineserver -k
        # Else the next run would be a normal one, not a repair.
        self.assert_now(expected_during, f"{what}, killed before the restore")
        return running

    def complete(self, folder, expected_during, own, what):
        """Runs Setup.exe in `folder` to its end and checks that it repaired the registration."""
        run = self.prefix.run_setup(folder, "/qn", record_keys=(PRODUCT_KEY,))
        self.assertEqual(1, run.installer_runs, f"{what}: the installer should start once; records: {run.records!r}")
        # The backup still holds the product's own value, not the patch
        # folder's that the killed run left in Transforms.
        self.assert_during(run.records[0], expected_during, f"{what}, completing run")
        self.assertEqual(0, run.status, f"{what}: the completing run should end with the installer's status")
        self.assert_now({"Transforms": own, "TransformsBackup": None}, f"{what}, completing run")

    def wait_for_log_text(self, text, timeout=10):
        """Waits until the newest run log holds `text` (raw bytes: the line
        may be half written when looked at)."""
        end = time.monotonic() + timeout
        while True:
            path = self.prefix.newest_run_log()
            if path:
                with open(path, "rb") as source:
                    if text.encode("utf-8") in source.read():
                        return
            if time.monotonic() > end:
                self.fail(f"the run log should hold {text!r} while the installer runs; newest log: {path!r}")
            time.sleep(0.05)

    # ----- Setup.exe killed -----

    def test_next_run_repairs_a_run_killed_with_its_children(self):
        cases = [
            # (what, how the run is cut short, product's own Transforms, language transform)
            ("all three killed, own transform", ALL_THREE, ":1031.mst", "1031.mst"),
            ("all three killed, long own value", ALL_THREE, LONG_TRANSFORMS, "1031.mst"),
            ("all three killed, no own value", ALL_THREE, None, "1033.mst"),
            ("Setup.exe killed, next run while its installer still runs", SETUP_ALONE, ":1041.mst", "1041.mst"),
            ("every process of the prefix ended", WHOLE_PREFIX, ":1036.mst", "1036.mst"),
        ]
        for what, kill, own, transform in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                self.prefix.delete_key(PRODUCT_KEY)
                self.register(own)
                expected_during = self.during(folder, own, transform)
                running = self.interrupt(folder, kill, expected_during, what)
                try:
                    self.complete(folder, expected_during, own, what)
                finally:
                    running.release()

    def test_retry_beside_a_killed_runs_installer_changes_nothing(self):
        # A deployment tool that times out kills Setup.exe alone and retries
        # while the installer, holding the platform's installer mutex, works on.
        own = ":1031.mst"
        with self.patch_folder("Patch Files") as folder:
            self.register(own)
            expected_during = self.during(folder, own, "1031.mst")
            running = self.prefix.start_setup(folder, "/qn", hold=True, record_keys=(PRODUCT_KEY,),
                                              extra_env={"SETUP_RECORDER_MUTEX": "Global\\_MSIExecute"})
            try:
                self.assertTrue(running.wait_for_installer()[0].get("mutex"), "the stand-in should hold the mutex")
                self.prefix.kill_images(*SETUP_ALONE)
                running.process.wait(timeout=harness.CALL_TIMEOUT)
                retry = self.prefix.run_setup(folder, "/qn", record_keys=(PRODUCT_KEY,))
                self.assertEqual(1618, retry.status, "a retry beside a running installation")
                self.assertEqual(0, retry.installer_runs, "the retry should start nothing")
                self.assert_now(expected_during, "retry beside the running installer")
            finally:
                running.release()
            time.sleep(1.0)  # the stand-in looks for its release every 50 ms
            self.complete(folder, expected_during, own, "once the installer has ended")

    def test_backup_survives_two_killed_runs_in_a_row(self):
        own = ":1031.mst"
        self.register(own)
        with self.patch_folder("Patch Files") as first, self.patch_folder("Hotfix Files") as second:
            self.interrupt(first, ALL_THREE, self.during(first, own, "1031.mst"), "first killed run")
            # The second run finds the first one's redirection in Transforms:
            # it must keep the backup, and still know the product's language.
            self.interrupt(second, ALL_THREE, self.during(second, own, "1031.mst"), "second killed run")
            self.complete(first, self.during(first, own, "1031.mst"), own, "after two killed runs")

    def test_killed_run_leaves_its_log_up_to_the_installers_start(self):
        own = ":1031.mst"
        self.register(own)
        with self.patch_folder("Patch Files") as folder:
            self.prefix.remove_run_logs()
            expected_during = self.during(folder, own, "1031.mst")
            # The launcher writes the line just after starting the interpreter,
            # which may be after the installer's record; it must be on disk
            # while the run is held, not only once the launcher ends.
            self.interrupt(folder, ALL_THREE, expected_during, "killed run",
                           while_held=lambda: self.wait_for_log_text("Command interpreter started, process "))
            logs = self.prefix.run_logs()
            self.assertEqual(1, len(logs), "the killed run should have left one log")
            with open(logs[0], "rb") as source:
                killed_log = source.read()
            events = harness.read_run_log(logs[0])
            self.assertRegex(events[-1], r"^Command interpreter started, process \d+; it starts the installer",
                             f"the killed run's log should end with the installer's start: {events!r}")
            self.assertTrue(any(e.startswith("Installer command line: ") for e in events), repr(events))

            # The next run writes a log of its own and leaves the killed run's as it was.
            self.complete(folder, expected_during, own, "after the killed run")
            logs_after = self.prefix.run_logs()
            self.assertEqual([logs[0]], logs_after[:1], "the killed run's log should still be there")
            self.assertEqual(2, len(logs_after), "the completing run should add one log")
            with open(logs[0], "rb") as source:
                self.assertEqual(killed_log, source.read(), "the killed run's log should be unchanged")
            self.assertRegex(harness.read_run_log(logs_after[1])[-2],
                             r"^Setup ends with exit status 0 \(success\) after \d+ ms$")
            self.assertRegex(harness.read_run_log(logs_after[1])[-1], r"^Summary: exit=0 ")

    # ----- only a child killed -----

    def test_setup_restores_by_itself_when_its_child_is_killed(self):
        # Ended as Ctrl+C ends a process: an exact code, where taskkill /f
        # under Wine gives 0. Setup.exe's child is the interpreter, whose
        # code it passes on; the installer's reaches it through the
        # interpreter, which on Windows passes it on and under Wine turns a
        # killed child's into 0.
        killed = 0xC000013A
        with self.patch_folder("Patch Files") as folder:
            for what, image, statuses in (("installer killed", "msiexec.exe", (killed, 0)),
                                          ("command interpreter killed", "cmd.exe", (killed,))):
                with self.subTest(what):
                    self.register(":1031.mst")
                    running = self.prefix.start_setup(folder, "/qn", hold=True, installer_exit=1603,
                                                      record_keys=(PRODUCT_KEY,))
                    try:
                        self.assert_during(running.wait_for_installer()[0],
                                           self.during(folder, ":1031.mst", "1031.mst"), what)
                        self.prefix.terminate_image(image, killed)
                        # The installer is not released: Setup.exe must end by itself.
                        try:
                            running.process.wait(timeout=harness.CALL_TIMEOUT)
                        except subprocess.TimeoutExpired:
                            self.fail(f"{what}: Setup.exe should end once its child is killed")
                    finally:
                        run = running.wait()  # lets an orphaned installer end
                    self.assertIn(run.status, statuses,
                                  f"{what}: Setup.exe should pass on the killed child's status, not the 1603 "
                                  "the installer would have ended with")
                    self.assert_now({"Transforms": ":1031.mst", "TransformsBackup": None}, what)


if __name__ == "__main__":
    unittest.main()
