#!/usr/bin/env python3
"""Make a Windows Installer patch (.msp) that replaces unversioned files of an installed
product and raises its product version.

The patch holds two transforms, ":T1" (the product's own tables: File, MsiFileHash,
Property) and ":#T1" (the patch's media: a Media row and a PatchPackage row), a cabinet
with the new files, and a database of its own with its MsiPatchSequence row. Patches made
from the same shipped package stack: the disk id, the cabinet stream name and the file
sequence numbers come from the version patched to, so a later version's files sort after
an earlier patch's.

Maintained libraries do what they can, through GObject introspection: msiinfo (msitools)
reads the package, libgcab reads and writes cabinets, libmsi writes the patch's own tables
and libgsf writes the compound file. No library writes transforms, so their rows, string
pools and summary information are written here.
"""

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid

PATCH_CLSID = uuid.UUID("000C1086-0000-0000-C000-000000000046")
TRANSFORM_CLSID = uuid.UUID("000C1082-0000-0000-C000-000000000046")
SUMMARY_FMTID = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9")
SUMMARY_STREAM = "\x05SummaryInformation"
TRANSFORMS = ("T1", "#T1")
# The installer sets this property to the patch's path while it installs from the patch.
MEDIA_SOURCE_PROPERTY = "PATCH_SOURCE"
# Wine reads the low word of this as the validation flags: 0x0007 asks for the product
# code and language (platform is not checked); 0x08 and 0x10 would compare product
# versions, and 0x20 and above make it skip the transform without a word. The high word
# holds the flags other installers read for a patch's transforms.
TRANSFORM_FLAGS = 0x09220007
# Wine moves the media of each patch it applies to disk ids from 30000 and, when the
# media's LastSequence is below 10000, to sequences from 10000 in the order it applies
# the patches; a file of a later patch would then be looked for on the first patch's
# media. Sequence numbers from 10000 up are kept, so patches number their files there.
MAX_DISK_ID = 29999
SEQUENCE_BASE = 10000
COLUMN_LIMITS = {"i2": 0x7FFF, "i4": 0x7FFFFFFF}
# The installer packs a product version into 32 bits: 8 for major, 8 for minor, 16 for build.
VERSION_LIMITS = (255, 255, 65535)
# Debian's GObject bindings (python3-gi) are built for Debian's own interpreter.
SYSTEM_PYTHON = "/usr/bin/python3"
BINDINGS_PACKAGES = "python3-gi, gir1.2-gcab-1.0, gir1.2-gsf-1 and gir1.2-libmsi-1.0"
# The launcher's product table (src/detection/product_identification.cpp), in its order: the packed
# product code and the keyword it tells the product by in the patch file's name, letter case
# included; without a keyword it applies the patch unredirected. Must match the table.
PRODUCT_TABLE = (
    ("382F6AFF466673E4C9EE82C5C18519A1", "Tessel"),
    ("C428D535F8388D649881B4C01D2448AA", "Wrenfield"),
    ("8C0FD386649E9D942AA845BBA3A1420B", "Hostrel"),
    ("01BA1CD1DB921174CA757927C79DD590", "Ostra"),
    ("C31C5E48B5359B54A94F13A98BE5C40E", "Loomwork"),
    ("E9F771EAEB8D25642BA165150C621274", "Tessel"),
    ("CFEC5A5C742AD604485FA193EF4D3624", "Brisant"),
    ("EAADFC3A3A6E6484DA423B5CBD6BF02C", "Loomwork"),
    ("E359D2F96F56DF147AD77D973394339F", "Hostrel"),
)
PRODUCT_KEYWORDS = tuple(dict.fromkeys(keyword for _, keyword in PRODUCT_TABLE))
# Every time the patch records (summary information, cabinet file dates) is this one, so
# that the same inputs give the same bytes: SOURCE_DATE_EPOCH when set, else 1980-01-01
# 00:00 UTC, the earliest date a cabinet can hold.
DEFAULT_EPOCH = 315532800
# A cabinet's dates run from 1980 to 2107 (seven bits of years).
CABINET_EPOCHS = (DEFAULT_EPOCH, 4354819199)

TABLES_NEEDED = {
    "Property": "the product code and version",
    "File": "the files to replace",
    "Media": "the package's cabinets",
    "MsiFileHash": "telling the installer an unversioned file changed",
}


class TargetError(Exception):
    """The package or the request is something this tool cannot make a patch of."""


