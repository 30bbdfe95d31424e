"""The first-run kit under Wine, with Wine's own installer.

The kit's driver runs every check it can; each either passes or is one of
the differences between Wine and Windows that docs/windows-behaviours.md
names, and those alone do not count in its exit status. It must leave the
prefix's registry and files as it found them.
"""

import json
import os
import shutil
import unittest

import harness

KIT = os.environ.get("SETUP_FIRST_RUN_KIT") or os.path.join(harness.REPOSITORY, "build", "windows",
                                                             "first-run-kit")
KIT_FOLDER = r"C:\kit"
KIT_LIMIT = 600  # seconds; the whole kit takes about 10 under Wine

# Every check the driver knows, in the order it prints them.
CHECKS = ("interpreter-waits", "interpreter-status-1603", "interpreter-status-1641",
          "interpreter-status-259", "interpreter-status-crash", "percent-escape",
          "percent-escape-quoted-path", "operators-in-value", "launcher-failed-patch",
          "autorun-skipped", "installer-mutex-held", "installer-mutex-refused",
          "log-folder-fallback", "msi-ordinals", "guarded-service-refused", "short-names-off", "session-0",
          "system-temp-folder", "launcher-mutex-other-account")
# Wine's cmd /C reports a child's 259 as 0; its service manager opens a
# service whatever the service's descriptor says.
WINE_DIFFERENCES = {"interpreter-status-259", "guarded-service-refused"}
# Wine makes short names everywhere, runs nothing in session 0 or as
# SYSTEM, and the tests have one account.
SKIPPED_UNDER_WINE = {"short-names-off", "session-0", "system-temp-folder",
                      "launcher-mutex-other-account"}
# What the kit changes and puts back: product registrations, AutoRun, a
# service. Compared whole before and after.
REGISTRY_ROOTS = ("HKLM\\Software", "HKCU\\Software",
                  "HKLM\\System\\CurrentControlSet\\Services")


# Wine's user32 writes its own cache of system parameters here the first
# time a program of the prefix asks for them (a message box does): Wine's
# doing, not the kit's, and no key Windows has.
WINE_CACHE_KEY = "\\Software\\Wine\\Temporary System Parameters"


def without_wine_caches(text):
    """An exported registry text without the sections of Wine's cache."""
    kept, in_cache = [], False
    for line in text.splitlines():
        if line.startswith("["):
            in_cache = WINE_CACHE_KEY in line
        if not in_cache:
            kept.append(line)
    return "\n".join(kept)


class FirstRunKitTest(harness.PrefixTestCase):

    real_installer = True

    def registry(self):
        """The exported text of each root, with Wine's key timestamps left out."""
        texts = {}
        for root in REGISTRY_ROOTS:
            target = "C:\\registry-export.reg"
            self.prefix.wine(["reg", "export", root, target, "/y"])
            path = self.prefix.linux_path(target)
            with open(path, "rb") as exported:
                texts[root] = without_wine_caches(exported.read().decode("utf-16"))
            os.remove(path)
        return texts

    def files(self):
        """Every file of drive C with its size, the kit's own folder aside."""
        listing = {}
        kit = self.prefix.linux_path(KIT_FOLDER)
        for folder, subfolders, names in os.walk(self.prefix.drive_c):
            subfolders[:] = [name for name in subfolders if os.path.join(folder, name) != kit]
            for name in names:
                path = os.path.join(folder, name)
                if os.path.isfile(path):
                    listing[os.path.relpath(path, self.prefix.drive_c)] = os.path.getsize(path)
        return listing

    def test_every_check_passes_or_is_a_named_wine_difference_and_nothing_is_left(self):
        shutil.copytree(KIT, self.prefix.linux_path(KIT_FOLDER))
        registry_before, files_before = self.registry(), self.files()

        status, output = self.prefix.run_program(
            KIT_FOLDER + r"\first-run.exe --json " + KIT_FOLDER + r"\results.json",
            cwd_windows=KIT_FOLDER, timeout=KIT_LIMIT)

        with open(os.path.join(self.prefix.linux_path(KIT_FOLDER), "results.json"),
                  encoding="utf-8") as results_file:
            results = json.load(results_file)
        checks = results["checks"]
        self.assertEqual([check["name"] for check in checks], list(CHECKS), output)
        lines = [line for line in output.splitlines() if line[:5] in ("PASS ", "FAIL ", "SKIP ")]
        self.assertEqual(len(lines), len(CHECKS), output)
        for check, line in zip(checks, lines):
            with self.subTest(check=check["name"]):
                self.assertTrue(line.startswith(check["result"] + " " + check["name"]), line)
                expected = ("FAIL" if check["name"] in WINE_DIFFERENCES
                            else "SKIP" if check["name"] in SKIPPED_UNDER_WINE else "PASS")
                self.assertEqual(check["result"], expected, check["detail"])
                self.assertEqual(check["known_wine_difference"], check["name"] in WINE_DIFFERENCES)
        self.assertTrue(results["under_wine"])
        self.assertEqual((status, results["failures"]), (0, 0), output)

        self.assertEqual(self.files(), files_before)
        registry_after = self.registry()
        for root in REGISTRY_ROOTS:
            with self.subTest(root=root):
                self.assertEqual(registry_after[root].splitlines(), registry_before[root].splitlines())


if __name__ == "__main__":
    unittest.main()
