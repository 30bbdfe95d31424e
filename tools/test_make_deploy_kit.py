#!/usr/bin/env python3
"""Checks of make_deploy_kit.py on a patch make_patch.py builds (needs wixl and msiinfo; the
playbook checks need ansible-playbook). Run: python3 -m unittest discover -s tools
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
KIT = os.path.join(HERE, "make_deploy_kit.py")
DEPLOYING = os.path.join(HERE, "..", "docs", "deploying.md")
PATCH_CODE = "{D6515280-EF42-46AD-BDA1-6E90CBA66B77}"
PACKED_PATCH = "0825156D24FEDA64DB1AE609BC6AB677"
PACKED_PRODUCT = "8C0FD386649E9D942AA845BBA3A1420B"
ANSIBLE = shutil.which("ansible-playbook")


def codes_of(cell):
    return [int(c) for c in re.findall(r"\b\d+\b", cell)]


@unittest.skipUnless(shutil.which("wixl") and shutil.which("msiinfo"),
                     "needs wixl and msiinfo (Debian packages wixl, msitools)")
class DeployKitTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="deploy_kit_test.")
        cls.msi = os.path.join(cls.dir, "product.msi")
        subprocess.run(["wixl", "-o", cls.msi, os.path.join(HERE, "sample_product", "product.wxs")],
                       check=True)
        cls.folder = cls.patch_folder("Patch Files")
        cls.msp = os.path.join(cls.folder, "Files", "Hostrel_1.0.1.msp")
        subprocess.run([sys.executable, os.path.join(HERE, "make_patch.py"), "--package", cls.msi,
                        "--replace", "version.txt=" + os.path.join(HERE, "sample_product",
                                                                   "version-1.0.1.txt"),
                        "--product-version", "1.0.1", "--patch-code", PATCH_CODE,
                        "-o", cls.msp], check=True, capture_output=True)
        cls.kit = os.path.join(cls.dir, "kit")
        cls.made = cls.run_kit(cls.folder, cls.kit)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    @classmethod
    def patch_folder(cls, name, setup=True):
        folder = os.path.join(cls.dir, name)
        os.makedirs(os.path.join(folder, "Files"))
        if setup:
            with open(os.path.join(folder, "Setup.exe"), "wb") as f:
                f.write(b"MZ")
        return folder

    @staticmethod
    def run_kit(folder, out):
        return subprocess.run([sys.executable, KIT, folder, "-o", out], capture_output=True,
                              text=True)

    def read(self, name):
        with open(os.path.join(self.kit, name), encoding="utf-8") as f:
            return f.read()

    def test_kit_names_the_patchs_codes(self):
        self.assertEqual((self.made.returncode, self.made.stderr), (0, ""))
        self.assertEqual(sorted(os.listdir(self.kit)),
                         ["command-line.txt", "deploy.yml", "detect.ps1", "return-codes.md"])
        detect = self.read("detect.ps1")
        self.assertIn(f"$PackedPatch = '{PACKED_PATCH}'", detect)
        self.assertRegex(detect, r"\$PackedProducts = @\(\n    '%s'" % PACKED_PRODUCT)
        self.assertRegex(self.read("deploy.yml"), r"packed_patch: '%s'[^\n]*\n    "
                         r"packed_products:\n      - '%s'" % (PACKED_PATCH, PACKED_PRODUCT))
        self.assertRegex(self.read("command-line.txt"), r"\ASetup\.exe /qn REBOOT=ReallySuppress ")

    def test_return_codes_agree_with_the_playbook_and_deploying(self):
        kit = {code: cls for codes, cls in re.findall(r"^\| ([^|]+) \| ([^|]+) \|",
                                                      self.read("return-codes.md"), re.M)
               for code in codes_of(codes)}
        playbook = self.read("deploy.yml")
        expected = codes_of(re.search(r"expected_return_code: \[(.*)\]", playbook).group(1))
        self.assertEqual(sorted(expected), sorted(c for c, cls in kit.items()
                                                  if cls in ("Success", "Soft reboot",
                                                             "Hard reboot")))
        self.assertIn("until: quarrix_patch.rc | default(0) != 1618", playbook)
        self.assertEqual(kit[1618], "Retry")
        if os.path.isfile(DEPLOYING):
            with open(DEPLOYING, encoding="utf-8") as f:
                table = f.read().partition("| Status | What happened | Class |")[2]
            rows = re.findall(r"^\| ([^|]+) \| [^|]+ \| ([^|]+) \|", table.partition("\n\n")[0],
                              re.M)
            documented = {code: cls.strip() for codes, cls in rows for code in codes_of(codes)}
            self.assertGreater(len(documented), 10)
            self.assertEqual({c: kit.get(c) for c in documented}, documented)

    @unittest.skipUnless(ANSIBLE, "needs ansible-playbook (Debian package ansible)")
    def test_playbook_passes_the_syntax_check(self):
        run = subprocess.run([ANSIBLE, "--syntax-check", "deploy.yml"], cwd=self.kit,
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    @unittest.skipUnless(ANSIBLE, "needs ansible-playbook (Debian package ansible)")
    def test_playbook_rule(self):
        # The playbook's decision, fed registry reads as win_reg_stat returns them, per product.
        def product(registered, state=None, journal=None):
            return ({"exists": registered}, {"exists": state is not None, "value": state},
                    {"exists": journal is not None, "type": journal})
        applied = product(True, 1)
        cases = [
            ("applied", [applied], True),
            ("not registered", [product(False)], False),
            ("registered, no patch", [product(True)], False),
            ("superseded", [product(True, 2)], False),
            ("journal left", [product(True, 1, "REG_SZ")], False),
            ("expandable journal left", [product(True, 1, "REG_EXPAND_SZ")], False),
            ("TransformsBackup of another type", [product(True, 1, "REG_BINARY")], True),
            ("one of two registered, applied", [product(False), applied], True),
            ("two registered, one applied", [applied, product(True)], False),
        ]
        decide = re.search(r"^    - name: Decide.*?\n\n", self.read("deploy.yml"),
                           re.M | re.S).group(0)
        work = tempfile.mkdtemp(dir=self.dir)
        with open(os.path.join(work, "decide.yml"), "w") as f:
            f.write(textwrap.dedent(decide) + "- ansible.builtin.assert:\n"
                    "    that: (quarrix_patch_detected | bool) == case.detected\n"
                    "    fail_msg: '{{ case.name }} gave {{ quarrix_patch_detected }}'\n")
        with open(os.path.join(work, "rule.yml"), "w") as f:
            f.write("- hosts: localhost\n  gather_facts: false\n  tasks:\n"
                    "    - ansible.builtin.include_tasks: decide.yml\n"
                    "      vars:\n        registration: '{{ case.reads[0] }}'\n"
                    "        applied: '{{ case.reads[1] }}'\n        journal: '{{ case.reads[2] }}'\n"
                    "      loop: '{{ cases }}'\n      loop_control:\n        loop_var: case\n")
        with open(os.path.join(work, "cases.json"), "w") as f:
            json.dump({"cases": [{"name": name, "detected": detected,
                                  "reads": [{"results": [p[i] for p in products]}
                                            for i in range(3)]}
                                 for name, products, detected in cases]}, f)
        run = subprocess.run([ANSIBLE, "-i", "localhost,", "-c", "local", "rule.yml",
                              "-e", "@cases.json"], cwd=work, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout[-3000:] + run.stderr)
        self.assertEqual(run.stdout.count("All assertions passed"), len(cases), run.stdout)

    def test_refusals(self):
        with open(self.msp, "rb") as f:
            patch = f.read()
        with open(self.msi, "rb") as f:
            database = f.read()
        first_directory_sector = int.from_bytes(patch[48:52], "little")
        # (case, files of the folder (None: no folder), words of the one-line reason)
        cases = [
            ("no folder", None, "no such folder"),
            ("no Setup.exe", {"Files/Hostrel.msp": patch}, "holds no Setup.exe"),
            ("no patch", {"Setup.exe": b"MZ", "Files/Hostrel.msi": patch}, "holds no patch"),
            ("several patches", {"Setup.exe": b"MZ", "Files/Hostrel_1.msp": patch,
                                 "Files/Hostrel_2.msp": patch},
             "holds several patches (Hostrel_1.msp, Hostrel_2.msp)"),
            ("not an installer file", {"Setup.exe": b"MZ", "Files/Hostrel.msp": b"x" * 600},
             "is not an installer file"),
            ("a database", {"Setup.exe": b"MZ", "Files/Hostrel.msp": database},
             "is an installer database (.msi), not a patch"),
            ("cut short", {"Setup.exe": b"MZ", "Files/Hostrel.msp":
                           patch[:512 * (first_directory_sector + 2)]},
             "cannot read the patch"),
        ]
        for n, (case, files, words) in enumerate(cases):
            with self.subTest(case):
                folder = os.path.join(self.dir, f"refused{n}")
                for name, data in (files or {}).items():
                    os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
                    with open(os.path.join(folder, name), "wb") as f:
                        f.write(data)
                out = os.path.join(self.dir, f"kit{n}")
                run = self.run_kit(folder, out)
                self.assertEqual(run.returncode, 1, run.stderr)
                self.assertRegex(run.stderr, r"\Amake_deploy_kit\.py: error: [^\n]*\n\Z")
                self.assertIn(words, run.stderr)
                self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main()