class Bindings:
    """libgcab, libgsf and libmsi, loaded once."""

    def __init__(self):
        try:
            import gi
            for name, version in (("GCab", "1.0"), ("Gsf", "1"), ("Libmsi", "1.0")):
                gi.require_version(name, version)
            from gi.repository import GCab, Gio, GLib, Gsf, Libmsi
        except (ImportError, ValueError) as e:
            raise TargetError(f"cannot load the libraries this tool uses ({e}); "
                              f"install {BINDINGS_PACKAGES}")
        self.GCab, self.Gio, self.GLib, self.Gsf, self.Libmsi = GCab, Gio, GLib, Gsf, Libmsi


# ---------------------------------------------------------------- the target package


class Table:
    def __init__(self, name, columns, types, keys, rows=()):
        self.name, self.columns, self.types, self.keys = name, columns, types, keys
        self.rows = list(rows)


# Tables a patch may add, described as msiinfo would export them.
PATCH_PACKAGE = Table("PatchPackage", ["PatchId", "Media_"],
                      {"PatchId": "s38", "Media_": "i2"}, ["PatchId"])
TABLES_TABLE = Table("_Tables", ["Name"], {"Name": "s64"}, ["Name"])
COLUMNS_TABLE = Table("_Columns", ["Table", "Number", "Name", "Type"],
                      {"Table": "s64", "Number": "i2", "Name": "s64", "Type": "i2"},
                      ["Table", "Number"])
# Column type words as the installer stores them in _Columns.
COLUMN_TYPE_WORDS = {("s38", True): 0x2D26, ("i2", False): 0x0502}


def msiinfo(*args):
    try:
        run = subprocess.run(["msiinfo", *args], capture_output=True)
    except FileNotFoundError:
        raise TargetError("msiinfo is not installed (Debian package msitools)")
    if run.returncode != 0:
        # Its messages come as GLib warnings: "** (msiinfo:42): WARNING **: 10:00:00.000: text".
        why = [re.sub(r"^\*\*.*?\*\*: [\d:.]+: ", "", l)
               for l in run.stderr.decode("utf-8", "replace").splitlines() if l.strip()]
        raise TargetError(f"msiinfo {args[0]} {args[1]} failed"
                          + (f": {why[0]}" if why else ""))
    return run.stdout


def export_table(package, name):
    text = msiinfo("export", package, name).decode("utf-8").rstrip("\0")
    lines = text.split("\r\n")
    columns, codes, head = (l.split("\t") for l in lines[:3])
    table = Table(name, columns, dict(zip(columns, codes)), head[1:])
    for line in lines[3:]:
        if not line:
            continue
        row = {}
        for col, value in zip(columns, line.split("\t")):
            if table.types[col][0] in "iI":
                value = int(value) if value else None
            row[col] = value
        table.rows.append(row)
    return table


class Package:
    def __init__(self, path, lib):
        if not os.path.isfile(path):
            raise TargetError(f"{path}: no such package")
        self.path, self.lib = path, lib
        tables = set(msiinfo("tables", path).decode("utf-8").split())
        for name, why in TABLES_NEEDED.items():
            if name not in tables:
                raise TargetError(f"{path} has no {name} table, which a patch needs for {why}")
        self.has_patch_package = "PatchPackage" in tables
        self.tables = {name: export_table(path, name) for name in TABLES_NEEDED}
        self.properties = {r["Property"]: r["Value"] for r in self.tables["Property"].rows}
        # The transforms name all three; Wine skips a transform that lacks one.
        for name in ("ProductCode", "ProductVersion", "UpgradeCode"):
            if not self.properties.get(name):
                raise TargetError(f"{path} has no {name} property, which a patch names")
        self.codepage = 0
        if "_ForceCodepage" in tables:
            for line in export_table_text(path, "_ForceCodepage"):
                if line.endswith("\t_ForceCodepage"):
                    self.codepage = int(line.split("\t")[0] or 0)
        summary = msiinfo("suminfo", path).decode("utf-8", "replace")
        found = re.search(r"^Template: (.*)$", summary, re.M)
        self.template = (found.group(1).strip() if found else
                         "Intel;" + self.properties.get("ProductLanguage", "0"))
        self._cabinets = {}

    def find_file(self, name):
        files = self.tables["File"].rows
        rows = [r for r in files if r["File"] == name] or \
               [r for r in files if r["FileName"].split("|")[-1].lower() == name.lower()]
        if not rows:
            raise TargetError(f"{name} is not a file of {self.path} "
                              f"(its files: {', '.join(r['File'] for r in files)})")
        if len(rows) > 1:
            raise TargetError(f"{name} names several files of {self.path} "
                              f"({', '.join(r['File'] for r in rows)}); give the File key")
        row = rows[0]
        if row["Version"]:
            raise TargetError(f"{row['File']} is a versioned file (Version {row['Version']}); "
                              "only unversioned files can be replaced")
        return row

    def original(self, row):
        """The file's contents as the package installs them, from its cabinet."""
        media = sorted(self.tables["Media"].rows, key=lambda m: m["DiskId"])
        media = [m for m in media if (m["LastSequence"] or 0) >= row["Sequence"]]
        cabinet = media[0]["Cabinet"] if media else None
        if not cabinet:
            raise TargetError(f"{row['File']} is not in a cabinet of {self.path}; "
                              "packages with loose source files are not supported")
        if cabinet not in self._cabinets:
            if cabinet.startswith("#"):
                data = msiinfo("extract", self.path, cabinet[1:])
            else:
                beside = os.path.join(os.path.dirname(os.path.abspath(self.path)), cabinet)
                try:
                    with open(beside, "rb") as f:
                        data = f.read()
                except OSError as e:
                    raise TargetError(f"cannot read cabinet {cabinet}: {e.strerror}")
            self._cabinets[cabinet] = read_cab(self.lib, data, cabinet)
        contents = self._cabinets[cabinet].get(row["File"])
        if contents is None:
            raise TargetError(f"{row['File']} is not in cabinet {cabinet}")
        return contents


