"""Setup.exe under Wine: a product service that is not stopped stops the run.

The services are service_stub.exe registered with Wine's real service
manager. A blocked run shows an error box in the product's language, on an
English system, and exits with 1 without touching the registry or starting
the installer (that an unattended run shows no box is in
test_deployment.py). The box is read and closed with box_reader.exe on a
private X display; without one, Wine would let the box return at once.
"""

import unittest

import harness

PRODUCT_KEY = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"  # the product a "Hostrel" patch is for
KEYWORD_PRODUCT_KEY = r"Installer\Products\E359D2F96F56DF147AD77D973394339F"

SERVICES = ("Quarrix Loomwork (CONFIG)", "Quarrix Loomwork (HXE)", "Quarrix Loomwork (HXE & CONFIG)",
            "Quarrix Loomwork (ZNQ)")
HXE = SERVICES[1]

# (caption, text) of the box, exactly.
ENGLISH = ("Quarrix Hostrel 8 Loomwork",
           "The Quarrix Loomwork Services are still running.  These services \n"
           "must be stopped before this update can occur.")
GERMAN = ("Quarrix Hostrel 8 Loomwork Installation",
          "Die Quarrix Loomwork-Dienste sind noch aktiv. Diese Dienste \n"
          "müssen gestoppt werden, bevor Sie das Update vornehmen können.")
JAPANESE = ("Quarrix Hostrel 8 Loomwork セットアップ",
            "Quarrix Loomwork のサービスがまだ実行されています。\n"
            "このアップデートを実行するには、このサービスを停止する必要があります。")

OK_ONLY = [{"id": 1, "text": "OK"}]  # MB_OK: IDOK is 1


class ServiceGuardTest(harness.PrefixTestCase):

    with_display = True

    def setUp(self):
        self.addCleanup(self.remove_services_and_products)

    # ----- helpers -----

    def remove_services_and_products(self):
        for name in SERVICES:
            self.prefix.remove_service(name)
        self.prefix.import_registry([f"[-HKEY_CLASSES_ROOT\\{key}]" for key in (PRODUCT_KEY, KEYWORD_PRODUCT_KEY)])

    def register_product(self, transforms):
        """Registers the product with its own Transforms (None: no such value)."""
        self.prefix.set_values(PRODUCT_KEY, {"ProductName": "Quarrix Hostrel", "Transforms": transforms})

    def run_and_read_box(self, folder):
        """Runs Setup.exe, reads and closes the box it shows (None: none came)."""
        running = self.prefix.start_setup(folder, record_keys=(PRODUCT_KEY,))
        try:
            box = self.prefix.read_message_box("Setup.exe", while_running=running.process)
        finally:
            run = running.wait()
        return run, box

    def assert_blocked(self, folder, transforms, message, what):
        """An attended run that must stop at the guard with `message` ((caption, text))."""
        run, box = self.run_and_read_box(folder)
        self.assertIsNotNone(box, f"{what}: Setup.exe should show a message box (exit {run.status})")
        self.assertEqual(message, (box["caption"], box["text"]), f"{what}: caption and text of the box")
        self.assertEqual(OK_ONLY, box["buttons"], f"{what}: the box should offer only OK")
        self.assertEqual(0, box["owner"], f"{what}: the box should have no owner window")
        self.assertTrue(box["closed"], f"{what}: OK should close the box")
        self.assertEqual(1, run.status, f"{what}: Setup.exe status when a service blocks")
        self.assertEqual([], run.records, f"{what}: the installer should not start")
        self.assertEqual({"Transforms": transforms, "TransformsBackup": None},
                         self.prefix.read_values(PRODUCT_KEY), f"{what}: the product's values should be untouched")
        self.assertFalse(self.prefix.read_key(KEYWORD_PRODUCT_KEY)["exists"], f"{what}: no product key may be created")

    # ----- blocked runs -----

    def test_message_is_in_the_products_language(self):
        self.prefix.install_service(HXE, "RUNNING")
        cases = [
            # (what, the product's Transforms (None: no value), expected message)
            ("German product", ":1031.mst", GERMAN),
            ("Japanese product", ":1041.mst", JAPANESE),
            ("English product", ":1033.mst", ENGLISH),
            ("Dutch product, no Dutch message", ":1043.mst", ENGLISH),
            ("product without transforms", None, ENGLISH),
        ]
        for what, transforms, message in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                self.register_product(transforms)
                self.assert_blocked(folder, transforms, message, what)

    def test_every_product_service_blocks(self):
        self.register_product(":1031.mst")
        for name in SERVICES:
            with self.subTest(name), self.patch_folder("Patch Files") as folder:
                self.prefix.install_service(name, "RUNNING")
                try:
                    self.assert_blocked(folder, ":1031.mst", GERMAN, f"{name} running")
                finally:
                    self.prefix.remove_service(name)

    def test_services_between_states_block(self):
        self.register_product(":1041.mst")
        for state in ("PAUSED", "START_PENDING"):
            with self.subTest(state), self.patch_folder("Patch Files") as folder:
                self.prefix.install_service(HXE, state)
                try:
                    self.assert_blocked(folder, ":1041.mst", JAPANESE, f"service {state}")
                finally:
                    self.prefix.remove_service(HXE)

    # ----- runs that go on -----

    def test_stopped_services_let_the_run_go_on(self):
        cases = [
            # (what, services installed before the run, whether each is stopped after running)
            ("no service installed", (), False),
            ("services installed, never started", SERVICES, False),
            ("service stopped after running", (HXE,), True),
        ]
        for what, installed, stop_after_start in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                self.register_product(":1031.mst")
                try:
                    for name in installed:
                        self.prefix.install_service(name, "RUNNING" if stop_after_start else "STOPPED")
                        if stop_after_start:
                            self.prefix.stop_service(name)
                    run, box = self.run_and_read_box(folder)
                    self.assertIsNone(box, f"{what}: Setup.exe should show no message box")
                    self.assertEqual(0, run.status, f"{what}: Setup.exe status")
                    self.assertEqual(1, run.installer_runs, f"{what}: the installer should start once")
                    self.assertEqual({"Transforms": ":1031.mst", "TransformsBackup": None},
                                     self.prefix.read_values(PRODUCT_KEY),
                                     f"{what}: the product's values after the run")
                finally:
                    for name in installed:
                        self.prefix.remove_service(name)


if __name__ == "__main__":
    unittest.main()
