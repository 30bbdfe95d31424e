"""Setup.exe under Wine: how it starts the installer and what it returns.

The installer is recorder.exe standing in for msiexec.exe; each test reads
the command line and current directory it was started with. Setup.exe starts
it through "<system folder>\\cmd.exe /C", and Wine's cmd passes the text after
/C on as the installer's command line, so the whole recorded line is compared.
"""

import os
import random
import re
import shutil
import time
import unittest

import harness


# The registration of the product a "Hostrel" patch is for. The launcher
# redirects and restores that product's transforms around the installer, and
# reports a failed restore -- such as a missing product key -- instead of the
# installer's status, so these tests run on a machine with the product.
HOSTREL_PRODUCT_KEY = r"Installer\Products\E359D2F96F56DF147AD77D973394339F"


class PatchRunTest(harness.PrefixTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.prefix.set_values(HOSTREL_PRODUCT_KEY, {"ProductName": "Quarrix Hostrel"})

    # ----- helpers -----

    def source_folder(self, folder):
        """What Setup.exe should take as its source folder: the 8.3 form of
        the patch folder with a trailing backslash. Wine's answer is checked:
        no blank in it, and it names the patch folder."""
        short = self.prefix.short_path(folder.windows_path)
        self.assertNotIn(" ", short, f"the 8.3 form of {folder.windows_path!r} should hold no blank")
        self.assertTrue(os.path.samefile(self.prefix.resolve_windows_path(short), folder.linux_path),
                        f"{short!r} should name {folder.windows_path!r}")
        return short.rstrip("\\") + "\\"

    def only_record(self, run):
        self.assertEqual(1, run.installer_runs,
                         f"the installer should start exactly once; records: {run.records!r}")
        return run.records[0]

    def assert_installer_line(self, record, expected_after_system_folder):
        """The recorded line must be <system folder>\\msiexec.exe<expected...>,
        with the system folder a 32-bit program gets."""
        expected = record["system_directory"] + "\\msiexec.exe" + expected_after_system_folder
        self.assertEqual(expected, record["command_line"], "installer command line")
        self.assertIn(record["module"].lower(),
                      (r"c:\windows\system32\msiexec.exe", r"c:\windows\syswow64\msiexec.exe"),
                      "the installer should be the one in the system folder")

    def assert_current_directory(self, record, source):
        # Windows reports a current directory without its trailing backslash.
        self.assertEqual(source, record["current_directory"] + "\\",
                         "installer current directory (plus a backslash) should be the source folder")

    # ----- the command line -----

    def test_installer_gets_short_patch_path_and_the_tail(self):
        with self.patch_folder("Patch Files") as folder:
            run = self.prefix.run_setup(folder, '/qn PROP="a b"', record_keys=[HOSTREL_PRODUCT_KEY])
            source = self.source_folder(folder)
            record = self.only_record(run)
            self.assert_installer_line(
                record, f' /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL /qn PROP="a b"')
            self.assert_current_directory(record, source)
            self.assertEqual(0, run.status, "Setup.exe status when the installer succeeds")
            self.assertEqual({"Transforms": None, "TransformsBackup": None},
                             self.prefix.read_values(HOSTREL_PRODUCT_KEY),
                             "the product's transforms values should be as before the run")

    def test_command_tail_is_passed_on_unchanged(self):
        # {long}: the patch folder's long path; {short}: the source folder.
        quoted_setup = '"{long}\\Setup.exe"'
        cases = [
            # (what, Setup.exe command line, text expected after "REINSTALL=ALL ")
            ("no tail", quoted_setup, ""),
            ("blanks only", quoted_setup + "   ", ""),
            ("leading blanks skipped", quoted_setup + "   /qb", "/qb"),
            ("tab before the tail", quoted_setup + "\t/qb", "/qb"),
            ("trailing blanks kept", quoted_setup + " /qn  ", "/qn  "),
            ("inner blanks kept", quoted_setup + " /qn   /l*v  log.txt", "/qn   /l*v  log.txt"),
            ("quoted property", quoted_setup + ' /qn PROP="a b" X=""', '/qn PROP="a b" X=""'),
            ("unquoted program name", "{short}Setup.exe /qn", "/qn"),
            # Text in the ANSI code page: Windows-1252 by default, 932 in Japanese.
            ("Western text", quoted_setup + ' /qn NAME="Ärger € ß"', '/qn NAME="Ärger € ß"'),
            ("Japanese text", quoted_setup + ' /qn NAME="日本語 テスト"', '/qn NAME="日本語 テスト"', "ja_JP.UTF-8"),
            # Text outside it: Windows-1252 has no "Ł" or "ź".
            ("text outside the code page", quoted_setup + " /qn TARGETDIR=C:\\Łódź", "/qn TARGETDIR=C:\\Łódź",
             "de_DE.UTF-8"),
        ]
        for what, command_line, expected_tail, *locale in cases:
            with self.subTest(what), self.patch_folder("Patch Files") as folder:
                if locale and not harness.locale_installed(locale[0]):
                    self.skipTest(f"locale {locale[0]} is not installed, so Wine cannot take that code page")
                source = self.source_folder(folder)
                line = command_line.format(long=folder.windows_path, short=source)
                run = self.prefix.run_setup(folder, command_line=line,
                                            extra_env={"LC_ALL": locale[0]} if locale else None)
                record = self.only_record(run)
                self.assert_installer_line(
                    record, f" /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL {expected_tail}")

    def test_patch_path_is_quoted_only_when_the_shell_would_split_it(self):
        cases = [
            # (patch file name, quoted?)
            ("Hostrel_Update.msp", False),
            ("Hostrel Update.msp", True),
            ("a&b Hostrel.msp", True),
            ("a&msiexec Hostrel.msp", True),  # unquoted, cmd would start the installer twice
            ("x^y.msp", True),                 # unquoted, cmd would drop the caret
            ("Hostrel-Update_1.2.msp", False),
        ]
        for name, quoted in cases:
            with self.subTest(name), self.patch_folder("Patch Files", {"Files\\" + name: b""}) as folder:
                run = self.prefix.run_setup(folder, "/qn")
                source = self.source_folder(folder)
                path = f"{source}Files\\{name}"
                if quoted:
                    path = f'"{path}"'
                record = self.only_record(run)
                self.assert_installer_line(record, f" /p {path} REINSTALL=ALL /qn")

    def test_interpreter_operators_reach_the_installer_as_given(self):
        # Unescaped, the interpreter would run "T", drop the caret, read a
        # file, start a pipe and create out.txt, and end with another status.
        tail = ('/qn COMPANY=AT&T X=1&hostname PASSWORD=Pa^ss X=a|b X=a<nofile X=a>out.txt '
                'NAME="Smith & Sons (UK)" Y=(z) "Q=a^b|c" R="open&')
        with self.patch_folder("Patch Files") as folder:
            run = self.prefix.run_setup(folder, tail, installer_exit=1603)
            source = self.source_folder(folder)
            self.assert_installer_line(self.only_record(run),
                                       f" /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL {tail}")
            self.assertEqual(1603, run.status, "Setup.exe should end with the installer's status")
            self.assertFalse(os.path.exists(folder.file("out.txt")), "the interpreter redirected output")

    def test_percent_in_the_patch_path_is_not_expanded(self):
        # "OS" is defined ("Windows_NT"), so an expanded path names another file.
        name = "Hostrel_%OS%.msp"
        with self.patch_folder("P%OS%", {"Files\\" + name: b""}) as folder:
            run = self.prefix.run_setup(folder, "/qn X=%OS%")
            source = self.source_folder(folder)
            self.assertIn("%OS%", source, "the folder's short form should keep its name")
            self.assert_installer_line(self.only_record(run),
                                       f" /p {source}Files\\{name} REINSTALL=ALL /qn X=Windows_NT")

    def test_variables_are_expanded_by_the_launcher_and_run_no_second_command(self):
        # Windows' interpreter would expand these before reading operators:
        # the value's "&" would start a second command, and the caret put
        # before a parenthesis would spoil the name. The launcher expands
        # them itself and hands the interpreter none.
        value = r"a&echo hi>C:\mq.txt"
        with self.patch_folder("Patch Files") as folder:
            run = self.prefix.run_setup(folder, r'X=%QV% DIR="%ProgramFiles(x86)%\Q" N=%NOPE%',
                                        extra_env={"QV": value})
            source = self.source_folder(folder)
            self.assert_installer_line(
                self.only_record(run),
                f' /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL X={value} '
                r'DIR="C:\Program Files (x86)\Q" N=%NOPE%')
            self.assertFalse(os.path.exists(os.path.join(self.prefix.drive_c, "mq.txt")),
                             "a second command ran")

    def test_random_tails_reach_the_installer_exactly(self):
        # A differential check of the escaping against Wine's interpreter:
        # operators, quotes, carets, percent signs around names no variable
        # has, blanks and letters, each tail through the real Setup.exe.
        seed = int(os.environ.get("SETUP_TAIL_SEED", "19"))
        pieces = ["&", "|", "<", ">", "^", "(", ")", '"', "%", "%xq%", "%kw zq%", " ", "  ", "x", "Yz", "=", "/"]
        generator = random.Random(seed)
        tails = ["a" + "".join(generator.choice(pieces) for _ in range(generator.randint(1, 14)))
                 for _ in range(30)]
        with self.patch_folder("Patch Files") as folder:
            source = self.source_folder(folder)
            for tail in tails:
                with self.subTest(tail=tail, seed=seed):
                    run = self.prefix.run_setup(folder, tail, installer_exit=1603)
                    self.assert_installer_line(self.only_record(run),
                                               f" /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL {tail}")
                    self.assertEqual(1603, run.status, "Setup.exe should end with the installer's status")

    def test_without_a_patch_file_the_installer_gets_the_bare_files_folder(self):
        cases = [
            ("empty Files folder", {}),
            ("no Files folder at all", None),
            ("only other files", {"Files\\Hostrel_Update.msi": b"", "Files\\readme.txt": b"x",
                                  "Hostrel_Update.msp": b""}),
        ]
        for what, files in cases:
            with self.subTest(what), self.patch_folder("Patch Files", files or {}) as folder:
                if files is None:
                    shutil.rmtree(folder.file("Files"))
                self.prefix.remove_run_logs()
                run = self.prefix.run_setup(folder, "/qn", installer_exit=1603)
                source = self.source_folder(folder)
                record = self.only_record(run)
                self.assert_installer_line(record, f" /p {source}Files\\ REINSTALL=ALL /qn")
                self.assertEqual(1603, run.status, "Setup.exe should return the installer's status")
                events = harness.read_run_log(self.prefix.run_logs()[0])
                # It names the folder Setup.exe is in, the one to start it in.
                preflight = [e for e in events if e.startswith("Pre-flight: no patch package")]
                self.assertEqual(1, len(preflight), f"one pre-flight line: {events!r}")
                self.assertRegex(preflight[0], re.escape(f"Pre-flight: no patch package (*.msp) in {source}Files\\; "
                                                         "the installer will fail. Setup.exe is in ") +
                                 r"[A-Za-z]:\\.*\\: start it with that folder as its current directory$")

    # ----- the source folder -----

    def test_source_folder_is_the_short_form_of_the_current_directory(self):
        for name in ("Patch", "Patch Files", "Customer Data\\Quarrix Patch 2", "Übergabe Patch"):
            with self.subTest(name), self.patch_folder(name) as folder:
                run = self.prefix.run_setup(folder, "")
                source = self.source_folder(folder)
                record = self.only_record(run)
                self.assert_installer_line(record, f" /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL ")
                self.assert_current_directory(record, source)

    def test_folder_whose_name_ends_in_a_backslash_byte_in_code_page_932(self):
        # In code page 932 "予" is 0x97 0x5C and "表" 0x95 0x5C: read narrow,
        # the path of this folder seems to end in a backslash.
        locale = "ja_JP.UTF-8"
        if not harness.locale_installed(locale):
            self.skipTest(f"locale {locale} is not installed, so Wine cannot take that code page")
        with self.patch_folder("予定表") as folder:
            run = self.prefix.run_setup(folder, "/qn", installer_exit=3010, record_keys=[HOSTREL_PRODUCT_KEY],
                                        extra_env={"LC_ALL": locale})
            record = self.only_record(run)
            source = self.source_folder(folder)
            self.assert_installer_line(record, f" /p {source}Files\\Hostrel_Update.msp REINSTALL=ALL /qn")
            self.assert_current_directory(record, source)
            transforms = harness.record_value(record, HOSTREL_PRODUCT_KEY, "Transforms")
            self.assertRegex(transforms or "", "^" + re.escape(source + "Files\\") + r"\d{4}\.mst$",
                             "while the installer runs, Transforms should name a transform in the folder's Files")
            self.assertEqual(3010, run.status, "Setup.exe status when the installer succeeds")
            self.assertEqual({"Transforms": None, "TransformsBackup": None},
                             self.prefix.read_values(HOSTREL_PRODUCT_KEY),
                             "the product's transforms values should be as before the run")

    # ----- exit status and waiting -----

    def test_exit_status_is_the_installers(self):
        for installer_exit in (0, 1, 1602, 1603, 1618, 3010, 0xC0000005):
            with self.subTest(installer_exit), self.patch_folder("Patch Files") as folder:
                run = self.prefix.run_setup(folder, "/qn", installer_exit=installer_exit)
                self.only_record(run)
                # The installer's 1 (ended by force, for one) would read as "a service runs".
                expected = 1603 if installer_exit == 1 else installer_exit
                self.assertEqual(expected, run.status, "Setup.exe status should be the installer's")

    def test_installers_still_active_ends_the_launcher_with_1603(self):
        # 259 is STILL_ACTIVE: a tool polling Setup.exe's exit status would wait for ever.
        self.prefix.remove_run_logs()
        with self.patch_folder("Patch Files") as folder, self.prefix.recorder_as_interpreter():
            run = self.prefix.run_setup(folder, "/qn", installer_exit=259)
        record = self.only_record(run)
        self.assertTrue(record["module"].lower().endswith("\\cmd.exe"),
                        f"the stand-in should run in the interpreter's place: {record['module']!r}")
        self.assertEqual(1603, run.status, "Setup.exe status for an installer's 259")
        events = harness.read_run_log(self.prefix.newest_run_log())
        self.assertIn("Installer ended with 259 (the installer ended with 259, STILL_ACTIVE", "\n".join(events))
        self.assertRegex(events[-1], r'^Summary: exit=1603 meaning="the installation failed" installer=259 ',
                         "the summary should keep the installer's own status")

    def test_setup_waits_for_the_installer(self):
        with self.patch_folder("Patch Files") as folder:
            running = self.prefix.start_setup(folder, "/qn", installer_exit=3010, hold=True)
            running.wait_for_installer()
            time.sleep(1.0)
            self.assertIsNone(running.process.poll(), "Setup.exe should still run while the installer runs")
            run = running.wait()
            self.assertEqual(3010, run.status, "Setup.exe status once the installer ended")

    # ----- the run log -----

    def test_a_missing_temporary_folder_sends_the_log_to_the_windows_folders_temp(self):
        windows_temp = self.prefix.resolve_windows_path("C:\\windows\\Temp")
        before = set(os.listdir(windows_temp))
        with self.patch_folder("Patch Files") as folder:
            # Wine takes TMP and TEMP from the registry, not from Linux: the interpreter sets them.
            run = self.prefix.run_setup(folder, command_line=(
                'C:\\windows\\system32\\cmd.exe /c set TMP=C:\\missing&& set TEMP=C:\\missing&& '
                f'"{folder.windows_path}\\Setup.exe" /qn'))
        self.assertEqual(0, run.status, "a run without its temporary folder is the same run")
        made = [name for name in os.listdir(windows_temp)
                if name not in before and harness.RUN_LOG_NAME.fullmatch(name)]
        self.assertEqual(1, len(made), f"one log in the Windows folder's Temp: {made!r}")
        path = os.path.join(windows_temp, made[0])
        try:
            events = harness.read_run_log(path)
        finally:
            os.remove(path)
        self.assertRegex(events[0], r"(?i)^Log folder: C:\\windows\\Temp\\ \(the temporary folder "
                                    r"C:\\missing\\ could not take the log: 3 \(path not found\)\)$")
        self.assertRegex(events[-1], r"^Summary: exit=0 ")

    def test_run_log_names_product_installer_line_and_status_with_secrets_masked(self):
        packed_code = HOSTREL_PRODUCT_KEY.rsplit("\\", 1)[1]
        # Secrets bare and in a quoted word; "Łódź" is outside the Western code page.
        tail = '/qn ADMINPASSWORD=hunter2 "SERVICE_TOKEN=x9 y8z" NAME=Łódź'
        secrets = ("hunter2", "x9 y8z")
        for installer_exit, meaning in ((0, "success"), (1603, "the installation failed")):
            with self.subTest(installer_exit), self.patch_folder("Übergabe Patch") as folder:
                self.prefix.remove_run_logs()
                run = self.prefix.run_setup(folder, tail, installer_exit=installer_exit)
                record = self.only_record(run)
                self.assertTrue(record["command_line"].endswith(" REINSTALL=ALL " + tail),
                                f"the installer should get the secrets unmasked: {record['command_line']!r}")
                logs = self.prefix.run_logs()
                self.assertEqual(1, len(logs), f"one run should leave one log in {self.prefix.temp_folder()}")
                events = harness.read_run_log(logs[0])
                text = "\n".join(events)
                for secret in secrets:
                    self.assertNotIn(secret, text, "a secret property's value should be masked in the log")
                self.assertIn("C:\\Übergabe Patch\\", text, "the patch folder's long name, in UTF-8")
                self.assertRegex(text, rf"(?m)^Product: row 8 \(Hostrel, {packed_code}\), ",
                                 "the log should name the product row")
                installer_lines = [e for e in events if e.startswith("Installer command line: ")]
                self.assertEqual(1, len(installer_lines), f"one installer command line in {events!r}")
                shown_before_tail = (f"Installer command line: {record['system_directory']}\\cmd.exe /D /E:ON /V:OFF /C "
                                     + record["command_line"][:-len(tail)])
                self.assertEqual(shown_before_tail, installer_lines[0][:len(shown_before_tail)],
                                 "the logged installer command line should be the one started")
                self.assertRegex(installer_lines[0][len(shown_before_tail):],
                                 r'^/qn ADMINPASSWORD=\*{8} "?SERVICE_TOKEN=\*{8}"? NAME=Łódź$',
                                 "the logged tail should have its secret values masked, all else kept")
                self.assertIn(f"Installer ended with {installer_exit} ({meaning})", events)
                self.assertRegex(events[-1], rf'^Summary: exit={installer_exit} meaning="{meaning}" '
                                             rf'installer={installer_exit} product=8 name=Hostrel '
                                             rf'code={packed_code} registered=yes patch="Hostrel_Update.msp" redirected=yes '
                                             r'warnings=transform-missing duration_ms=\d+$',
                                 "the last line should be the summary")
                self.assertRegex(events[-2], rf"^Setup ends with exit status {installer_exit} \({meaning}\) "
                                             r"after \d+ ms$", "the last line should be the exit status")
                self.assertEqual(installer_exit, run.status)


if __name__ == "__main__":
    unittest.main()
