"""The sample product and its patches, for runs against Wine's own installer.

The product (tools/sample_product) is Quarrix Hostrel 1.0.0, row 2 of the
launcher's product table; patches are made with tools/make_patch.py. Both are
built at run time, in a work folder, with wixl and msiinfo.
"""
import os
import re
import shutil
import subprocess
import tempfile
import uuid

REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(REPOSITORY, "tools")

PRODUCT_CODE = "{683DF0C8-E946-49D9-A28A-54BB3A1A24B0}"
PRODUCT_KEY = r"Installer\Products\8C0FD386649E9D942AA845BBA3A1420B"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall" + "\\" + PRODUCT_CODE
INSTALLED_FILE = r"C:\Program Files (x86)\Quarrix\Hostrel\version.txt"
PACKAGE_WINDOWS = r"C:\e2eproduct\product.msi"


def packed(guid):
    """The installer's packed form of a GUID, as under HKCR\\Installer."""
    g = guid.strip("{}").replace("-", "").upper()
    return g[7::-1] + g[11:7:-1] + g[15:11:-1] + "".join(g[i + 1] + g[i] for i in range(16, 32, 2))


class Builder:
    """Builds the product package once and patches for it, in a work folder."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="setup-product-")
        self.package = os.path.join(self.folder, "product.msi")
        subprocess.run(["wixl", "-o", self.package, os.path.join(TOOLS, "sample_product", "product.wxs")],
                       check=True, timeout=120, stdout=subprocess.DEVNULL)

    def patch(self, version, text=None, patch_code=None, package=None):
        """Bytes of a patch that makes version.txt read `text` (default
        "Hostrel <version>") and the product version `version`; a new patch
        code unless given. `package` makes it for another package (.msi path)."""
        patch_code = patch_code or "{" + str(uuid.uuid4()).upper() + "}"
        contents = os.path.join(self.folder, f"version-{version}.txt")
        with open(contents, "w", encoding="ascii", newline="\r\n") as out:
            out.write((text or f"Hostrel {version}") + "\n")
        output = os.path.join(self.folder, f"Hostrel_{version}-{uuid.uuid4().hex}.msp")
        subprocess.run([os.environ.get("PYTHON", "python3"), os.path.join(TOOLS, "make_patch.py"),
                        "--package", package or self.package, "--replace", f"version.txt={contents}",
                        "--product-version", version, "--patch-code", patch_code, "-o", output],
                       check=True, timeout=120, stdout=subprocess.DEVNULL)
        with open(output, "rb") as source:
            return source.read()

    def other_product_package(self):
        """A package like the product's but with another product code: a
        patch made for it targets a product that is not installed."""
        with open(os.path.join(TOOLS, "sample_product", "product.wxs"), encoding="utf-8") as source:
            text = source.read()
        other = re.sub(re.escape(PRODUCT_CODE), "{" + str(uuid.uuid4()).upper() + "}", text, flags=re.I)
        source_path = os.path.join(self.folder, "other.wxs")
        with open(source_path, "w", encoding="utf-8") as out:
            out.write(other)
        # wixl finds the product's files beside its source.
        for name in os.listdir(os.path.join(TOOLS, "sample_product")):
            if not name.endswith(".wxs"):
                shutil.copy(os.path.join(TOOLS, "sample_product", name), self.folder)
        package = os.path.join(self.folder, "other.msi")
        subprocess.run(["wixl", "-o", package, source_path], check=True, timeout=120,
                       stdout=subprocess.DEVNULL, cwd=self.folder)
        return package

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def install(prefix, builder):
    """Installs the product with Wine's own msiexec; returns its exit code."""
    os.makedirs(os.path.dirname(prefix.linux_path(PACKAGE_WINDOWS)), exist_ok=True)
    shutil.copyfile(builder.package, prefix.linux_path(PACKAGE_WINDOWS))
    code, _ = prefix.wine(["msiexec", "/i", PACKAGE_WINDOWS, "/qn"], check=False, timeout=180)
    return code


def uninstall(prefix):
    """Uninstalls the product, its patches with it, with Wine's own msiexec;
    returns its exit code (low 8 bits)."""
    code, _ = prefix.wine(["msiexec", "/x", PRODUCT_CODE, "/qn"], check=False, timeout=180)
    return code


def installed_text(prefix):
    """The installed file's text, or None when it is not there."""
    try:
        with open(prefix.linux_path(INSTALLED_FILE), encoding="ascii") as source:
            return source.read().strip()
    except FileNotFoundError:
        return None


def _reg_query(prefix, key, name, view):
    code, output = prefix.wine(["reg", "query", key, "/v", name, f"/reg:{view}"], check=False)
    if code != 0:
        return None
    for line in output.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0].lower() == name.lower():
            return parts[2].strip()
    return None


def installed_version(prefix):
    """DisplayVersion under the product's Uninstall key, or None."""
    return _reg_query(prefix, UNINSTALL_KEY, "DisplayVersion", 32)


def registered_patches(prefix):
    """The packed patch codes listed under the product's Patches key."""
    code, output = prefix.wine(["reg", "query", "HKCR\\" + PRODUCT_KEY + "\\Patches"], check=False)
    if code != 0:
        return []
    own = PRODUCT_KEY.rsplit("\\", 1)[-1]
    return sorted({m.group(0) for m in re.finditer(r"\b[0-9A-F]{32}\b", output)} - {own})
