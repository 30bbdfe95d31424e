#!/usr/bin/env python3
"""Checks of make_patch.py that run in seconds without Wine (they need wixl and msiinfo).

Run: python3 tools/test_make_patch.py   (or python3 -m unittest discover -s tools)
tools/wine_patch_demo.sh proves the patches with Wine's installer.
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "make_patch.py")
sys.path.insert(0, HERE)
import make_patch  # noqa: E402  (its cabinet reader decodes what the patch carries)

PRODUCT_CODE = "{683DF0C8-E946-49D9-A28A-54BB3A1A24B0}"
PATCH_CODE = "{D6515280-EF42-46AD-BDA1-6E90CBA66B77}"
PATCH_CLSID = uuid.UUID("000C1086-0000-0000-C000-000000000046").bytes_le


@unittest.skipUnless(shutil.which("wixl") and shutil.which("msiinfo"),
                     "needs wixl and msiinfo (Debian packages wixl, msitools)")
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

    def run_tool(self, package, *args):
        out = self.path("out.msp")
        if os.path.exists(out):
            os.remove(out)
        run = subprocess.run([sys.executable, TOOL, "--package", package, *args, "-o", out],
                             capture_output=True, text=True)
        return run, out

    def make(self, contents, *args):
        source = self.path("new.txt")
        with open(source, "wb") as f:
            f.write(contents)
        run, out = self.run_tool(self.msi, "--replace", f"version.txt={source}", *args)
        self.assertEqual(run.returncode, 0, run.stderr)
        return out

    def assert_refused(self, run, out, words):
        self.assertNotEqual(run.returncode, 0)
        self.assertRegex(run.stderr, r"^make_patch\.py: error: [^\n]*\n$")
        self.assertIn(words, run.stderr)
        self.assertFalse(os.path.exists(out))

    def test_patch_opens_as_a_patch_of_the_product(self):
        msp = self.make(b"Hostrel 1.0.1\r\n", "--product-version", "1.0.1",
                        "--patch-code", PATCH_CODE.strip("{}").lower())
        text = subprocess.run(["msiinfo", "suminfo", msp], capture_output=True, text=True,
                              check=True).stdout
        info = dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)
        self.assertEqual(info["Template"], PRODUCT_CODE)
        self.assertEqual(info["Revision number (UUID)"], PATCH_CODE)
        self.assertEqual(info["Last author"], ":T1;:#T1")
        with open(msp, "rb") as f:
            data = f.read()
        root = 512 * (struct.unpack_from("<I", data, 48)[0] + 1)
        self.assertEqual(data[root:root + 20].decode("utf-16-le"), "Root Entry")
        self.assertEqual(data[root + 80:root + 96], PATCH_CLSID)

    def test_large_replacements_travel_whole(self):
        # 5000 bytes: just past the mini stream. 8 MiB: 256 cabinet blocks and a DIFAT sector.
        for size in (5000, 8 << 20):
            with self.subTest(size=size):
                contents = random.Random(size).randbytes(size)
                msp = self.make(contents)
                cab = subprocess.run(["msiinfo", "extract", msp, "PATCH_CAB"],
                                     capture_output=True, check=True).stdout
                self.assertEqual(make_patch.read_cab(cab, "PATCH_CAB"), {"version.txt": contents})

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
        run, out = self.run_tool(versioned, "--replace", f"version.txt={TOOL}")
        self.assert_refused(run, out, "version.txt is a versioned file")

    def test_file_not_in_package_is_refused(self):
        run, out = self.run_tool(self.msi, "--replace", f"readme.txt={TOOL}")
        self.assert_refused(run, out, "readme.txt is not a file of")


if __name__ == "__main__":
    unittest.main()
