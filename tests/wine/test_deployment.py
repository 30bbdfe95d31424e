"""Setup.exe under Wine: the safeguards that matter when it is deployed.

- An unattended run shows no window of its own, even when the service guard
  stops it. Windows are looked for on a private X display while Setup.exe
  runs; attended runs in the same table show that a box would be seen.
- Only one launcher runs at a time: a second one ends with 1618, starts no
  installer, shows nothing and leaves the product's registration alone.
- DLLs planted beside Setup.exe (its folder is also its current directory)
  under system DLL names are never loaded by it. Wine loads a planted DLL
  only when WINEDLLOVERRIDES asks for the native one first, so the runs that
  check this set that override; the planted canary.dll notes every process
  that loads it in a marker file, and a careless program run the same way
  shows that the canary is taken when a program searches its own folder.
"""

import contextlib
import os
import shutil
import unittest
import uuid

import harness

PRODUCT_KEY = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"  # the product a "Hostrel" patch is for
KEYWORD_PRODUCT_KEY = r"Installer\Products\E359D2F96F56DF147AD77D973394339F"  # taken for a language pack
PRODUCT_KEYS = (PRODUCT_KEY, KEYWORD_PRODUCT_KEY)
OWN_TRANSFORMS = {PRODUCT_KEY: ":1031.mst", KEYWORD_PRODUCT_KEY: ":1041.mst"}
HXE = "Quarrix Loomwork (HXE)"

# The service guard's box for the German product: its caption.
GERMAN_CAPTION = "Quarrix Hostrel 8 Loomwork Installation"
JAPANESE_BOX = ("Quarrix Hostrel 8 Loomwork セットアップ",
                "Quarrix Loomwork のサービスがまだ実行されています。\n"
                "このアップデートを実行するには、このサービスを停止する必要があります。")

EXIT_SERVICE_RUNNING = 1
# Seconds for a run that ends before the installer: about 2 s with a box, else 0.2 s.
GUARD_RUN_TIMEOUT = 20
ERROR_INSTALL_ALREADY_RUNNING = 1618

# System DLL names a planted DLL might take, and the override that makes Wine
# load such a DLL from a program's folder instead of its own built-in one.
PLANTED_NAMES = ("msi.dll", "version.dll", "uxtheme.dll", "dwmapi.dll", "cryptbase.dll")
NATIVE_FIRST = "msi,version,uxtheme,dwmapi,cryptbase=n,b"


