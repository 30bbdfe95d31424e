#!/usr/bin/env python3
"""Make a Windows Installer patch (.msp) for an installed product.

The patch replaces unversioned files of the product and may raise its product
version. It holds two transforms, ":T1" (the product's own tables: File,
MsiFileHash, Property) and ":#T1" (the patch's media: a Media row and a
PatchPackage row), and an uncompressed cabinet with the new files.

The target package's tables are read with msiinfo (Debian package msitools);
everything written is produced here, with the Python standard library.
"""

import argparse
import array
import datetime
import functools
import hashlib
import operator
import os
import re
import struct
import subprocess
import sys
import uuid
import zlib

PATCH_CLSID = uuid.UUID("000C1086-0000-0000-C000-000000000046")
TRANSFORM_CLSID = uuid.UUID("000C1082-0000-0000-C000-000000000046")
SUMMARY_FMTID = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9")
SUMMARY_STREAM = "\x05SummaryInformation"
TRANSFORMS = ("T1", "#T1")
CAB_STREAM = "PATCH_CAB"
# The installer sets this property to the patch's path while it installs from the patch.
MEDIA_SOURCE_PROPERTY = "PATCH_SOURCE"
# Wine reads the low word of this as the validation flags: 0x0007 asks for the product
# code and language (platform is not checked); 0x08 and 0x10 would compare product
# versions, and 0x20 and above make it skip the transform without a word. The high word
# holds the flags other installers read for a patch's transforms.
TRANSFORM_FLAGS = 0x09220007
# The installer moves patch media to disk ids from 32000 and sequences from 10000 up;
# the patch's own numbers must stay below.
MAX_DISK_ID = 31999
MAX_SEQUENCE = 9999

TABLES_NEEDED = {
    "Property": "the product code and version",
    "File": "the files to replace",
    "Media": "the package's cabinets",
    "MsiFileHash": "telling the installer an unversioned file changed",
}


class TargetError(Exception):
    """The package or the request is something this tool cannot make a patch of."""


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
    def __init__(self, path):
        if not os.path.isfile(path):
            raise TargetError(f"{path}: no such package")
        self.path = path
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
            self._cabinets[cabinet] = read_cab(data, cabinet)
        contents = self._cabinets[cabinet].get(row["File"])
        if contents is None:
            raise TargetError(f"{row['File']} is not in cabinet {cabinet}")
        return contents


def export_table_text(package, name):
    return msiinfo("export", package, name).decode("utf-8").rstrip("\0").split("\r\n")


# ---------------------------------------------------------------- cabinets

CAB_METHODS = {0: "none", 1: "MSZIP", 2: "Quantum", 3: "LZX"}


def read_cab(data, label):
    """{name: contents} of a cabinet stored or MSZIP-compressed, in one file."""
    try:
        if data[:4] != b"MSCF":
            raise TargetError(f"cannot read cabinet {label}: not a cabinet file")
        coff_files, folders_n, files_n, flags = struct.unpack_from("<16xI6xHHH", data, 0)
        if flags & 3:
            raise TargetError(f"cannot read cabinet {label}: it continues in another cabinet")
        pos, folder_reserve, data_reserve = 36, 0, 0
        if flags & 4:
            header_reserve, folder_reserve, data_reserve = struct.unpack_from("<HBB", data, 36)
            pos = 40 + header_reserve
        folders = []
        for _ in range(folders_n):
            start, blocks, method = struct.unpack_from("<IHH", data, pos)
            pos += 8 + folder_reserve
            folders.append(unpack_folder(data, start, blocks, method & 0x0F, data_reserve, label))
        files, pos = {}, coff_files
        for _ in range(files_n):
            size, offset, folder, attributes = struct.unpack_from("<IIH4xH", data, pos)
            end = data.index(b"\0", pos + 16)
            name = data[pos + 16:end].decode("utf-8" if attributes & 0x80 else "cp1252")
            pos = end + 1
            if folder >= len(folders):
                raise TargetError(f"cannot read cabinet {label}: {name} continues in another cabinet")
            files[name] = folders[folder][offset:offset + size]
        return files
    except (struct.error, ValueError, zlib.error) as e:
        raise TargetError(f"cannot read cabinet {label}: it is damaged ({e})")