def export_table_text(package, name):
    return msiinfo("export", package, name).decode("utf-8").rstrip("\0").split("\r\n")


# ---------------------------------------------------------------- cabinets (libgcab)


def read_cab(lib, data, label):
    """{name: contents} of a cabinet, as libgcab extracts it."""
    cabinet = lib.GCab.Cabinet.new()
    try:
        cabinet.load(lib.Gio.MemoryInputStream.new_from_bytes(lib.GLib.Bytes.new(data)), None)
        # Without a folder to extract to, libgcab keeps each file's contents in memory.
        cabinet.extract(None, None, None, None)
    except lib.GLib.Error as e:
        raise TargetError(f"cannot read cabinet {label}: {e.message}")
    return {f.get_name(): bytes(f.get_bytes().get_data() or b"")
            for folder in cabinet.get_folders() for f in folder.get_files()}


def write_cab(lib, files, epoch):
    """An uncompressed cabinet of [(name, contents)] in one folder, every file dated epoch."""
    folder = lib.GCab.Folder.new(lib.GCab.Compression.NONE)
    # A cabinet holds a date without a zone: the UTC one keeps the bytes independent of TZ.
    when = lib.GLib.DateTime.new_from_unix_utc(min(max(epoch, CABINET_EPOCHS[0]),
                                                   CABINET_EPOCHS[1]))
    for name, contents in files:
        entry = lib.GCab.File.new_with_bytes(name, lib.GLib.Bytes.new(contents))
        entry.set_date_time(when)
        folder.add_file(entry, False)
    cabinet = lib.GCab.Cabinet.new()
    out = lib.Gio.MemoryOutputStream.new_resizable()
    try:
        cabinet.add_folder(folder)
        cabinet.write_simple(out, None, None, None)
        out.close(None)
    except lib.GLib.Error as e:
        raise TargetError(f"cannot write the patch's cabinet: {e.message}")
    return bytes(out.steal_as_bytes().get_data())


# ---------------------------------------------------------------- installer storage formats

# ---------------------------------------------------------------- installer storage formats

NAME_CHARS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def stream_name(name, table=False):
    """The installer's compound-file name for a table (table=True) or a stream:
    two name characters packed into one UTF-16 unit where they are in NAME_CHARS."""
    out, i = ["\u4840"] if table else [], 0
    while i < len(name):
        first = NAME_CHARS.find(name[i])
        if first < 0:
            out.append(name[i])
            i += 1
            continue
        second = NAME_CHARS.find(name[i + 1]) if i + 1 < len(name) else -1
        if second < 0:
            out.append(chr(0x4800 + first))
            i += 1
        else:
            out.append(chr(0x3800 + first + (second << 6)))
            i += 2
    if len(out) > 31:
        raise TargetError(f"{name}: name too long for a compound file")
    return "".join(out)


