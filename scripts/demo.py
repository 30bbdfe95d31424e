"""The launcher's main job, shown under Wine: a product registered in German,
a patch folder with its language transforms, one run of Setup.exe, and the
product's registration before, during and after the patch."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "wine"))
import harness  # noqa: E402

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


def main():
    artifacts = harness.Artifacts.locate(sys.argv[1] if len(sys.argv) > 1 else None)
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


if __name__ == "__main__":
    sys.exit(main())
