"""The launcher's main job, shown under Wine.

By default for real: the sample product installed by Wine's own msiexec and
registered in German, a real patch made for it, a patch folder laid out as
one ships, one unattended run of Setup.exe, the product before and after, and the
deployment kit (tools/make_deploy_kit.py) for that patch folder.
With --recorder, a recording stand-in takes the installer's place instead, to
show the product's registration while the installer runs (Wine's installer
ignores Transforms, so only the stand-in can show that it was redirected)."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "wine"))
import harness  # noqa: E402
import real_product  # noqa: E402

KIT = os.path.join(os.path.dirname(__file__), "..", "tools", "make_deploy_kit.py")
PRODUCT_KEY = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"  # Quarrix Hostrel
TAIL = "/qn REBOOT=ReallySuppress"


def installer_database():
    """The bytes of a small installer database that is no language pack."""
    with tempfile.TemporaryDirectory() as folder:
        table = os.path.join(folder, "Property.idt")
        with open(table, "w", encoding="ascii", newline="\r\n") as idt:
            idt.write("Property\tValue\ns72\tl0\nProperty\tProperty\nProductName\tQuarrix Hostrel 8\n")
        database = os.path.join(folder, "Hostrel.msi")
        subprocess.run(["msibuild", database, "-i", table], check=True, timeout=60)
        with open(database, "rb") as source:
            return source.read()


def show(title, values):
    print(f"  {title:<7} " + ", ".join(
        f"{name} = {'(absent)' if text is None else chr(39) + text + chr(39)}" for name, text in values.items()))


def show_kit(folder):
    """The deployment kit for the patch folder, file by file."""
    with tempfile.TemporaryDirectory() as kit:
        run = subprocess.run([sys.executable, KIT, folder, "-o", kit], capture_output=True,
                             text=True, timeout=120)
        if run.returncode != 0:
            print(f"No deployment kit: {run.stderr.strip()}")
            return 1
        print("Deployment kit for the patch folder (tools/make_deploy_kit.py):")
        for name in ("command-line.txt", "detect.ps1", "requirement.ps1", "deploy.yml",
                     "return-codes.md"):
            print(f"--- {name}")
            with open(os.path.join(kit, name), encoding="utf-8") as text:
                print(text.read().rstrip("\n"))
    return 0


def real_demo(artifacts):
    builder = real_product.Builder()
    try:
        patch = builder.patch("1.0.1")
        with harness.WinePrefix(artifacts, real_installer=True) as prefix:
            print("Installing Quarrix Hostrel 1.0.0 with Wine's own msiexec...")
            status = real_product.install(prefix, builder)
            if status != 0:
                print(f"The product could not be installed (msiexec ended with {status}).")
                return 1
            prefix.set_values(PRODUCT_KEY, {"Transforms": ":1031.mst"})
            prefix.remove_run_logs()
            folder = prefix.make_patch_folder("Patch Files", {"Files\\Hostrel_Update.msp": patch,
                                                              "Files\\1031.mst": b"", "Files\\1033.mst": b""})
            print(f"Patch folder: {folder.windows_path} (Setup.exe, Files\\Hostrel_Update.msp, "
                  f"Files\\1031.mst, Files\\1033.mst); running Setup.exe {TAIL}")
            before = (real_product.installed_text(prefix), real_product.installed_version(prefix),
                      prefix.read_values(PRODUCT_KEY))
            run = prefix.run_setup(folder, TAIL)
            after = (real_product.installed_text(prefix), real_product.installed_version(prefix),
                     prefix.read_values(PRODUCT_KEY))
            print(f"Installed file {real_product.INSTALLED_FILE}:")
            print(f"  before  '{before[0]}'\n  after   '{after[0]}'")
            print(f"Product version (DisplayVersion): before {before[1]}, after {after[1]}")
            patches = real_product.registered_patches(prefix)
            print("Patches registered for the product: " + (", ".join(patches) or "(none)"))
            print(f"Product registration HKCR\\{PRODUCT_KEY}:")
            show("before", before[2])
            show("after", after[2])
            print(f"Setup.exe exit status: {run.status}")
            log = prefix.newest_run_log()
            print(f"Setup.exe's log: {prefix.windows_path(log) if log else '(none found)'}")
            if log:
                with open(log, encoding="utf-8") as lines:
                    for line in lines:
                        print("  " + line.rstrip("\r\n"))
            kit = show_kit(folder.linux_path)
            return 0 if run.status == 0 and after[0] != before[0] and kit == 0 else 1
    finally:
        builder.remove()


def recorder_demo(artifacts):
    files = {
        "Files\\Hostrel_Update.msp": b"",
        "Files\\1031.mst": b"",
        "Files\\1033.mst": b"",
        "Hostrel.msi": installer_database(),
    }
    with harness.WinePrefix(artifacts) as prefix:
        prefix.set_values(PRODUCT_KEY, {"Transforms": ":1031.mst"})
        folder = prefix.make_patch_folder("Patch Files", files)
        print(f"Patch folder: {folder.windows_path}; Setup.exe {TAIL}")
        print(f"Product registration HKCR\\{PRODUCT_KEY}:")
        show("before", prefix.read_values(PRODUCT_KEY))
        run = prefix.run_setup(folder, TAIL, record_keys=[PRODUCT_KEY])
        if run.records:
            record = run.records[0]
            show("during", {name: harness.record_value(record, PRODUCT_KEY, name)
                            for name in harness.TRANSFORM_VALUES})
        show("after", prefix.read_values(PRODUCT_KEY))
        if run.records:
            print(f"Installer command line: {run.records[0]['command_line']}")
            print(f"Installer current directory: {run.records[0]['current_directory']}")
        else:
            print("The installer was not started.")
        print(f"Setup.exe exit status: {run.status}")
    return 0


def main():
    arguments = [a for a in sys.argv[1:] if a != "--recorder"]
    artifacts = harness.Artifacts.locate(arguments[0] if arguments else None)
    if "--recorder" in sys.argv[1:]:
        return recorder_demo(artifacts)
    return real_demo(artifacts)


if __name__ == "__main__":
    sys.exit(main())