def codec(codepage):
    return {0: "ascii", 65001: "utf-8"}.get(codepage, f"cp{codepage}")


class StringPool:
    """A database's (or transform's) shared strings: _StringPool and _StringData."""

    def __init__(self, codepage):
        self.codepage, self.ids, self.strings = codepage, {}, []

    def ref(self, text):
        if not text:
            return 0
        if text not in self.ids:
            self.strings.append([text, 0])
            self.ids[text] = len(self.strings)
        self.strings[self.ids[text] - 1][1] += 1
        return self.ids[text]

    def streams(self):
        pool = struct.pack("<HH", self.codepage & 0xFFFF, self.codepage >> 16)
        data = bytearray()
        for text, refs in self.strings:
            try:
                encoded = text.encode(codec(self.codepage))
            except (UnicodeEncodeError, LookupError):
                raise TargetError(f'"{text}" cannot be written in the package code page '
                                  f"{self.codepage}")
            if len(encoded) > 0xFFFF:
                raise TargetError(f"a string of {len(encoded)} bytes is too long for this tool")
            pool += struct.pack("<HH", len(encoded), refs)
            data += encoded
        return bytes(pool), bytes(data)


def filetime(seconds):
    return int((seconds + 11644473600) * 10_000_000)


def summary_stream(props, codepage=1252):
    """A SummaryInformation property set. props: pid -> str, ("i2"|"i4", n) or ("time", s)."""
    values = {1: ("i2", codepage), **props}
    table, data = bytearray(), bytearray()
    base = 8 + 8 * len(values)
    for pid in sorted(values):
        value = values[pid]
        table += struct.pack("<II", pid, base + len(data))
        if isinstance(value, str):
            text = value.encode(codec(codepage), "replace") + b"\0"
            data += struct.pack("<II", 30, len(text)) + text + bytes(-len(text) % 4)
        elif value[0] == "i2":
            data += struct.pack("<IhH", 2, value[1], 0)
        elif value[0] == "i4":
            data += struct.pack("<Ii", 3, value[1])
        else:
            data += struct.pack("<IQ", 64, filetime(value[1]))
    section = struct.pack("<II", base + len(data), len(values)) + table + data
    head = struct.pack("<HHI16sI", 0xFFFE, 0, 0x00020006, bytes(16), 1)
    return head + SUMMARY_FMTID.bytes_le + struct.pack("<I", 48) + section


class Transform:
    """The table streams of one transform, rows in the installer's transform format."""

    def __init__(self, codepage):
        self.pool = StringPool(codepage)
        self.tables = {}

    def row(self, table, values, insert=False):
        """Change the row whose keys are in values (only the other columns given), or
        with insert=True add a whole row."""
        if insert:
            mask, present = len(table.columns) << 8 | 1, table.columns
        else:
            mask = 0
            for i, col in enumerate(table.columns):
                if col in values and col not in table.keys:
                    mask |= 1 << i
            # The low bit would mean a whole row; the mask has 16 bits; 0 would delete.
            assert mask and not mask & 1 and mask < 0x10000, (table.name, values)
            present = [c for i, c in enumerate(table.columns)
                       if c in table.keys or mask >> i & 1]
        out = bytearray(struct.pack("<H", mask))
        for col in present:
            value, code = values.get(col), table.types[col].lower()
            if code[0] in "sl":
                out += struct.pack("<H", self.pool.ref(value))
            elif code == "i2":
                out += struct.pack("<H", 0 if value is None else (value + 0x8000) & 0xFFFF)
            elif code == "i4":
                out += struct.pack("<I", 0 if value is None else (value & 0xFFFFFFFF) ^ 0x80000000)
            else:
                raise TargetError(f"{table.name}.{col} has type {code}, which this tool cannot write")
        self.tables.setdefault(table.name, bytearray()).extend(out)

    def add_table(self, table):
        self.row(TABLES_TABLE, {"Name": table.name}, insert=True)
        for number, col in enumerate(table.columns, 1):
            word = COLUMN_TYPE_WORDS[(table.types[col], col in table.keys)]
            self.row(COLUMNS_TABLE, {"Table": table.name, "Number": number, "Name": col,
                                     "Type": word}, insert=True)

    def storage(self, summary):
        pool, data = self.pool.streams()
        streams = {SUMMARY_STREAM: summary, stream_name("_StringPool", True): pool,
                   stream_name("_StringData", True): data}
        for name, rows in self.tables.items():
            streams[stream_name(name, True)] = bytes(rows)
        return Storage(TRANSFORM_CLSID, streams)



