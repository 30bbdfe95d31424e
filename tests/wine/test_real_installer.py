"""Setup.exe with Wine's own installer: real patches on a really installed product.

One prefix keeps Wine's msiexec and has the sample product (Quarrix Hostrel,
row 2 of the launcher's product table) installed by it, registered in German
(Transforms ":1031.mst"). Wine's installer never reads Transforms, so these
cases prove what a real installer does with the launcher's command line and
status -- the file replaced, the version, the patch registered -- and that
the launcher redirects (its run log says so) and restores the product's
Transforms around a real installer run. What the installer sees of the
value while it runs is watched with the recorder in the other suites.
"""

import unittest
import uuid

import harness
import real_product

OWN_TRANSFORMS = ":1031.mst"
LANGUAGE_TRANSFORM = "Files\\1031.mst"
ERROR_UNKNOWN_PRODUCT = 1605


def new_patch_code():
    return "{" + str(uuid.uuid4()).upper() + "}"


class RealInstallerTest(harness.PrefixTestCase):

    real_installer = True
    builder = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.builder = real_product.Builder()
            cls.install_product()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.builder is not None:
            cls.builder.remove()
            cls.builder = None
        super().tearDownClass()

    @classmethod
    def install_product(cls):
        code = real_product.install(cls.prefix, cls.builder)
        if code != 0:
            raise harness.WineError(f"msiexec /i of the sample product exited {code}")
        cls.prefix.set_values(real_product.PRODUCT_KEY, {"Transforms": OWN_TRANSFORMS})

    # ----- helpers -----

    def unpatched_product(self):
        """The product as installed, without patches. A case that checks a
        patch's effect starts from 1.0.0, so it reinstalls after another case's
        patches (about a second): a patch to a lower version applied over a
        higher one would set the version back."""
        if real_product.registered_patches(self.prefix):
            self.assertEqual(0, real_product.uninstall(self.prefix), "msiexec /x of the patched product")
            self.install_product()
        self.assertEqual("Hostrel 1.0.0", real_product.installed_text(self.prefix), "the product as installed")

    def run_patch(self, folder_name, patch_file, patch):
        """Runs Setup.exe /qn in C:\\<folder_name> holding Files\\<patch_file>
        and the German transform; returns the SetupRun."""
        files = {"Files\\" + patch_file: patch, LANGUAGE_TRANSFORM: b""}
        self.prefix.remove_run_logs()
        with self.patch_folder(folder_name, files) as folder:
            run = self.prefix.run_setup(folder, "/qn")
        self.assertEqual([], run.records, "Wine's own installer should have run, not the recorder")
        return run

    def assert_redirected_and_restored(self):
        # Wine's installer ignores Transforms, so only the run log tells that
        # the value was redirected while it ran.
        log = self.prefix.newest_run_log()
        self.assertIsNotNone(log, "Setup.exe should have written a run log")
        events = harness.read_run_log(log)
        self.assertTrue(any(e.startswith("Redirection: Transforms set to ") and e.endswith('\\Files\\1031.mst"')
                            for e in events), f"Transforms should have named the folder's transform: {events!r}")
        self.assertEqual({"Transforms": OWN_TRANSFORMS, "TransformsBackup": None},
                         self.prefix.read_values(real_product.PRODUCT_KEY),
                         "the product's own Transforms back, no TransformsBackup left")

    def assert_applied(self, run, version, patch_code):
        self.assertEqual(0, run.status, "Setup.exe status when the real installer applied the patch")
        self.assertEqual(f"Hostrel {version}", real_product.installed_text(self.prefix),
                         "the installed file should hold the patch's contents")
        self.assertEqual(version, real_product.installed_version(self.prefix), "DisplayVersion after the patch")
        self.assertIn(real_product.packed(patch_code), real_product.registered_patches(self.prefix),
                      "the patch should be registered for the product")

    # ----- cases -----

    def test_real_patch_is_applied_and_the_registration_restored(self):
        self.unpatched_product()
        patch_code = new_patch_code()
        run = self.run_patch("Patch Files", "Hostrel_Update.msp", self.builder.patch("1.0.1", patch_code=patch_code))
        self.assert_applied(run, "1.0.1", patch_code)
        self.assert_redirected_and_restored()

    def test_patch_name_with_blank_and_ampersand_reaches_the_installer(self):
        # Unquoted, cmd would split the installer's command line at the "&".
        self.unpatched_product()
        patch_code = new_patch_code()
        run = self.run_patch("Fix Folder", "Hostrel Update & Fix.msp",
                             self.builder.patch("1.0.2", patch_code=patch_code))
        self.assert_applied(run, "1.0.2", patch_code)
        self.assert_redirected_and_restored()

    def test_later_patch_from_the_shipped_package_applies_over_an_earlier_one(self):
        # Both are made from the package as shipped; the later version's file must win.
        self.unpatched_product()
        first, second = new_patch_code(), new_patch_code()
        run = self.run_patch("First Patch", "Hostrel_Update.msp", self.builder.patch("1.0.1", patch_code=first))
        self.assert_applied(run, "1.0.1", first)
        run = self.run_patch("Second Patch", "Hostrel_Update.msp", self.builder.patch("1.0.2", patch_code=second))
        self.assert_applied(run, "1.0.2", second)
        self.assertIn(real_product.packed(first), real_product.registered_patches(self.prefix),
                      "the first patch should stay registered under the second")

    def test_installer_status_for_a_product_not_installed_is_passed_on(self):
        # The name picks the installed Hostrel row; the patch itself targets
        # a product code nobody installed.
        before = real_product.installed_text(self.prefix)
        patch = self.builder.patch("1.0.9", patch_code=new_patch_code(),
                                   package=self.builder.other_product_package())
        run = self.run_patch("Other Patch", "Hostrel_Other.msp", patch)
        self.assertEqual(ERROR_UNKNOWN_PRODUCT, run.status, "Setup.exe should end with the installer's status")
        self.assertEqual(before, real_product.installed_text(self.prefix), "the installed product is untouched")
        self.assert_redirected_and_restored()


if __name__ == "__main__":
    unittest.main()
