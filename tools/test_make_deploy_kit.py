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
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
KIT = os.path.join(HERE, "make_deploy_kit.py")
DEPLOYING = os.path.join(HERE, "..", "docs", "deploying.md")
PATCH_CODE = "{D6515280-EF42-46AD-BDA1-6E90CBA66B77}"
PACKED_PATCH = "0825156D24FEDA64DB1AE609BC6AB677"
PRODUCT_CODE = "{683DF0C8-E946-49D9-A28A-54BB3A1A24B0}"
PACKED_PRODUCT = "8C0FD386649E9D942AA845BBA3A1420B"
KIT_FILES = ["command-line.txt", "deploy.yml", "detect.ps1", "requirement.ps1", "return-codes.md"]
ANSIBLE = shutil.which("ansible-playbook")
PS_QUOTES = "'\u2018\u2019\u201a\u201b"
# Keys of a task that are Ansible's own, not the module's options.
TASK_KEYWORDS = {"name", "register", "changed_when", "when", "become", "become_method",
                 "become_user", "until", "retries", "delay", "block", "always"}


def codes_of(cell):
    return [int(c) for c in re.findall(r"\b\d+\b", cell)]


def powershell_literal_on(line, variable):
    """The value of `$variable = '<literal>'` on `line`, or None unless the line is exactly
    that: one single-quoted literal and nothing after it."""
    match = re.match(r"\$%s = (.)" % re.escape(variable), line)
    if not match or match.group(1) not in PS_QUOTES:
        return None
    value, at = [], match.end()
    while at < len(line):
        if line[at] in PS_QUOTES:
            if at + 1 < len(line) and line[at + 1] in PS_QUOTES:
                value.append(line[at])
                at += 2
                continue
            return "".join(value) if line[at + 1:] == "" else None
        value.append(line[at])
        at += 1
    return None


# Run by the interpreter Ansible is installed for (the first line of ansible-playbook), which
# need not be this one: the play as Ansible's own loader reads it, each (template, facts)
# rendered by Ansible's templar with the play's variables, and the options each module the
# play uses documents in the installed collection.
ANSIBLE_VIEW = """
import ast, json, os, sys, yaml
import ansible_collections.ansible.windows as collection
from ansible.parsing.dataloader import DataLoader
from ansible.template import Templar
kit, requests = sys.argv[1], json.loads(sys.argv[2])
loader = DataLoader()
play = loader.load_from_file(os.path.join(kit, "deploy.yml"))[0]
rendered = [Templar(loader=loader, variables=dict(play["vars"], playbook_dir=kit, **facts))
            .template(template) for template, facts in requests]
def tasks(items):
    for task in items:
        yield task
        yield from tasks(task.get("block", []) + task.get("always", []))
documented = {}
for module in {key for task in tasks(play["tasks"]) for key in task
               if key.startswith("ansible.windows.")}:
    path = os.path.join(collection.__path__[0], "plugins", "modules",
                        module.rpartition(".")[2] + ".py")
    tree = ast.parse(open(path, encoding="utf-8").read())
    text = next(node.value.value for node in tree.body if isinstance(node, ast.Assign)
                and getattr(node.targets[0], "id", "") == "DOCUMENTATION")
    documented[module] = sorted(yaml.safe_load(text)["options"])
print(json.dumps({"play": play, "rendered": rendered, "documented": documented}))
"""


def ansible_view(kit, requests=()):
    with open(ANSIBLE) as f:
        interpreter = f.readline()[2:].strip()
    run = subprocess.run([interpreter, "-c", ANSIBLE_VIEW, kit, json.dumps(list(requests))],
                         capture_output=True, text=True, check=True)
    return json.loads(run.stdout)