def unpack_folder(data, pos, blocks, method, reserve, label):
    if method not in (0, 1):
        raise TargetError(f"cannot read cabinet {label}: "
                          f"{CAB_METHODS.get(method, method)} compression is not supported")
    out = bytearray()
    for _ in range(blocks):
        size, = struct.unpack_from("<4xH", data, pos)
        pos += 8 + reserve
        block = data[pos:pos + size]
        pos += size
        if method == 0:
            out += block
        elif block[:2] != b"CK":
            raise TargetError(f"cannot read cabinet {label}: damaged MSZIP block")
        else:
            # Each MSZIP block is deflate primed with the previous 32 KiB of output.
            inflate = (zlib.decompressobj(-15, zdict=bytes(out[-32768:])) if out
                       else zlib.decompressobj(-15))
            out += inflate.decompress(block[2:])
    return bytes(out)


def dos_time(seconds):
    t = datetime.datetime.fromtimestamp(seconds)
    if t.year < 1980:
        t = datetime.datetime(1980, 1, 1)
    return ((t.year - 1980) << 9 | t.month << 5 | t.day,
            t.hour << 11 | t.minute << 5 | t.second // 2)


def write_cab(files):
    """An uncompressed cabinet of [(name, contents, mtime)], one folder."""
    entries, folder = [], bytearray()
    for name, contents, mtime in files:
        encoded = name.encode("utf-8")
        attributes = 0x20 | (0x80 if not name.isascii() else 0)
        date, time = dos_time(mtime)
        entries.append(struct.pack("<IIHHHH", len(contents), len(folder), 0, date, time,
                                   attributes) + encoded + b"\0")
        folder += contents
    blocks = [folder[i:i + 32768] for i in range(0, len(folder), 32768)]
    data_start = 36 + 8 + sum(len(e) for e in entries)
    total = data_start + sum(8 + len(b) for b in blocks)
    head = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, 44, 0, 3, 1, 1,
                       len(files), 0, 0x5150, 0)
    head += struct.pack("<IHH", data_start, len(blocks), 0)
    out = bytearray(head + b"".join(entries))
    for block in blocks:
        sizes = struct.pack("<HH", len(block), len(block))
        out += struct.pack("<I", cab_checksum(sizes, cab_checksum(block, 0))) + sizes + block
    return bytes(out)


def cab_checksum(data, seed):
    """The cabinet checksum: XOR of little-endian words, the tail bytes taken high first."""
    whole = len(data) // 4 * 4
    words = array.array("I", data[:whole])
    if sys.byteorder == "big":
        words.byteswap()
    value = functools.reduce(operator.xor, words, seed)
    tail = 0
    for byte in data[whole:]:
        tail = tail << 8 | byte
    return value ^ tail


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


# ---------------------------------------------------------------- compound file

SECTOR, MINI_SECTOR, MINI_CUTOFF = 512, 64, 4096
FREE, END, FAT_SECTOR, DIFAT_SECTOR, NONE = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
RED, BLACK = 0, 1


class Storage:
    def __init__(self, clsid=None, items=None):
        self.clsid, self.items = clsid, dict(items or {})


