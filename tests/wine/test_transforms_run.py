"""Setup.exe under Wine: the product's registered transforms around the installer.

While the installer runs, the product's Transforms value names the patch
folder's language transform and TransformsBackup holds the product's own
value; afterwards the own value is back and the backup is gone. The recorder
(standing in for the installer) snapshots both values while it runs, and the
registry is read again once Setup.exe has ended.
"""

import unittest

import harness

# Two registrations a "Hostrel" patch may be for: the product whose
# registration decides (taken when it is registered and the patch folder's
# installer database is no language pack), and the one taken on the keyword alone.
REGISTERED_PRODUCT_KEY = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"
KEYWORD_PRODUCT_KEY = r"Installer\Products\E359D2F96F56DF147AD77D973394339F"
PRODUCT_KEYS = (REGISTERED_PRODUCT_KEY, KEYWORD_PRODUCT_KEY)
PRODUCT_NAME = "Quarrix Hostrel"

ABSENT = {"Transforms": None, "TransformsBackup": None}


class TransformsRunTest(harness.PrefixTestCase):

    def setUp(self):
        self.remove_products()
        self.addCleanup(self.remove_products)

    # ----- helpers -----

    def remove_products(self):
        self.prefix.import_registry([f"[-HKEY_CLASSES_ROOT\\{key}]" for key in PRODUCT_KEYS])

    def register(self, key, transforms):
        """Registers a product at `key` with its own Transforms (None: no such value)."""
        self.prefix.set_values(key, {"ProductName": PRODUCT_NAME, "Transforms": transforms})

    def redirected(self, folder, transform):
        """The Transforms value that points at the patch folder's `transform`:
        the 8.3 form of the folder (which Setup.exe takes as its source), Files, the file."""
        short = self.prefix.short_path(folder.windows_path).rstrip("\\")
        self.assertNotIn(" ", short, f"the 8.3 form of {folder.windows_path!r} should hold no blank")
        return f"{short}\\Files\\{transform}"

    def journal(self, folder, own, transform):
        """TransformsBackup while the installer runs: the product's own value;
        for none, an empty text that records, after its zero, the redirection."""
        return own if own is not None else "\0redirected:" + self.redirected(folder, transform)

    def only_record(self, run):
        self.assertEqual(1, run.installer_runs, f"the installer should start exactly once; records: {run.records!r}")
        return run.records[0]

    def assert_during(self, record, key, expected, what):
        """`expected`: {"Transforms": ..., "TransformsBackup": ...} while the installer ran."""
        seen = {name: harness.record_value(record, key, name) for name in expected}
        self.assertEqual(expected, seen, f"{what}: values of {key} while the installer ran")

    def assert_now(self, key, expected, what):
        self.assertEqual(expected, self.prefix.read_values(key), f"{what}: values of {key} after the run")

    def assert_key_exists(self, key, exists, what):
        snapshot = self.prefix.read_key(key, ("ProductName",))
        self.assertEqual(exists, snapshot["exists"], f"{what}: should {key} exist after the run?")
        if exists:
            self.assertEqual(PRODUCT_NAME, snapshot["values"]["ProductName"]["data"],
                             f"{what}: the product's other values should be left alone")

    # ----- redirect and restore -----

    def test_transforms_point_at_the_patch_folder_while_the_installer_runs(self):
        cases = [
            # (what, product's own Transforms (None: no value), language transform expected, installer status)
            ("German product", ":1031.mst", "1031.mst", 0),
            ("Japanese product", ":1041.mst", "1041.mst", 3010),
            ("English product", ":1033.mst", "1033.mst", 0),
            ("language among other transforms", "C:\\Custom\\site.mst;:1036.mst", "1036.mst", 1603),
            ("no language transform", "C:\\Custom\\site.mst", "1033.mst", 0),
            ("no Transforms value", None, "1033.mst", 0),
        ]
        for what, own, transform, installer_exit in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                self.remove_products()
                self.register(REGISTERED_PRODUCT_KEY, own)
                run = self.prefix.run_setup(folder, "/qn", installer_exit=installer_exit, record_keys=PRODUCT_KEYS)
                record = self.only_record(run)
                self.assert_during(record, REGISTERED_PRODUCT_KEY,
                                   {"Transforms": self.redirected(folder, transform),
                                    "TransformsBackup": self.journal(folder, own, transform)}, what)
                self.assertEqual(installer_exit, run.status,
                                 f"{what}: Setup.exe should return the installer's status after a good restore")
                self.assert_now(REGISTERED_PRODUCT_KEY, {"Transforms": own, "TransformsBackup": None}, what)
                self.assert_key_exists(REGISTERED_PRODUCT_KEY, True, what)
                self.assert_key_exists(KEYWORD_PRODUCT_KEY, False, what)

    def test_language_pack_database_sends_the_patch_to_the_keyword_product(self):
        language_pack = harness.installer_database({"ProductName": PRODUCT_NAME, "LanguagePackInstaller": "1"})
        cases = [
            # (what, patch folder files besides the patch, key whose Transforms are redirected)
            ("no installer database", {}, REGISTERED_PRODUCT_KEY),
            ("database without the property",
             {"Hostrel.msi": harness.installer_database({"ProductName": PRODUCT_NAME})}, REGISTERED_PRODUCT_KEY),
            ("property 0",
             {"Hostrel.msi": harness.installer_database({"LanguagePackInstaller": "0"})}, REGISTERED_PRODUCT_KEY),
            ("language pack database", {"Hostrel.msi": language_pack}, KEYWORD_PRODUCT_KEY),
            ("language pack database only in Files", {"Files\\Hostrel.msi": language_pack}, REGISTERED_PRODUCT_KEY),
        ]
        own = {REGISTERED_PRODUCT_KEY: ":1031.mst", KEYWORD_PRODUCT_KEY: ":1041.mst"}
        transform = {REGISTERED_PRODUCT_KEY: "1031.mst", KEYWORD_PRODUCT_KEY: "1041.mst"}
        for what, files, redirected_key in cases:
            files = dict(files, **{"Files\\" + harness.DEFAULT_PATCH_FILE: b""})
            with self.subTest(what), self.patch_folder("Patch Files", files) as folder:
                self.remove_products()
                for key in PRODUCT_KEYS:
                    self.register(key, own[key])
                run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS)
                record = self.only_record(run)
                for key in PRODUCT_KEYS:
                    expected = ({"Transforms": self.redirected(folder, transform[key]), "TransformsBackup": own[key]}
                                if key == redirected_key else {"Transforms": own[key], "TransformsBackup": None})
                    self.assert_during(record, key, expected, what)
                    self.assert_now(key, {"Transforms": own[key], "TransformsBackup": None}, what)
                self.assertEqual(0, run.status, f"{what}: Setup.exe status")

    def test_missing_product_registration_fails_the_run_and_creates_nothing(self):
        language_pack = harness.installer_database({"LanguagePackInstaller": "1"})
        cases = [
            # (what, patch folder files, Setup.exe status expected with an installer returning 3010):
            # a run that changed no registration passes the installer's status on.
            ("keyword product, no registration", {"Files\\Hostrel_Update.msp": b""}, 3010),
            ("language pack, no registration", {"Files\\Hostrel_Update.msp": b"", "Hostrel.msi": language_pack}, 3010),
            ("patch for no known product", {"Files\\Other_Update.msp": b""}, 3010),
        ]
        for what, files, status in cases:
            with self.subTest(what), self.patch_folder("Patch Files", files) as folder:
                run = self.prefix.run_setup(folder, "/qn", installer_exit=3010, record_keys=PRODUCT_KEYS)
                record = self.only_record(run)
                for key in PRODUCT_KEYS:
                    self.assert_during(record, key, ABSENT, what)
                    self.assert_key_exists(key, False, what)
                self.assertEqual(status, run.status, f"{what}: Setup.exe status")

    def test_product_registered_while_the_installer_runs_keeps_its_own_value(self):
        # Media laid out like a patch folder give the product a Transforms
        # ending in Files\1033.mst; nothing shows a launcher wrote it.
        own = r"C:\Media\Files\1033.mst"
        with self.patch_folder("Patch Files") as folder:
            running = self.prefix.start_setup(folder, "/qn", hold=True, record_keys=PRODUCT_KEYS)
            self.assert_during(running.wait_for_installer()[0], REGISTERED_PRODUCT_KEY, ABSENT,
                               "not registered when the run began")
            self.register(REGISTERED_PRODUCT_KEY, own)
            run = running.wait()
            self.assertEqual(0, run.status, "the run changed no registration: the installer's status")
            self.assert_now(REGISTERED_PRODUCT_KEY, {"Transforms": own, "TransformsBackup": None},
                            "registered while the installer ran")

    def lock(self, key):
        """Makes `key` read-only until the test ends."""
        self.prefix.set_read_only(key)
        self.addCleanup(self.prefix.set_read_only, key, False)

    def test_read_only_registration_is_left_alone_and_fails_the_run(self):
        with self.patch_folder("Patch Files") as folder:
            self.register(REGISTERED_PRODUCT_KEY, ":1031.mst")
            self.lock(REGISTERED_PRODUCT_KEY)
            run = self.prefix.run_setup(folder, "/qn", installer_exit=3010, record_keys=PRODUCT_KEYS)
            record = self.only_record(run)
            unchanged = {"Transforms": ":1031.mst", "TransformsBackup": None}
            self.assert_during(record, REGISTERED_PRODUCT_KEY, unchanged, "read-only product key")
            self.assertEqual(3010, run.status, "nothing was changed, so the installer's status stands")
            self.assert_now(REGISTERED_PRODUCT_KEY, unchanged, "read-only product key")

    def test_refused_restore_keeps_the_backup_for_the_next_run(self):
        with self.patch_folder("Patch Files") as folder:
            self.register(REGISTERED_PRODUCT_KEY, ":1041.mst")
            during = {"Transforms": self.redirected(folder, "1041.mst"), "TransformsBackup": ":1041.mst"}
            running = self.prefix.start_setup(folder, "/qn", hold=True, record_keys=PRODUCT_KEYS)
            running.wait_for_installer()
            self.lock(REGISTERED_PRODUCT_KEY)
            run = running.wait()
            self.assertEqual(5, run.status, "Setup.exe should report the refused restore (access denied)")
            self.assert_now(REGISTERED_PRODUCT_KEY, during, "restore refused")

            self.prefix.set_read_only(REGISTERED_PRODUCT_KEY, False)
            run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS)
            self.assert_during(self.only_record(run), REGISTERED_PRODUCT_KEY, during, "run after a refused restore")
            self.assertEqual(0, run.status, "status of the run after a refused restore")
            self.assert_now(REGISTERED_PRODUCT_KEY, {"Transforms": ":1041.mst", "TransformsBackup": None},
                            "run after a refused restore")

    def test_expandable_transforms_come_back_expandable(self):
        own = r"%ProgramData%\Quarrix\1031.mst"
        encoded = ",".join(f"{byte:02x}" for byte in (own + "\0").encode("utf-16-le"))
        with self.patch_folder("Patch Files") as folder:
            self.register(REGISTERED_PRODUCT_KEY, None)
            self.prefix.import_registry([f"[HKEY_CLASSES_ROOT\\{REGISTERED_PRODUCT_KEY}]",
                                         f'"Transforms"=hex(2):{encoded}'])
            run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS)
            during = self.only_record(run)["keys"][0]["values"]["TransformsBackup"]
            self.assertEqual((2, own), (during["type"], during["data"]),
                             "the backup keeps the value's type (REG_EXPAND_SZ) while the installer runs")
            self.assertEqual(0, run.status)
            after = self.prefix.read_key(REGISTERED_PRODUCT_KEY)["values"]
            self.assertEqual((2, own), (after["Transforms"]["type"], after["Transforms"]["data"]),
                             "Transforms comes back as REG_EXPAND_SZ with its text unexpanded")
            self.assertIsNone(after["TransformsBackup"])

    # ----- text outside the ANSI code page -----

    def test_transforms_outside_the_code_page_come_back_whole(self):
        # Neither code page 1252 nor 932 holds "Ł" and "ź": a narrow read gives
        # look-alikes or "?" back, and a restore would write those.
        own = "C:\\Łódź Files\\1031.mst"
        whole = {"type": 1, "size": 2 * (len(own) + 1), "data": own}  # REG_SZ, UTF-16 with its terminator
        cases = [
            # (what, locale Setup.exe runs under, an interrupted run's state to start from?)
            ("own value, code page 1252", "de_DE.UTF-8", False),
            ("own value, code page 932", "ja_JP.UTF-8", False),
            ("interrupted run's backup, code page 1252", "de_DE.UTF-8", True),
        ]
        for what, locale, interrupted in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                if not harness.locale_installed(locale):
                    self.skipTest(f"locale {locale} is not installed, so Wine cannot take that code page")
                self.remove_products()
                redirected = self.redirected(folder, "1031.mst")
                if interrupted:
                    # As a run cut short while the installer ran leaves it.
                    self.prefix.set_values(REGISTERED_PRODUCT_KEY, {"ProductName": PRODUCT_NAME,
                                                                    "Transforms": redirected,
                                                                    "TransformsBackup": own})
                else:
                    self.register(REGISTERED_PRODUCT_KEY, own)
                run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS, extra_env={"LC_ALL": locale})
                record = self.only_record(run)
                self.assert_during(record, REGISTERED_PRODUCT_KEY,
                                   {"Transforms": redirected, "TransformsBackup": own}, what)
                self.assertEqual(0, run.status, f"{what}: Setup.exe status")
                after = self.prefix.read_key(REGISTERED_PRODUCT_KEY)["values"]
                self.assertEqual({"Transforms": whole, "TransformsBackup": None}, after,
                                 f"{what}: the product's own Transforms should be back byte for byte")

    # ----- a run that did not finish -----

    def test_next_run_repairs_an_interrupted_one(self):
        for what, own in (("own transforms", ":1031.mst"), ("no own transforms", None)):
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                self.remove_products()
                self.register(REGISTERED_PRODUCT_KEY, own)
                transform = "1031.mst" if own else "1033.mst"
                during = {"Transforms": self.redirected(folder, transform),
                          "TransformsBackup": self.journal(folder, own, transform)}

                running = self.prefix.start_setup(folder, "/qn", hold=True, record_keys=PRODUCT_KEYS)
                records = running.wait_for_installer()
                self.assert_during(records[0], REGISTERED_PRODUCT_KEY, during, f"{what}, interrupted run")
                self.prefix.kill_image("Setup.exe")
                running.process.wait(timeout=harness.CALL_TIMEOUT)
                self.assert_now(REGISTERED_PRODUCT_KEY, during, f"{what}, Setup.exe ended while the installer ran")
                self.prefix.kill_image("msiexec.exe")
                running.wait()

                run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS)
                record = self.only_record(run)
                # The backup is the product's own value from the first run, not
                # the patch folder's value that run left in Transforms.
                self.assert_during(record, REGISTERED_PRODUCT_KEY, during, f"{what}, next run")
                self.assertEqual(0, run.status, f"{what}: status of the next run")
                self.assert_now(REGISTERED_PRODUCT_KEY, {"Transforms": own, "TransformsBackup": None},
                                f"{what}, next run")
                self.assert_key_exists(KEYWORD_PRODUCT_KEY, False, what)

    def test_another_folders_left_redirection_is_finished_before_the_installer_starts(self):
        # A run from a deployment tool's cache, killed: its folder may be gone.
        left = {"ProductName": PRODUCT_NAME, "Transforms": r"C:\OLD\Files\1031.mst",
                "TransformsBackup": ":1031.mst"}
        with self.patch_folder("Patch Files") as folder:
            self.prefix.set_values(REGISTERED_PRODUCT_KEY, left)
            run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS)
            during = {"Transforms": self.redirected(folder, "1031.mst"), "TransformsBackup": ":1031.mst"}
            self.assert_during(self.only_record(run), REGISTERED_PRODUCT_KEY, during,
                               "after another folder's killed run")
            self.assertEqual(0, run.status)
            self.assert_now(REGISTERED_PRODUCT_KEY, {"Transforms": ":1031.mst", "TransformsBackup": None},
                            "after another folder's killed run")

            # One that cannot be finished stops the run before the installer.
            self.prefix.set_values(REGISTERED_PRODUCT_KEY, left)
            self.lock(REGISTERED_PRODUCT_KEY)
            run = self.prefix.run_setup(folder, "/qn", record_keys=PRODUCT_KEYS)
            self.assertEqual(0, run.installer_runs, "no installer beside a journal it cannot finish")
            self.assertEqual(5, run.status, "access denied: the journal cannot be finished")
            self.assert_now(REGISTERED_PRODUCT_KEY, {"Transforms": left["Transforms"],
                                                     "TransformsBackup": left["TransformsBackup"]},
                            "a registration that refuses writing")


if __name__ == "__main__":
    unittest.main()