def tasks_of(tasks):
    for task in tasks:
        yield task
        yield from tasks_of(task.get("block", []) + task.get("always", []))


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
        with open(os.path.join(folder, "Files", "1033.mst"), "wb") as f:
            f.write(b"transform")
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
        self.assertEqual(sorted(os.listdir(self.kit)), KIT_FILES)
        for script in ("detect.ps1", "requirement.ps1"):
            self.assertIn(f"    '{PRODUCT_CODE}' = '{PACKED_PRODUCT}'\n", self.read(script))
        self.assertIn(f"$PatchCode = '{PATCH_CODE}'\n", self.read("detect.ps1"))
        self.assertRegex(self.read("command-line.txt"), r"\ASetup\.exe /qn REBOOT=ReallySuppress ")

    def test_kit_keeps_no_undocumented_state_nor_the_makers_paths(self):
        # The UserData State value is the installer's own layout; the maker's folders mean
        # nothing on the controller the kit is copied to.
        for name in KIT_FILES:
            text = self.read(name)
            self.assertNotIn("UserData", text, name)
            self.assertNotIn(self.dir, text, name)
            self.assertNotIn("ProgramData", text, name)

    @unittest.skipUnless(ANSIBLE, "needs ansible-playbook (Debian package ansible)")
    def test_playbook_runs_the_kits_scripts_as_written(self):
        play = ansible_view(self.kit)["play"]
        scripts = {task["name"]: task["ansible.windows.win_powershell"]["script"]
                   for task in play["tasks"] if "ansible.windows.win_powershell" in task}
        self.assertEqual(scripts["Detection rule (detect.ps1)"], self.read("detect.ps1"))
        self.assertEqual(scripts["Requirement rule (requirement.ps1)"],
                         self.read("requirement.ps1"))

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
        inventory = os.path.join(self.dir, "inventory.ini")
        with open(inventory, "w") as f:
            f.write("[windows]\nwin1.example.org\n")
        run = subprocess.run([ANSIBLE, "--syntax-check", "-i", inventory, "deploy.yml"],
                             cwd=self.kit, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertNotIn("WARNING", run.stderr)

    @unittest.skipUnless(ANSIBLE, "needs ansible-playbook (Debian package ansible)")
    def test_each_task_option_is_one_the_installed_module_documents(self):
        view = ansible_view(self.kit)
        checked = 0
        for task in tasks_of(view["play"]["tasks"]):
            for module in set(task) - TASK_KEYWORDS:
                self.assertTrue(module.startswith("ansible.windows."), task["name"])
                options = set(task[module] or {})
                self.assertEqual(options - set(view["documented"][module]), set(), task["name"])
                checked += 1
        self.assertEqual(checked, 7)

    @unittest.skipUnless(ANSIBLE, "needs ansible-playbook (Debian package ansible)")
    def test_playbook_decisions(self):
        # (case, registered results, whether the patch is staged and run, whether it restarts)
        cases = [
            ("applicable, not detected", {}, True, False),
            ("not applicable", {"quarrix_requirement": {"output": [False]}}, False, False),
            ("requirement script gave nothing", {"quarrix_requirement": {"output": []}},
             False, False),
            ("detected", {"quarrix_detection": {"output": ["Applied: x"]}}, False, False),
            ("3010, restarts not allowed", {"quarrix_patch": {"reboot_required": True}},
             True, False),
            ("3010, restarts allowed", {"quarrix_patch": {"reboot_required": True},
                                        "quarrix_allow_restart": True}, True, True),
            ("0, restarts allowed", {"quarrix_patch": {"reboot_required": False},
                                     "quarrix_allow_restart": True}, True, False),
            ("block skipped, restarts allowed", {"quarrix_patch": {"skipped": True},
                                                 "quarrix_allow_restart": True}, True, False),
        ]
        play = ansible_view(self.kit)["play"]
        staged = next(t for t in play["tasks"] if "block" in t)["when"]
        reboot = next(t for t in play["tasks"] if "ansible.windows.win_reboot" in t)
        requests = []
        for case, results, runs, restarts in cases:
            facts = dict({"quarrix_requirement": {"output": [True]},
                          "quarrix_detection": {"output": []}}, **results)
            requests += [("{{ %s }}" % " and ".join(staged), facts),
                         ("{{ %s }}" % " and ".join(reboot["when"]), facts)]
        requests.append((reboot["ansible.windows.win_reboot"]["pre_reboot_delay"], {}))
        rendered = ansible_view(self.kit, requests)["rendered"]
        for n, (case, results, runs, restarts) in enumerate(cases):
            with self.subTest(case):
                self.assertEqual(rendered[2 * n:2 * n + 2], [runs, restarts])
        self.assertFalse(play["vars"]["quarrix_allow_restart"])
        self.assertEqual(rendered[-1], 900)

    def test_hostile_names(self):
        # (case, text put in the folder's and the patch's names, words of the refusal or None)
        cases = [
            ("line break", "a\nWrite-Output 1", "control character U+000A"),
            ("line separator", "a\u2028b", "control character U+2028"),
            ("right-to-left override", "a\u202eb", "control character U+202E"),
            ("semicolon", "a;b", "holds ';', which the launcher refuses"),
            ("double quote", 'a"b', """holds '"', which the launcher refuses"""),
            ("single quote", "O'Brien", None),
            ("typographic quote", "O\u2019Brien", None),
            ("Jinja expression", "{{ 7*7 }}", None),
            ("Jinja statement", "{% raw %}", None),
            ("subexpression", "$(calc)", None),
            ("backtick", "a`nb", None),
        ]
        with open(self.msp, "rb") as f:
            patch = f.read()
        for n, (case, text, refusal) in enumerate(cases):
            with self.subTest(case):
                folder = self.patch_folder(f"hostile{n} {text}")
                name = f"Hostrel_{text}.msp"
                with open(os.path.join(folder, "Files", name), "wb") as f:
                    f.write(patch)
                kit = os.path.join(self.dir, f"hostile_kit{n}")
                run = self.run_kit(folder, kit)
                if refusal:
                    self.assertEqual(run.returncode, 1, run.stdout)
                    self.assertRegex(run.stderr, r"\Amake_deploy_kit\.py: error: [^\n]*\n\Z")
                    self.assertIn(refusal, run.stderr)
                    self.assertFalse(os.path.exists(kit))
                    continue
                self.assertEqual(run.returncode, 0, run.stderr)
                with open(os.path.join(kit, "detect.ps1"), encoding="utf-8") as f:
                    lines = f.read()
                self.assertEqual([powershell_literal_on(line, "PatchFile")
                                  for line in lines.splitlines() if "PatchFile =" in line],
                                 [name])
                if not ANSIBLE:
                    continue
                # As a task uses them: through the variable, whose value is not evaluated.
                file, source = ansible_view(kit, [("{{ patch_file }}", {}),
                                                  ("{{ patch_source }}", {})])["rendered"]
                self.assertEqual(file, name)
                self.assertEqual(os.path.realpath(source), os.path.realpath(folder))

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
            ("not an installer file", {"Setup.exe": b"MZ", "Files/Hostrel.msp": b"x" * 600,
                                       "Files/1031.mst": b""}, "is not an installer file"),
            ("a database", {"Setup.exe": b"MZ", "Files/Hostrel.msp": database,
                            "Files/1031.mst": b""},
             "is an installer database (.msi), not a patch"),
            ("cut short", {"Setup.exe": b"MZ", "Files/1031.mst": b"", "Files/Hostrel.msp":
                           patch[:512 * (first_directory_sector + 2)]},
             "cannot read the patch"),
            ("no language transform", {"Setup.exe": b"MZ", "Files/Hostrel.msp": patch,
                                       "Files/German.mst": b"", "1031.mst": b""},
             "holds no language transform"),
            ("keyword in other case", {"Setup.exe": b"MZ", "Files/hostrel.msp": patch,
                                       "Files/1031.mst": b""}, "holds no product keyword"),
            ("control character in a transform's name",
             {"Setup.exe": b"MZ", "Files/Hostrel.msp": patch, "Files/1031\x1b.mst": b""},
             "control character U+001B"),
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
        with self.subTest("control character in the kit's folder"):
            out = os.path.join(self.dir, "kit\rdetect")
            run = self.run_kit(self.folder, out)
            self.assertEqual(run.returncode, 1, run.stderr)
            self.assertIn("control character U+000D", run.stderr)
            self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main()
