#!/usr/bin/env python3
"""Checks that README.md's product table matches the launcher's product table.

Every README row must be a row of ProductTable (src/detection/product_table.cpp)
with the same row number, keyword and packed code, and the same braced product
code where either side gives one; every ProductTable row must be in the README.
Fails with exit status 1 and one line per mismatch; prints
"readme products ok: N rows" when they agree. `--self-test` checks the
comparison itself on a table of cases.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADER = ["Row", "Keyword", "Product code", "Packed code"]
# {u"<packed>", u"<keyword>", u"<braced or {}>"}, as product_table.cpp writes a row.
ENTRY = re.compile(r'\{\s*u"([^"]*)"\s*,\s*u"([^"]*)"\s*,\s*u"([^"]*)"\s*\}')
TABLE_START = re.compile(r"ProductTable\s*\[\s*ProductTableCount\s*\]\s*=\s*\{")
COUNT = re.compile(r"ProductTableCount\s*=\s*(\d+)\s*;")
NONE = "—"  # the README's mark for a row that keeps no braced code


def cells(line):
    return [cell.strip().strip("`").strip() for cell in line.strip().strip("|").split("|")]


def readme_rows(text):
    """The rows of the README table headed HEADER: (row, keyword, braced or None, packed)."""
    lines = text.splitlines()
    for at, line in enumerate(lines):
        if line.lstrip().startswith("|") and cells(line) == HEADER:
            rows = []
            for body in lines[at + 2:]:
                if not body.lstrip().startswith("|"):
                    break
                row, keyword, braced, packed = (cells(body) + ["", "", "", ""])[:4]
                number = int(row) if row.isdigit() else row
                rows.append((number, keyword, None if braced in (NONE, "") else braced, packed))
            return rows
    return None


def table_rows(source):
    """ProductTable's rows in order: (row, keyword, braced or None, packed)."""
    start = TABLE_START.search(source)
    if start is None:
        return None
    body = source[start.end():source.index("};", start.end())]
    return [(row, keyword, None if braced == "{}" else braced, packed)
            for row, (packed, keyword, braced) in enumerate(ENTRY.findall(body))]


def describe(entry):
    return f"{entry[1]}/{entry[3]}" + (f"/{entry[2]}" if entry[2] else "")


def compare(readme, table):
    """One line per mismatch between the README's rows and the table's."""
    faults = []
    by_row = {entry[0]: entry for entry in table}
    seen = set()
    for entry in readme:
        row, keyword, braced, packed = entry
        if row in seen:
            faults.append(f"README row {row}: given twice")
            continue
        seen.add(row)
        known = by_row.get(row)
        if known is None:
            faults.append(f"README row {row}: keyword {keyword}, the table has no row {row}")
        elif (keyword, packed) != (known[1], known[3]):
            faults.append(f"README row {row}: keyword {keyword}, packed {packed}, "
                          f"table has {describe(known)}")
        elif braced != known[2]:
            faults.append(f"README row {row}: product code {braced or NONE}, "
                          f"table has {known[2] or 'none kept'}")
    for row, entry in by_row.items():
        if row not in seen:
            faults.append(f"table row {row} ({describe(entry)}) is missing from the README")
    return faults


def self_test():
    table = [(0, "Tessel", None, "382F6AFF466673E4C9EE82C5C18519A1"),
             (1, "Hostrel", None, "8C0FD386649E9D942AA845BBA3A1420B"),
             (2, "Tessel", "{AE177F9E-D8BE-4652-B21A-5651C0262147}",
              "E9F771EAEB8D25642BA165150C621274")]
    row0, row1, row2 = table
    # (case, README rows, the first fault must start with this; "" for none)
    cases = [
        ("same rows", [row0, row1, row2], ""),
        ("same rows, other order", [row2, row0, row1], ""),
        ("renamed keyword", [row0, (1, "Hostre", None, row1[3]), row2], "README row 1: keyword"),
        ("keyword in other case", [row0, (1, "hostrel", None, row1[3]), row2], "README row 1:"),
        ("missing row", [row0, row2], "table row 1 "),
        ("empty README table", [], "table row 0 "),
        ("extra row", [row0, row1, row2, (3, "Ostra", None, "01BA")], "README row 3:"),
        ("row number off by one", [row0, row1, (3,) + row2[1:]], "README row 3:"),
        ("wrong packed code", [row0, (1, "Hostrel", None, row1[3][:-1] + "C"), row2],
         "README row 1: keyword Hostrel, packed"),
        ("wrong braced code", [row0, row1, row2[:2] + ("{AE177F9E-D8BE-4652-B21A-5651C0262148}",)
                               + row2[3:]], "README row 2: product code"),
        ("braced code the table lacks", [row0, row1[:2] + (row2[2],) + row1[3:], row2],
         "README row 1: product code"),
        ("braced code left out", [row0, row1, row2[:2] + (None,) + row2[3:]],
         "README row 2: product code"),
        ("row given twice", [row0, row1, row1, row2], "README row 1: given twice"),
    ]
    failed = 0
    for name, readme, expected in cases:
        faults = compare(readme, table)
        ok = (faults == []) if not expected else (faults != [] and faults[0].startswith(expected))
        if not ok:
            failed += 1
            print(f"self-test {name}: expected {expected or 'no fault'!r}, got {faults}")
    parsed = readme_rows("x\n| Row | Keyword | Product code | Packed code |\n|---|---|---|---|\n"
                         "| 0 | `Tessel` | — | `382F` |\n| 5 | Brisant | `{C5}` | `CF` |\nafter\n")
    if parsed != [(0, "Tessel", None, "382F"), (5, "Brisant", "{C5}", "CF")]:
        failed += 1
        print(f"self-test README parsing: got {parsed}")
    source = ('const ProductEntry ProductTable[ProductTableCount] = {\n'
              '    {u"AA", u"Tessel", u"{}"},\n    {u"BB", u"Brisant", u"{C5}"},\n};\n'
              'const X Other[] = {{u"CC", u"Late", u"{}"}};\n')
    if table_rows(source) != [(0, "Tessel", None, "AA"), (1, "Brisant", "{C5}", "BB")]:
        failed += 1
        print(f"self-test table parsing: got {table_rows(source)}")
    print("self-test failed" if failed else f"self-test ok: {len(cases) + 2} cases")
    return 1 if failed else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    readme = readme_rows((ROOT / "README.md").read_text(encoding="utf-8"))
    table = table_rows((ROOT / "src/detection/product_table.cpp").read_text(encoding="utf-8"))
    header = (ROOT / "src/detection/product_table.h").read_text(encoding="utf-8")
    faults = []
    if readme is None:
        faults.append("README.md: no table headed | " + " | ".join(HEADER) + " |")
    if table is None:
        faults.append("src/detection/product_table.cpp: no ProductTable[ProductTableCount] rows")
    if not faults:
        faults = compare(readme, table)
        count = COUNT.search(header)
        if count is None or int(count.group(1)) != len(table):
            faults.append(f"product_table.h: ProductTableCount is "
                          f"{count.group(1) if count else 'not found'}, the table has "
                          f"{len(table)} rows")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"readme products ok: {len(table)} rows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