# ---------------------------------------------------------------- compound file (libgsf)


class Storage:
    def __init__(self, clsid=None, items=None):
        self.clsid, self.items = clsid, dict(items or {})


def write_compound_file(lib, path, root, name):
    """Writes root (a Storage of streams and storages) as a compound file of 512-byte sectors;
    messages call the file name."""
    sink = lib.Gsf.OutputStdio.new(path)
    outfile = lib.Gsf.OutfileMSOle.new_full(sink, 512, 64)

    def fill(storage, node):
        if storage.clsid:
            node.set_class_id(storage.clsid.bytes_le)
        for name, item in storage.items.items():
            child = node.new_child(name, isinstance(item, Storage))
            if isinstance(item, Storage):
                fill(item, child)
            elif item and not child.write(item):
                raise TargetError(f"cannot write {name}")
            child.close()

    fill(root, outfile)
    if not outfile.close():
        raise TargetError(f"cannot write {name}")


def reason(message, folder):
    """": why" of a library's message, without the names inside the tool's own folder:
    they mean nothing to the user and are gone when the message is read."""
    if folder in message:
        message = message.rpartition(folder)[2].partition(": ")[2]
    return f": {message}" if message else ""


def write_patch(lib, root, output):
    """Writes root to output whole or not at all: the work goes on in a folder of its own
    beside output, so that the last step is a rename and no file of the user's is touched."""
    try:
        folder = tempfile.mkdtemp(prefix=".make_patch.", dir=os.path.dirname(output) or ".")
    except OSError as e:
        raise TargetError(f"cannot write {output}: {e.strerror}")
    try:
        temporary = os.path.join(folder, "patch.msp")
        write_compound_file(lib, temporary, root, output)
        os.replace(temporary, output)
    except OSError as e:
        raise TargetError(f"cannot write {output}: {e.strerror}")
    except lib.GLib.Error as e:
        raise TargetError(f"cannot write {output}" + reason(e.message, folder))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def patch_tables(lib, family, product_code, version):
    """The streams of the patch's own database, holding its MsiPatchSequence row, as libmsi
    writes them (string pool, _Tables, _Columns, the table)."""
    Libmsi, Gsf = lib.Libmsi, lib.Gsf
    step = "the patch's MsiPatchSequence table"
    try:
        work = tempfile.TemporaryDirectory(prefix="make_patch.")
    except OSError as e:
        raise TargetError(f"cannot make a folder for {step}: {e.strerror}")
    with work as folder:
        path = os.path.join(folder, "tables.msi")
        try:
            database = Libmsi.Database.new(path, Libmsi.DbFlags.CREATE, None)
            for sql in ("CREATE TABLE `MsiPatchSequence` (`PatchFamily` CHAR(72) NOT NULL, "
                        "`ProductCode` CHAR(38), `Sequence` CHAR(72) NOT NULL, `Attributes` "
                        "INT PRIMARY KEY `PatchFamily`, `ProductCode`)",
                        "INSERT INTO `MsiPatchSequence` (`PatchFamily`, `ProductCode`, "
                        f"`Sequence`) VALUES ('{family}', '{product_code}', '{version}')"):
                query = Libmsi.Query.new(database, sql)
                query.execute(None)
                query.close()
            database.commit()
            del database
            tables = Gsf.InfileMSOle.new(Gsf.InputStdio.new(path))
        except lib.GLib.Error as e:
            raise TargetError(f"cannot write {step}" + reason(e.message, folder))
        streams = {}
        for i in range(tables.num_children()):
            child = tables.child_by_index(i)
            size = child.props.size
            streams[tables.name_by_index(i)] = bytes(child.read(size)) if size else b""
        return streams


# ---------------------------------------------------------------- versions and numbering


def normal_guid(text):
    if not re.fullmatch(r"\{?[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}?", text) or \
            text.startswith("{") != text.endswith("}"):
        raise TargetError(f"{text} is not a GUID like {{12345678-9ABC-DEF0-1234-56789ABCDEF0}}")
    return "{" + text.strip("{}").upper() + "}"