class DeploymentTest(harness.PrefixTestCase):

    with_display = True
    maxDiff = None  # show every (planted DLL, program) pair a failure found

    def setUp(self):
        self.addCleanup(self.remove_service_and_products)
        self.remove_service_and_products()
        for key in PRODUCT_KEYS:
            self.prefix.set_values(key, {"ProductName": "Quarrix Hostrel", "Transforms": OWN_TRANSFORMS[key]})

    # ----- helpers -----

    def remove_service_and_products(self):
        self.prefix.remove_service(HXE)
        self.prefix.import_registry([f"[-HKEY_CLASSES_ROOT\\{key}]" for key in PRODUCT_KEYS])

    def own_values(self, key):
        return {"Transforms": OWN_TRANSFORMS[key], "TransformsBackup": None}

    def redirected_values(self, folder, key):
        """The values of `key` while the installer of `folder`'s patch runs."""
        short = self.prefix.short_path(folder.windows_path).rstrip("\\")
        return {"Transforms": f"{short}\\Files\\{OWN_TRANSFORMS[key][1:]}", "TransformsBackup": OWN_TRANSFORMS[key]}

    def assert_registration(self, expected, what):
        """`expected`: {key: {"Transforms": ..., "TransformsBackup": ...}} now."""
        for key, values in expected.items():
            self.assertEqual(values, self.prefix.read_values(key), f"{what}: values of {key}")

    def run_watching_windows(self, folder, tail="", *, timeout=harness.CALL_TIMEOUT, **options):
        """Runs Setup.exe (options as for start_setup) while looking for its
        windows, each closed with Return once seen. Returns (SetupRun,
        {window id: title} of the windows seen); raises WineError when the
        run does not end within `timeout` s."""
        running = self.prefix.start_setup(folder, tail, timeout=timeout, **options)
        try:
            windows = self.virtual_display.windows_shown_while("Setup.exe", running.process, timeout)
        finally:
            run = running.wait()
        return run, windows

    def box_lines(self):
        """The newest run log's lines about message boxes, for a failure message."""
        path = self.prefix.newest_run_log()
        events = harness.read_run_log(path) if path else []
        return [event for event in events if "essage box" in event or "ttended" in event]

    def plant_canaries(self, folder):
        """Copies canary.dll into `folder` under every planted name; returns
        the Windows path of a fresh marker file for the canaries to write."""
        for name in PLANTED_NAMES:
            shutil.copyfile(self.prefix.artifacts.canary, folder.file(name))
        marker = f"{harness.RECORDS_FOLDER}\\canary-{uuid.uuid4().hex}.txt"
        self.addCleanup(self.remove_marker, marker)
        return marker

    def remove_marker(self, marker):
        with contextlib.suppress(FileNotFoundError):
            os.remove(self.prefix.linux_path(marker))

    def canary_loads(self, marker):
        """[(planted DLL, program of the process that loaded it)] from the marker file."""
        try:
            with open(self.prefix.linux_path(marker), "r", encoding="utf-8") as source:
                lines = [line.rstrip("\r\n") for line in source if line.strip()]
        except FileNotFoundError:
            return []
        return [tuple(line.split("\t", 1)) if "\t" in line else (line, "?") for line in lines]

    @staticmethod
    def native_first(marker):
        """The environment of a run in which Wine prefers planted DLLs."""
        return {"WINEDLLOVERRIDES": NATIVE_FIRST, "SETUP_CANARY_MARKER": marker}

    def assert_no_canary_loaded(self, marker, what):
        loads = self.canary_loads(marker)
        by_setup = [load for load in loads if load[1].lower().endswith("\\setup.exe")]
        self.assertEqual([], by_setup, f"{what}: Setup.exe loaded planted DLLs")
        # The installer stand-in and cmd.exe run from the system folder with
        # the patch folder as current directory; they should not take them either.
        self.assertEqual([], loads, f"{what}: (planted DLL, loading program) seen")

    # ----- unattended runs -----

    def test_unattended_runs_show_no_window(self):
        self.prefix.install_service(HXE, "RUNNING")
        cases = [
            # (what, command tail, whether the guard's box is expected[, window station not visible])
            ("attended run", "", True),
            # A box there would wait for ever for a key nobody can press.
            ("attended run in a window station that is not visible", "", False, "QuarrixHidden"),
            ("/qn", "/qn", False),
            ("upper case with modifier", "/QN+", False),
            ("dash and two modifiers", "-qn!-", False),
            ("bare /q", "/q", False),
            ("basic UI without its modal box", "/qb-", False),
            ("reduced UI without its modal box", "-QR-!", False),
            ("passive", "/passive", False),
            ("quiet among properties", 'PROP="a b" -Quiet REBOOT=ReallySuppress', False),
            ("basic UI ends with a modal box", "/qb", True),
            ("reduced UI ends with a modal box", "/qr+", True),
            ("switch inside a property value", 'NOTE="/qn"', True),
        ]
        for what, tail, box_expected, *window_station in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                run, windows = self.run_watching_windows(folder, tail, record_keys=PRODUCT_KEYS,
                                                         window_station=window_station[0] if window_station else None,
                                                         timeout=GUARD_RUN_TIMEOUT)
                if box_expected:
                    self.assertEqual([GERMAN_CAPTION], list(windows.values()),
                                     f"{what}: the guard's box should be the only window of Setup.exe;"
                                     f" the run log says {self.box_lines()}")
                else:
                    self.assertEqual({}, windows, f"{what}: Setup.exe should show no window")
                self.assertEqual(EXIT_SERVICE_RUNNING, run.status, f"{what}: Setup.exe status when a service blocks")
                self.assertEqual([], run.records, f"{what}: the installer should not start")
                self.assert_registration({PRODUCT_KEY: self.own_values(PRODUCT_KEY)}, what)

    # ----- one launcher at a time -----

    def test_second_launcher_ends_with_1618_and_touches_nothing(self):
        with self.patch_folder("Patch Files") as first_folder, self.patch_folder("Second Patch") as second_folder:
            first = self.prefix.start_setup(first_folder, "/qn", hold=True, record_keys=PRODUCT_KEYS)
            try:
                first.wait_for_installer()
                during = {PRODUCT_KEY: self.redirected_values(first_folder, PRODUCT_KEY),
                          KEYWORD_PRODUCT_KEY: self.own_values(KEYWORD_PRODUCT_KEY)}
                self.assert_registration(during, "while the first launcher's installer runs")

                cases = [
                    # (what, patch folder, command tail, whether a product service runs)
                    ("other patch folder, unattended", second_folder, "/qn", False),
                    # A launcher that went past the lock would show the guard's box.
                    ("same patch folder, attended, service running", first_folder, "", True),
                ]
                for what, folder, tail, service in cases:
                    with self.subTest(what):
                        if service:
                            self.prefix.install_service(HXE, "RUNNING")
                        run, windows = self.run_watching_windows(folder, tail, record_keys=PRODUCT_KEYS,
                                                                 timeout=GUARD_RUN_TIMEOUT)
                        self.prefix.remove_service(HXE)
                        self.assertEqual(ERROR_INSTALL_ALREADY_RUNNING, run.status, f"{what}: second launcher status")
                        self.assertEqual({}, windows, f"{what}: the second launcher should show no window")
                        self.assertEqual([], run.records, f"{what}: the second launcher should start no installer")
                        self.assertEqual(1, len(first.records()), f"{what}: the installer should have started once")
                        self.assert_registration(during, f"{what}: after the second launcher")
                        self.assertIsNone(first.process.poll(), f"{what}: the first launcher should still run")
            finally:
                run = first.wait()
            self.assertEqual(0, run.status, "the first launcher's status")
            self.assertEqual(1, run.installer_runs, "the installer should have run once in all")
            own = {key: self.own_values(key) for key in PRODUCT_KEYS}
            self.assert_registration(own, "after the first launcher")

            # The lock goes with the first launcher.
            run = self.prefix.run_setup(second_folder, "/qn", record_keys=PRODUCT_KEYS)
            self.assertEqual(0, run.status, "a launcher started after the first ended: status")
            self.assertEqual(1, run.installer_runs, "a launcher started after the first ended: installer runs")
            self.assertEqual(self.redirected_values(second_folder, PRODUCT_KEY)["Transforms"],
                             harness.record_value(run.records[0], PRODUCT_KEY, "Transforms"),
                             "a launcher started after the first ended: Transforms while its installer ran")
            self.assert_registration(own, "after a launcher started after the first ended")

    # ----- planted DLLs -----

    def language_pack_folder(self):
        """A patch folder whose installer database is a language pack, so
        Setup.exe must load msi.dll to read it and then patches the keyword product."""
        database = harness.installer_database({"ProductName": "Quarrix Hostrel", "LanguagePackInstaller": "1"})
        return self.patch_folder("Patch Files", {"Files\\" + harness.DEFAULT_PATCH_FILE: b"", "Hostrel.msi": database})

    def test_setup_loads_no_planted_dll(self):
        with self.language_pack_folder() as folder:
            marker = self.plant_canaries(folder)
            what = "full run, planted DLLs preferred"
            run, windows = self.run_watching_windows(folder, "", installer_exit=3010, record_keys=PRODUCT_KEYS,
                                                     extra_env=self.native_first(marker))
            self.assert_no_canary_loaded(marker, what)
            self.assertEqual({}, windows, f"{what}: Setup.exe should show no window")
            self.assertEqual(3010, run.status, f"{what}: Setup.exe should return the installer's status")
            self.assertEqual(1, run.installer_runs, f"{what}: the installer should start once")
            # Read from the database through msi.dll: the language pack is for the keyword product.
            self.assertEqual(self.redirected_values(folder, KEYWORD_PRODUCT_KEY),
                             {name: harness.record_value(run.records[0], KEYWORD_PRODUCT_KEY, name)
                              for name in harness.TRANSFORM_VALUES},
                             f"{what}: the keyword product's values while the installer ran")
            self.assert_registration({key: self.own_values(key) for key in PRODUCT_KEYS}, what)

            what = "guard's box, planted DLLs preferred"
            self.prefix.install_service(HXE, "RUNNING")
            running = self.prefix.start_setup(folder, "", record_keys=PRODUCT_KEYS, extra_env=self.native_first(marker))
            try:
                box = self.prefix.read_message_box("Setup.exe", while_running=running.process)
            finally:
                run = running.wait()
            self.assert_no_canary_loaded(marker, what)
            self.assertIsNotNone(box, f"{what}: Setup.exe should show the guard's box (exit {run.status})")
            self.assertEqual(JAPANESE_BOX, (box["caption"], box["text"]), f"{what}: caption and text of the box")
            self.assertTrue(box["closed"], f"{what}: OK should close the box")
            self.assertEqual(EXIT_SERVICE_RUNNING, run.status, f"{what}: Setup.exe status")
            self.assertEqual([], run.records, f"{what}: the installer should not start")
            self.assert_registration({key: self.own_values(key) for key in PRODUCT_KEYS}, what)

    def test_careless_program_takes_planted_dlls(self):
        """The control: the same folder, override and canary catch a program
        that searches its own folder, so the test above can fail."""
        with self.patch_folder("Patch Files") as folder:
            marker = self.plant_canaries(folder)
            shutil.copyfile(self.prefix.artifacts.careless_loader, folder.file("careless_loader.exe"))
            loader = f'"{folder.windows_path}\\careless_loader.exe"'
            program = f"{folder.windows_path}\\careless_loader.exe"
            planted = {name: f"{folder.windows_path}\\{name}" for name in PLANTED_NAMES}

            status, output = self.prefix.run_program(loader, folder.windows_path, extra_env={"SETUP_CANARY_MARKER": marker})
            self.assertEqual(0, status, f"loader without the override: {output!r}")
            self.assertEqual([], self.canary_loads(marker), "without the override Wine should load its own DLLs")

            status, output = self.prefix.run_program(loader, folder.windows_path, extra_env=self.native_first(marker))
            self.assertEqual(0, status, f"loader importing user32: {output!r}")
            self.assertEqual([(planted["version.dll"], program)], self.canary_loads(marker),
                             "importing user32 should take the planted version.dll before the program runs")

            self.remove_marker(marker)
            names = [name for name in PLANTED_NAMES if name != "version.dll"]
            status, output = self.prefix.run_program(f"{loader} {' '.join(names)}", folder.windows_path,
                                                     extra_env=self.native_first(marker))
            self.assertEqual(0, status, f"loader loading {names}: {output!r}")
            self.assertEqual([(planted["version.dll"], program)] + [(planted[name], program) for name in names],
                             self.canary_loads(marker), "a plain LoadLibraryA should take each planted DLL")


if __name__ == "__main__":
    unittest.main()
