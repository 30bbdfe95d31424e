#!/usr/bin/env python3
"""Checks of make_patch.py that run in seconds without Wine (they need wixl, msiinfo and gcab).

Run: python3 tools/test_make_patch.py   (or python3 -m unittest discover -s tools)
tools/wine_patch_demo.sh proves the patches with Wine's installer.
"""

import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "make_patch.py")
PRODUCT_TABLE = os.path.join(HERE, "..", "src", "detection", "product_identification.cpp")
PRODUCT_CODE = "{683DF0C8-E946-49D9-A28A-54BB3A1A24B0}"
PATCH_CODE = "{D6515280-EF42-46AD-BDA1-6E90CBA66B77}"
PATCH_CLSID = uuid.UUID("000C1086-0000-0000-C000-000000000046").bytes_le


@unittest.skipUnless(shutil.which("wixl") and shutil.which("msiinfo") and shutil.which("gcab"),
                     "needs wixl, msiinfo and gcab (Debian packages wixl, msitools, gcab)")
class MakePatchTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="make_patch_test.")
        cls.msi = os.path.join(cls.dir, "product.msi")
        subprocess.run(["wixl", "-o", cls.msi, os.path.join(HERE, "sample_product", "product.wxs")],
                       check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_tool(self, package, *args, out=None, env=None):
        if out is None:
            out = self.path("Hostrel_patch.msp")
            if os.path.exists(out):
                os.remove(out)
        environ = {k: v for k, v in os.environ.items() if k not in ("TZ", "SOURCE_DATE_EPOCH")}
        run = subprocess.run([sys.executable, TOOL, "--package", package, *args, "-o", out],
                             capture_output=True, text=True, env={**environ, **(env or {})})
        return run, out

    def new_contents(self, contents=b"Hostrel 1.0.1\r\n"):
        source = self.path("new.txt")
        with open(source, "wb") as f:
            f.write(contents)
        return source

    def make(self, contents, *args):
        source = self.new_contents(contents)
        run, out = self.run_tool(self.msi, "--replace", f"version.txt={source}", *args)
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        return out

    def assert_refused(self, run, out, words, existing=None):
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertRegex(run.stderr, r"^make_patch\.py: error: [^\n]*\n$")
        self.assertIn(words, run.stderr)
        # Only names the user gave: the tool's own temporary ones are gone by then.
        rest = run.stderr
        for given in sorted({a.partition("=")[2] or a for a in run.args}, key=len, reverse=True):
            rest = rest.replace(given, "")
        self.assertNotRegex(rest, re.escape(tempfile.gettempdir() + os.sep)
                            + r"|\.gsf-save|\.part\b")
        if existing is None:
            self.assertFalse(os.path.exists(out))
        else:
            with open(out, "rb") as f:
                self.assertEqual(f.read(), existing, f"{out} should be left as it was")

    def test_patch_opens_as_a_patch_of_the_product(self):
        msp = self.make(b"Hostrel 1.0.1\r\n", "--product-version", "1.0.1",
                        "--patch-code", PATCH_CODE.strip("{}").lower())
        text = subprocess.run(["msiinfo", "suminfo", msp], capture_output=True, text=True,
                              check=True).stdout
        info = dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)
        self.assertEqual(info["Template"], PRODUCT_CODE)
        self.assertEqual(info["Revision number (UUID)"], PATCH_CODE)
        self.assertEqual(info["Last author"], ":T1;:#T1")
        sequence = subprocess.run(["msiinfo", "export", msp, "MsiPatchSequence"],
                                  capture_output=True, text=True, check=True).stdout
        self.assertEqual(sequence.splitlines()[3].split("\t")[1:3], [PRODUCT_CODE, "1.0.1"])
        with open(msp, "rb") as f:
            data = f.read()
        root = 512 * (struct.unpack_from("<I", data, 48)[0] + 1)
        self.assertEqual(data[root:root + 20].decode("utf-16-le"), "Root Entry")
        self.assertEqual(data[root + 80:root + 96], PATCH_CLSID)

    def test_same_inputs_give_the_same_bytes(self):
        source = self.new_contents()
        # (case, environment of the first build, of the second, same bytes, time recorded)
        cases = [
            ("time zones differ", {"TZ": "UTC"}, {"TZ": "Asia/Tokyo"}, True,
             "Tue Jan  1 00:00:00 1980"),
            ("epoch given, time zones differ", {"SOURCE_DATE_EPOCH": "1700000000", "TZ": "UTC"},
             {"SOURCE_DATE_EPOCH": "1700000000", "TZ": "America/St_Johns"}, True,
             "Tue Nov 14 22:13:20 2023"),
            ("epochs differ", {"SOURCE_DATE_EPOCH": "1700000000"},
             {"SOURCE_DATE_EPOCH": "1700003600"}, False, "Tue Nov 14 22:13:20 2023"),
        ]
        for case, first, second, same, created in cases:
            with self.subTest(case):
                builds = []
                for n, env in enumerate((first, second)):
                    # A replacement touched in between: its time is no input.
                    os.utime(source, (1e9 + n * 7777, 1e9 + n * 7777))
                    run, out = self.run_tool(self.msi, "--replace", f"version.txt={source}",
                                             "--product-version", "1.0.1", "--patch-code",
                                             PATCH_CODE, out=self.path(f"Hostrel_{n}.msp"),
                                             env=env)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    with open(out, "rb") as f:
                        builds.append(f.read())
                    os.remove(out)
                self.assertEqual(builds[0] == builds[1], same)
                with open(self.path("inspect.msp"), "wb") as f:
                    f.write(builds[0])
                info = subprocess.run(["msiinfo", "suminfo", self.path("inspect.msp")],
                                      capture_output=True, text=True, check=True,
                                      env={**os.environ, "TZ": "UTC"}).stdout
                self.assertIn(f"Created: {created}\nLast saved: {created}\n", info)
                cab = subprocess.run(["msiinfo", "extract", self.path("inspect.msp"),
                                      "PATCH_1_0_1"], capture_output=True, check=True).stdout
                with open(self.path("patch.cab"), "wb") as f:
                    f.write(cab)
                listing = subprocess.run(["gcab", "-l", "-v", self.path("patch.cab")],
                                         capture_output=True, text=True, check=True,
                                         env={**os.environ, "TZ": "UTC"}).stdout
                when = time.strptime(created, "%a %b %d %H:%M:%S %Y")
                self.assertIn(time.strftime(" %Y-%m-%d %H:%M:%S ", when), listing)

    def test_large_replacements_travel_whole(self):
        # 5000 bytes: just past the mini stream. 8 MiB: 256 cabinet blocks and a DIFAT sector.
        for size in (5000, 8 << 20):
            with self.subTest(size=size):
                contents = random.Random(size).randbytes(size)
                msp = self.make(contents, "--product-version", "1.0.1")
                cab = subprocess.run(["msiinfo", "extract", msp, "PATCH_1_0_1"],
                                     capture_output=True, check=True).stdout
                with open(self.path("patch.cab"), "wb") as f:
                    f.write(cab)
                folder = tempfile.mkdtemp(dir=self.dir)
                subprocess.run(["gcab", "-x", "-C", folder, self.path("patch.cab")], check=True,
                               capture_output=True)
                self.assertEqual(os.listdir(folder), ["version.txt"])
                with open(os.path.join(folder, "version.txt"), "rb") as f:
                    self.assertEqual(f.read(), contents)

    def test_refusals(self):
        shutil.copy(self.msi, self.path("shipped.msi"))
        with open(self.path("shipped.msi"), "rb") as f:
            shipped = f.read()
        source = self.new_contents()
        # (case, version, extra arguments, output, words in the message, file left as it was)
        cases = [
            ("output is the package", "1.0.1", [], "shipped.msi", "is the package itself",
             shipped),
            ("output is the package, even with --force", "1.0.1", ["--force"], "shipped.msi",
             "is the package itself", shipped),
            ("output exists", "1.0.1", [], "old.msp", "exists; give --force", b"old"),
            ("output in a missing folder", "1.0.1", [], "missing/Hostrel_1.0.1.msp",
             "Hostrel_1.0.1.msp: No such file or directory\n", None),
            ("not X.Y.Z", "1.0", [], None, "is not a product version X.Y.Z", None),
            ("four fields", "1.0.1.0", [], None, "is not a product version X.Y.Z", None),
            ("digits of another script", "1.0.\u0661", [], None, "is not a product version",
             None),
            ("leading zero in build", "1.0.01", [], None, "leading zero; write 1.0.1:", None),
            ("leading zero in major", "01.0.1", [], None, "leading zero; write 1.0.1:", None),
            ("leading zeros in minor", "1.00.1", [], None, "leading zero; write 1.0.1:", None),
            ("downgrade", "0.9.0", [], None, "is not above the package's version 1.0.0", None),
            ("unchanged", "1.0.0", [], None, "is not above the package's version 1.0.0", None),
            ("minor above 255", "1.256.0", [], None, "above the installer's limits", None),
            ("build above 65535", "1.0.65536", [], None, "above the installer's limits", None),
            ("too far for the sequence numbers", "200.0.0", [], None,
             "the highest version a patch of it can take is 128.255.55535", None),
            ("patch code is the product code", "1.0.1",
             ["--patch-code", PRODUCT_CODE.strip("{}").lower()], None,
             "is the product's own code", None),
        ]
        for case, version, extra, output, words, existing in cases:
            with self.subTest(case):
                out = None
                if output:
                    out = self.path(output)
                    if output == "old.msp":
                        with open(out, "wb") as f:
                            f.write(existing)
                run, out = self.run_tool(self.path("shipped.msi"), "--replace",
                                         f"version.txt={source}", "--product-version", version,
                                         *extra, out=out)
                self.assert_refused(run, out, words, existing)
        # What --force is for: an existing patch file other than the package.
        run, _ = self.run_tool(self.msi, "--replace", f"version.txt={source}",
                               "--product-version", "1.0.1", "--force", out=self.path("old.msp"))
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_output_names(self):
        source = self.new_contents()
        os.makedirs(self.path("Hostrel"), exist_ok=True)
        none = "holds none of the launcher's product keywords"
        other = "Brisant names product CFEC5A5C742AD604485FA193EF4D3624 in the launcher's " \
                "table, not this package's 8C0FD386649E9D942AA845BBA3A1420B"
        # (output, version, why warned: the name's keyword, letter case included, is not the
        # package's product's, or None)
        for output, version, why in [("Hostrel_1.0.10.msp", "1.0.10", None),
                                     ("Brisant-Hostrel.msp", "1.0.1", None),
                                     ("x-Brisant-y.msp", "2.0.0", other),
                                     ("hostrel_1.0.1.msp", "1.0.1", none),
                                     ("Hostrel/patch.msp", "1.0.1", none)]:
            with self.subTest(output):
                run, out = self.run_tool(self.msi, "--replace", f"version.txt={source}",
                                         "--product-version", version, "--patch-code",
                                         PATCH_CODE, out=self.path(output), env={"TZ": "UTC"})
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertTrue(os.path.isfile(out))
                self.assertRegex(run.stderr, r"\Amake_patch\.py: warning: [^\n]*"
                                 + re.escape(why or "") + r"[^\n]*"
                                 + re.escape(f"; name it like Hostrel_{version}.msp")
                                 + r"\n\Z" if why else r"\A\Z")
                self.assertEqual(run.stdout.splitlines()[1:], [
                    f"patch code {PATCH_CODE}, packed 0825156D24FEDA64DB1AE609BC6AB677",
                    f"product code {PRODUCT_CODE}, packed 8C0FD386649E9D942AA845BBA3A1420B"])

    @unittest.skipUnless(os.path.isfile(PRODUCT_TABLE), "needs the launcher's sources")
    def test_product_table_is_the_launchers(self):
        sys.path.insert(0, HERE)
        import make_patch
        with open(PRODUCT_TABLE, encoding="utf-8") as f:
            rows = re.findall(r'\{u"([0-9A-F]{32})", u"(\w+)", u"(\{[^"]*\})"\}', f.read())
        self.assertEqual(list(make_patch.PRODUCT_TABLE), [(code, word) for code, word, _ in rows])
        # The rows that keep the braced code pack to their own packed code; so does the
        # sample product, given in any spelling the tool takes.
        cases = [(braced, code) for code, _, braced in rows if braced != "{}"] + [
            (PRODUCT_CODE, "8C0FD386649E9D942AA845BBA3A1420B"),
            (PRODUCT_CODE.strip("{}").lower(), "8C0FD386649E9D942AA845BBA3A1420B"),
            (PATCH_CODE, "0825156D24FEDA64DB1AE609BC6AB677")]
        self.assertGreaterEqual(len(cases), 7)
        for guid, code in cases:
            with self.subTest(guid):
                self.assertEqual(make_patch.packed_code(guid), code)

    def test_versioned_file_is_refused(self):
        versioned = self.path("versioned.msi")
        shutil.copy(self.msi, versioned)
        table = subprocess.run(["msiinfo", "export", versioned, "File"], capture_output=True,
                               text=True, check=True).stdout.splitlines()
        row = table[3].split("\t")
        row[4] = "1.0.0.0"
        table[3] = "\t".join(row)
        with open(self.path("File.idt"), "w", newline="") as f:
            f.write("\r\n".join(table))
        subprocess.run(["msibuild", versioned, "-i", self.path("File.idt")], check=True)
        run, out = self.run_tool(versioned, "--replace", f"version.txt={TOOL}",
                                 "--product-version", "1.0.1")
        self.assert_refused(run, out, "version.txt is a versioned file")

    def test_file_not_in_package_is_refused(self):
        run, out = self.run_tool(self.msi, "--replace", f"readme.txt={TOOL}",
                                 "--product-version", "1.0.1")
        self.assert_refused(run, out, "readme.txt is not a file of")


if __name__ == "__main__":
    unittest.main()