def parse_version(text):
    """(major, minor, build) of a version X.Y.Z within the installer's limits, spelled the
    one way the patch writes it."""
    parts = text.split(".")
    # ASCII digits only: int() would take other scripts' digits as well.
    if len(parts) != 3 or not all(re.fullmatch(r"[0-9]+", p) for p in parts):
        raise TargetError(f"{text} is not a product version X.Y.Z")
    version = tuple(int(p) for p in parts)
    if any(v > limit for v, limit in zip(version, VERSION_LIMITS)):
        raise TargetError(f"{text} is above the installer's limits for a product version "
                          "(major and minor at most 255, build at most 65535)")
    # The numbering follows the version's value: 1.0.01 would share 1.0.1's sequence numbers
    # and cabinet stream while the two look like different versions.
    canonical = "%d.%d.%d" % version
    if text != canonical:
        raise TargetError(f"{text} has a leading zero; write {canonical}: the two are one "
                          "version, and patches to both would collide")
    return version


def package_version(text, path):
    """The first three fields of the package's ProductVersion: the installer ignores a fourth."""
    parts = text.split(".")
    if not 2 <= len(parts) <= 4 or not all(p.isdigit() for p in parts):
        raise TargetError(f"{path} has the ProductVersion {text}, which is not a version")
    return tuple(int(p) for p in (parts + ["0"])[:3])


def packed(version):
    return version[0] << 24 | version[1] << 16 | version[2]


def packed_code(guid):
    """The installer's packed form of a GUID, as the registry names products and patches:
    the first three groups' hex digits reversed, then each pair of the last 16 swapped."""
    digits = normal_guid(guid).strip("{}").replace("-", "")
    return (digits[7::-1] + digits[11:7:-1] + digits[15:11:-1] +
            "".join(digits[i + 1] + digits[i] for i in range(16, 32, 2)))


def source_date_epoch(environ=None):
    """The time the patch records, in seconds since 1970 (UTC)."""
    text = (os.environ if environ is None else environ).get("SOURCE_DATE_EPOCH", "")
    if not text:
        return DEFAULT_EPOCH
    if not re.fullmatch(r"[0-9]+", text):
        raise TargetError(f"SOURCE_DATE_EPOCH={text} is not a number of seconds since 1970")
    return int(text)


def unpacked(number):
    return "%d.%d.%d" % (number >> 24, number >> 16 & 0xFF, number & 0xFFFF)