def compound_file(root):
    """The bytes of a compound file (version 3, 512-byte sectors) holding root."""
    entries = []

    def add(name, item):
        entry = {"name": name, "left": NONE, "right": NONE, "child": NONE, "color": BLACK,
                 "start": 0, "size": 0, "clsid": bytes(16), "data": None, "depth": 0}
        index = len(entries)
        entries.append(entry)
        if isinstance(item, Storage):
            entry["type"] = 5 if index == 0 else 1
            entry["clsid"] = item.clsid.bytes_le if item.clsid else bytes(16)
            children = [add(n, i) for n, i in item.items.items()]
            # Siblings form a red-black tree ordered by name length, then upper-cased name.
            children.sort(key=lambda k: (len(entries[k]["name"]), entries[k]["name"].upper()))
            entry["child"] = balanced(children, 0)
            if children:
                deepest = max(entries[k]["depth"] for k in children)
                if len(children) != 2 ** (deepest + 1) - 1:
                    for k in children:
                        if entries[k]["depth"] == deepest:
                            entries[k]["color"] = RED
        else:
            entry["type"], entry["data"] = 2, bytes(item)
        return index

    def balanced(keys, depth):
        if not keys:
            return NONE
        middle = len(keys) // 2
        entry = entries[keys[middle]]
        entry["depth"] = depth
        entry["left"] = balanced(keys[:middle], depth + 1)
        entry["right"] = balanced(keys[middle + 1:], depth + 1)
        return keys[middle]

    add("Root Entry", root)

    fat, body = [], bytearray()

    def place(data):
        count = -(-len(data) // SECTOR)
        start = len(fat)
        fat.extend(range(start + 1, start + count))
        fat.append(END)
        body.extend(data + bytes(count * SECTOR - len(data)))
        return start

    mini, mini_fat = bytearray(), []
    for entry in entries:
        data = entry["data"]
        if entry["type"] != 2:
            continue
        entry["size"] = len(data)
        if not data:
            entry["start"] = END
        elif len(data) >= MINI_CUTOFF:
            entry["start"] = place(data)
        else:
            count = -(-len(data) // MINI_SECTOR)
            entry["start"] = len(mini_fat)
            mini_fat.extend(range(len(mini_fat) + 1, len(mini_fat) + count))
            mini_fat.append(END)
            mini += data + bytes(count * MINI_SECTOR - len(data))
    entries[0]["start"] = place(mini) if mini else END
    entries[0]["size"] = len(mini)

    directory = b"".join(directory_entry(e) for e in entries)
    directory += directory_entry(None) * (-len(entries) % (SECTOR // 128))
    directory_start = place(directory)
    mini_fat_start, mini_fat_count = END, 0
    if mini_fat:
        mini_fat += [FREE] * (-len(mini_fat) % (SECTOR // 4))
        mini_fat_count = len(mini_fat) * 4 // SECTOR
        mini_fat_start = place(struct.pack(f"<{len(mini_fat)}I", *mini_fat))

    used, fat_count, difat_count = len(fat), 0, 0
    while True:
        need_fat = -(-(used + fat_count + difat_count) // (SECTOR // 4))
        need_difat = -(-max(0, need_fat - 109) // 127)
        if (need_fat, need_difat) == (fat_count, difat_count):
            break
        fat_count, difat_count = need_fat, need_difat
    fat_sectors = list(range(used, used + fat_count))
    difat_sectors = list(range(used + fat_count, used + fat_count + difat_count))
    fat += [FAT_SECTOR] * fat_count + [DIFAT_SECTOR] * difat_count
    fat += [FREE] * (fat_count * SECTOR // 4 - len(fat))
    body += struct.pack(f"<{len(fat)}I", *fat)
    rest = fat_sectors[109:]
    for i in range(difat_count):
        chunk = rest[i * 127:(i + 1) * 127]
        chunk += [FREE] * (127 - len(chunk))
        chunk.append(difat_sectors[i + 1] if i + 1 < difat_count else END)
        body += struct.pack("<128I", *chunk)

    first = fat_sectors[:109] + [FREE] * (109 - min(109, fat_count))
    header = struct.pack("<8s16s5H6s9I", b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", bytes(16),
                         0x3E, 3, 0xFFFE, 9, 6, bytes(6), 0, fat_count, directory_start, 0,
                         MINI_CUTOFF, mini_fat_start, mini_fat_count,
                         difat_sectors[0] if difat_sectors else END, difat_count)
    return header + struct.pack("<109I", *first) + bytes(body)


def directory_entry(e):
    if e is None:
        return struct.pack("<64sHBBIII16sIQQIQ", b"", 0, 0, 0, NONE, NONE, NONE,
                           bytes(16), 0, 0, 0, 0, 0)
    name = e["name"].encode("utf-16-le")
    if len(name) > 62:
        raise TargetError(f"{e['name']!r}: name too long for a compound file")
    return struct.pack("<64sHBBIII16sIQQIQ", name, len(name) + 2, e["type"], e["color"],
                       e["left"], e["right"], e["child"], e["clsid"], 0, 0, 0,
                       e["start"], e["size"])


# ---------------------------------------------------------------- the patch


def normal_guid(text):
    if not re.fullmatch(r"\{?[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}?", text) or \
            text.startswith("{") != text.endswith("}"):
        raise TargetError(f"{text} is not a GUID like {{12345678-9ABC-DEF0-1234-56789ABCDEF0}}")
    return "{" + text.strip("{}").upper() + "}"


def check_version(text):
    parts = text.split(".")
    limits = (255, 255, 65535, 65535)
    if not 2 <= len(parts) <= 4 or not all(p.isdigit() for p in parts) or \
            any(int(p) > limit for p, limit in zip(parts, limits)):
        raise TargetError(f"{text} is not a product version (major.minor.build, "
                          "at most 255.255.65535)")
    return text


def make_patch(package_path, replacements, product_version=None, patch_code=None, now=None):
    """The bytes of a patch; replacements: [(file key or name, path of the new contents)]."""
    package = Package(package_path)
    props = package.properties
    patch_code = normal_guid(patch_code) if patch_code else "{%s}" % str(uuid.uuid4()).upper()
    old_version = props["ProductVersion"]
    new_version = check_version(product_version) if product_version else old_version
    now = datetime.datetime.now().timestamp() if now is None else now

    files, seen = [], set()
    for name, source in replacements:
        row = package.find_file(name)
        if row["File"] in seen:
            raise TargetError(f"{row['File']} is given twice")
        seen.add(row["File"])
        try:
            with open(source, "rb") as f:
                contents = f.read()
            mtime = os.stat(source).st_mtime
        except OSError as e:
            raise TargetError(f"cannot read {source}: {e.strerror}")
        if contents == package.original(row):
            raise TargetError(f"{source} is the same as {row['File']} in the package; "
                              "nothing to patch")
        files.append((row, contents, mtime))

    sequence = max([r["Sequence"] or 0 for r in package.tables["File"].rows] +
                   [m["LastSequence"] or 0 for m in package.tables["Media"].rows])
    disk_id = max(m["DiskId"] for m in package.tables["Media"].rows) + 1 \
        if package.tables["Media"].rows else 1
    if sequence + len(files) > MAX_SEQUENCE or disk_id > MAX_DISK_ID:
        raise TargetError(f"{package_path} uses sequence numbers or disk ids too high to patch")

    # :T1, the product's own tables.
    product = Transform(package.codepage)
    hashes = {r["File_"] for r in package.tables["MsiFileHash"].rows}
    for offset, (row, contents, _) in enumerate(files, 1):
        product.row(package.tables["File"], {"File": row["File"], "FileSize": len(contents),
                                             "Sequence": sequence + offset})
        digest = dict(zip(("HashPart1", "HashPart2", "HashPart3", "HashPart4"),
                          struct.unpack("<4i", hashlib.md5(contents).digest())))
        product.row(package.tables["MsiFileHash"], {"File_": row["File"], "Options": 0, **digest},
                    insert=row["File"] not in hashes)
    if new_version != old_version:
        product.row(package.tables["Property"], {"Property": "ProductVersion",
                                                 "Value": new_version})

    # :#T1, the patch's media: the cabinet stream of this patch holds those sequences.
    media = Transform(package.codepage)
    media.row(package.tables["Media"], {"DiskId": disk_id, "LastSequence": sequence + len(files),
                                        "Cabinet": "#" + CAB_STREAM,
                                        "Source": MEDIA_SOURCE_PROPERTY}, insert=True)
    if not package.has_patch_package:
        media.add_table(PATCH_PACKAGE)
    media.row(PATCH_PACKAGE, {"PatchId": patch_code, "Media_": disk_id}, insert=True)

    code = props["ProductCode"]
    transform_summary = summary_stream({
        7: package.template, 8: package.template,
        9: f"{code}{old_version};{code}{new_version};{props['UpgradeCode']}",
        14: ("i4", 200), 16: ("i4", TRANSFORM_FLAGS)})
    names = ", ".join(row["File"] for row, _, _ in files)
    product_name = props.get("ProductName", code)
    patch_summary = summary_stream({
        2: f"{product_name} patch", 3: f"{product_name} {new_version}",
        4: props.get("Manufacturer", ""), 5: "Installer,Patching",
        6: f"Replaces {names}; product version {old_version} to {new_version}.",
        7: code, 8: ";".join(":" + t for t in TRANSFORMS), 9: patch_code,
        12: ("time", now), 13: ("time", now), 15: ("i4", 4), 18: "make_patch.py"})

    cab = write_cab([(row["File"], contents, mtime) for row, contents, mtime in files])
    root = Storage(PATCH_CLSID, {
        SUMMARY_STREAM: patch_summary,
        # The patch's own database is empty, but the installer opens it only with a pool.
        stream_name("_StringPool", True): struct.pack("<HH", 0, 0),
        stream_name("_StringData", True): b"",
        TRANSFORMS[0]: product.storage(transform_summary),
        TRANSFORMS[1]: media.storage(transform_summary),
        stream_name(CAB_STREAM): cab,
    })
    return compound_file(root), patch_code, old_version, new_version, files


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="make_patch.py",
        description="Make a Windows Installer patch (.msp) that replaces unversioned files "
                    "of an installed product and optionally raises its product version.",
        epilog="Apply it with: msiexec /p out.msp REINSTALL=ALL /qn")
    parser.add_argument("--package", required=True, metavar="MSI",
                        help="the product's installer package, as installed")
    parser.add_argument("--replace", required=True, action="append", metavar="FILE=NEW",
                        help="replace the package's FILE (File key or long file name) with "
                             "the contents of NEW; may be repeated")
    parser.add_argument("--product-version", metavar="X.Y.Z",
                        help="the product version after the patch (default: unchanged)")
    parser.add_argument("--patch-code", metavar="GUID",
                        help="the patch's code (default: a new GUID)")
    parser.add_argument("-o", "--output", required=True, metavar="MSP",
                        help="the patch file to write")
    args = parser.parse_args(argv)

    try:
        pairs = []
        for item in args.replace:
            name, sep, source = item.partition("=")
            if not sep or not name or not source:
                raise TargetError(f"--replace {item}: expected FILE=NEW")
            pairs.append((name, source))
        data, code, old, new, files = make_patch(args.package, pairs, args.product_version,
                                                 args.patch_code)
        temporary = args.output + ".part"
        try:
            with open(temporary, "wb") as f:
                f.write(data)
            os.replace(temporary, args.output)
        except OSError as e:
            raise TargetError(f"cannot write {args.output}: {e.strerror}")
    except TargetError as e:
        print(f"make_patch.py: error: {e}", file=sys.stderr)
        return 1
    print(f"{args.output}: patch {code}, product version {old} -> {new}, replaces "
          + ", ".join(f"{row['File']} ({len(c)} bytes)" for row, c, _ in files))
    return 0


if __name__ == "__main__":
    sys.exit(main())