def numbering(package, old, new):
    """(disk id, first sequence number) of a patch to version new of the package.

    Every patch of a package has a slot of as many sequence numbers as the package has
    files, in the order of the versions patched to, so that a later version's files sort
    after every earlier patch's media. Disk ids follow the same order and repeat only
    after some 30000 slots."""
    files, media = package.tables["File"], package.tables["Media"]
    width = len(files.rows)
    base = max([SEQUENCE_BASE] + [r["Sequence"] or 0 for r in files.rows] +
               [m["LastSequence"] or 0 for m in media.rows])
    limit = min(COLUMN_LIMITS.get(files.types["Sequence"].lower(), 0),
                COLUMN_LIMITS.get(media.types["LastSequence"].lower(), 0))
    slot = packed(new) - packed(old)
    if base + slot * width > limit:
        highest = packed(old) + max(0, (limit - base) // width)
        raise TargetError(f"{unpacked(packed(new))} is too far above the package's version "
                          f"{unpacked(packed(old))} for its file sequence numbers: the highest "
                          f"version a patch of it can take is {unpacked(highest)}")
    last_disk = max([m["DiskId"] for m in media.rows] or [0])
    if last_disk >= MAX_DISK_ID:
        raise TargetError(f"{package.path} uses disk ids up to {last_disk}, too high to patch")
    disk = last_disk + 1 + (slot - 1) % (MAX_DISK_ID - last_disk)
    return disk, base + (slot - 1) * width + 1


# ---------------------------------------------------------------- the patch


def make_patch(lib, package_path, replacements, product_version, patch_code, output, now=None):
    """Writes the patch to output; replacements: [(file key or name, path of the new
    contents)]. Returns (patch code, old version, new version, files, disk id, sequences,
    product name)."""
    package = Package(package_path, lib)
    props = package.properties
    code = props["ProductCode"]
    patch_code = normal_guid(patch_code) if patch_code else "{%s}" % str(uuid.uuid4()).upper()
    if patch_code == normal_guid(code):
        raise TargetError(f"the patch code {patch_code} is the product's own code; "
                          "a patch needs a code of its own")
    old_version = props["ProductVersion"]
    old = package_version(old_version, package_path)
    new = parse_version(product_version)
    if new <= old:
        raise TargetError(f"{product_version} is not above the package's version "
                          f"{old_version}: a patch must raise the product version")
    new_version = product_version
    now = source_date_epoch() if now is None else now

    files, seen = [], set()
    for name, source in replacements:
        row = package.find_file(name)
        if row["File"] in seen:
            raise TargetError(f"{row['File']} is given twice")
        seen.add(row["File"])
        try:
            with open(source, "rb") as f:
                contents = f.read()
        except OSError as e:
            raise TargetError(f"cannot read {source}: {e.strerror}")
        if contents == package.original(row):
            raise TargetError(f"{source} is the same as {row['File']} in the package; "
                              "nothing to patch")
        files.append((row, contents))

    disk_id, first = numbering(package, old, new)
    last = first + len(files) - 1
    cab_stream = "PATCH_%d_%d_%d" % new

    # :T1, the product's own tables.
    product = Transform(package.codepage)
    hashes = {r["File_"] for r in package.tables["MsiFileHash"].rows}
    for sequence, (row, contents) in enumerate(files, first):
        product.row(package.tables["File"], {"File": row["File"], "FileSize": len(contents),
                                             "Sequence": sequence})
        digest = dict(zip(("HashPart1", "HashPart2", "HashPart3", "HashPart4"),
                          struct.unpack("<4i", hashlib.md5(contents).digest())))
        product.row(package.tables["MsiFileHash"], {"File_": row["File"], "Options": 0, **digest},
                    insert=row["File"] not in hashes)
    product.row(package.tables["Property"], {"Property": "ProductVersion", "Value": new_version})

    # :#T1, the patch's media: the cabinet stream of this patch holds those sequences.
    media = Transform(package.codepage)
    media.row(package.tables["Media"], {"DiskId": disk_id, "LastSequence": last,
                                        "Cabinet": "#" + cab_stream,
                                        "Source": MEDIA_SOURCE_PROPERTY}, insert=True)
    if not package.has_patch_package:
        media.add_table(PATCH_PACKAGE)
    media.row(PATCH_PACKAGE, {"PatchId": patch_code, "Media_": disk_id}, insert=True)

    transform_summary = summary_stream({
        7: package.template, 8: package.template,
        9: f"{code}{old_version};{code}{new_version};{props['UpgradeCode']}",
        14: ("i4", 200), 16: ("i4", TRANSFORM_FLAGS)})
    names = ", ".join(row["File"] for row, _ in files)
    product_name = props.get("ProductName", code)
    patch_summary = summary_stream({
        2: f"{product_name} patch", 3: f"{product_name} {new_version}",
        4: props.get("Manufacturer", ""), 5: "Installer,Patching",
        6: f"Replaces {names}; product version {old_version} to {new_version}.",
        7: code, 8: ";".join(":" + t for t in TRANSFORMS), 9: patch_code,
        12: ("time", now), 13: ("time", now), 15: ("i4", 4), 18: "make_patch.py"})

    # One patch family per product, ordered by the version patched to.
    family = "Patches_" + code.strip("{}").replace("-", "")
    root = Storage(PATCH_CLSID, {
        **patch_tables(lib, family, code, new_version),
        SUMMARY_STREAM: patch_summary,
        TRANSFORMS[0]: product.storage(transform_summary),
        TRANSFORMS[1]: media.storage(transform_summary),
        stream_name(cab_stream): write_cab(lib, [(row["File"], contents)
                                                 for row, contents in files], now),
    })
    write_patch(lib, root, output)
    return patch_code, old_version, new_version, files, disk_id, (first, last), product_name, code


def name_warning(output, product_name, version, product_code):
    """Why the launcher will not tell the package's product by output's file name, or None."""
    name = os.path.basename(output)
    own = packed_code(product_code)
    known = [keyword for code, keyword in PRODUCT_TABLE if code == own] or \
            [keyword for keyword in PRODUCT_KEYWORDS if keyword in product_name]
    suggestion = f"name it like {known[0] if known else '<keyword>'}_{version}.msp"
    rows = [(code, keyword) for code, keyword in PRODUCT_TABLE if keyword in name]
    if not rows:
        return (f"{name} holds none of the launcher's product keywords "
                f"({', '.join(PRODUCT_KEYWORDS)}; letter case counts), so the launcher will "
                "not recognise the product and applies the patch without its redirection; "
                + suggestion)
    if all(code != own for code, _ in rows):
        # The launcher would redirect another product's registration than the one patched.
        keywords = ", ".join(dict.fromkeys(keyword for _, keyword in rows))
        return (f"{name}: {keywords} names product {', '.join(code for code, _ in rows)} in "
                f"the launcher's table, not this package's {own}; " + suggestion)
    return None


HELP = """\
What it can patch: unversioned files (no Version in the File table) of one product, from a
package whose cabinets are embedded or beside it, in one piece and readable by libgcab.
It replaces whole files and raises the product version (X.Y.Z above the package's, as far
as the package's sequence numbers reach). It cannot patch versioned files or packages with
loose source files; it adds, removes or renames no file, changes no other table and makes
no binary deltas.

Patches are made from the package as shipped, and stack: a patch to 1.0.2 applies over one
to 1.0.1 and its files win, when the patches are applied in the order of their versions
(Wine's installer applies patches in the order they were installed, not by their
MsiPatchSequence). Make one patch per version.

Name the patch after its product: the launcher tells the product by a keyword in the
patch file's name, letter case included, and applies a patch whose name holds none
without its redirection (the tool warns). The keywords:
%s. For example:

  make_patch.py --package product.msi --replace version.txt=new/version.txt \\
      --product-version 1.0.1 -o Hostrel_1.0.1.msp

Apply a patch with: msiexec /p Hostrel_1.0.1.msp REINSTALL=ALL /qn""" % ", ".join(PRODUCT_KEYWORDS)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="make_patch.py", formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Make a Windows Installer patch (.msp) that replaces unversioned files\n"
                    "of an installed product and raises its product version.",
        epilog=HELP)
    parser.add_argument("--package", required=True, metavar="MSI",
                        help="the product's installer package, as shipped")
    parser.add_argument("--replace", required=True, action="append", metavar="FILE=NEW",
                        help="replace the package's FILE (File key or long file name) with "
                             "the contents of NEW; may be repeated")
    parser.add_argument("--product-version", required=True, metavar="X.Y.Z",
                        help="the product version after the patch, above the package's, "
                             "without leading zeros; major and minor at most 255, build at "
                             "most 65535")
    parser.add_argument("--patch-code", metavar="GUID",
                        help="the patch's code (default: a new GUID)")
    parser.add_argument("-o", "--output", required=True, metavar="MSP",
                        help="the patch file to write, its name holding the product's "
                             "keyword (Hostrel_1.0.1.msp, say); not the package, nor an "
                             "existing file unless --force")
    parser.add_argument("--force", action="store_true",
                        help="replace the output file if it exists")
    args = parser.parse_args(argv)

    try:
        if os.path.exists(args.output):
            if os.path.exists(args.package) and os.path.samefile(args.output, args.package):
                raise TargetError(f"{args.output} is the package itself; "
                                  "write the patch to another file")
            if not args.force:
                raise TargetError(f"{args.output} exists; give --force to replace it")
        pairs = []
        for item in args.replace:
            name, sep, source = item.partition("=")
            if not sep or not name or not source:
                raise TargetError(f"--replace {item}: expected FILE=NEW")
            pairs.append((name, source))
        code, old, new, files, disk, (first, last), product_name, product_code = make_patch(
            Bindings(), args.package, pairs, args.product_version, args.patch_code, args.output)
    except TargetError as e:
        print(f"make_patch.py: error: {e}", file=sys.stderr)
        return 1
    print(f"{args.output}: patch {code}, product version {old} -> {new}, replaces "
          + ", ".join(f"{row['File']} ({len(c)} bytes)" for row, c in files)
          + f"; disk {disk}, sequence {first}" + (f"-{last}" if last != first else "")
          + ", so it applies over this package's patches to lower versions")
    # The forms a detection rule names: the registry keys the installer writes.
    print(f"patch code {code}, packed {packed_code(code)}")
    print(f"product code {product_code}, packed {packed_code(product_code)}")
    warning = name_warning(args.output, product_name, new, product_code)
    if warning:
        print(f"make_patch.py: warning: {warning}", file=sys.stderr)
    return 0


def reexec_for_bindings(script=__file__):
    """Debian's bindings load only in Debian's interpreter; another python3 first on PATH
    (a pyenv one, say) runs the tool (script) through it instead."""
    try:
        import gi  # noqa: F401
        return
    except ImportError:
        pass
    if os.access(SYSTEM_PYTHON, os.X_OK) and \
            os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(script), *sys.argv[1:]])


if __name__ == "__main__":
    reexec_for_bindings()
    sys.exit(main())
