#!/usr/bin/env python3
"""Checks that README.md's product and exit tables match the launcher's code.

Every README row must be a row of ProductTable (src/detection/product_identification.cpp)
with the same row number, keyword and packed code, and the same braced product
code where either side gives one; every ProductTable row must be in the README.

Every installer status (0, 3010, 1601-1699) a row of the README's exit table
(or of docs/deploying.md's) names must mean what the log says for it
(src/shared/log_events.cpp): the row's first sentence (its second cell up
to the first ". "), normalised, must contain the log's meaning, normalised.
Normalised: backticks and double quotes dropped, lower case, runs of blanks
made one. So a table may say more after the log's words, never something else.

The deployment kit's return codes (RETURN_CODES in tools/make_deploy_kit.py) are held to
the same: each installer status of the kit's table says the log's meaning in its first
sentence, every status the README's exit table names is in the kit's table, and every
other status of the kit's has words in the log, but for the tools' own success codes
(TOOL_CODES).

Fails with exit status 1 and one line per mismatch; prints
"readme products ok: N rows" and "readme statuses ok: N installer statuses"
when they agree. `--self-test` checks both comparisons on tables of cases.
"""
import ast
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADER = ["Row", "Keyword", "Product code", "Packed code"]
# {u"<packed>", u"<keyword>", u"<braced or {}>"}, as product_identification.cpp writes a row.
ENTRY = re.compile(r'\{\s*u"([^"]*)"\s*,\s*u"([^"]*)"\s*,\s*u"([^"]*)"\s*\}')
TABLE_START = re.compile(r"ProductTable\s*\[\s*ProductTableCount\s*\]\s*=\s*\{")
COUNT = re.compile(r"ProductTableCount\s*=\s*(\d+)\s*;")
NONE = "—"  # the README's mark for a row that keeps no braced code
STATUS_HEADER = ["Status", "Meaning", "What to do"]
# The exit tables held to the log's meanings: (file, header).
EXIT_TABLES = [("README.md", STATUS_HEADER),
               ("docs/deploying.md", ["Status", "What happened", "Class", "What to do"])]
KIT = "tools/make_deploy_kit.py"
# Statuses the kit lists that neither the launcher nor the log gives: Configuration Manager
# lists 1707 as success for installer deployment types and Intune adds it by default.
TOOL_CODES = {1707}
# {<status>, "<words>"} in kMeanings; a long meaning may be split into adjacent literals.
MEANING = re.compile(r'\{\s*(\d+)\s*,\s*((?:"[^"]*"\s*)+)\}')
LITERAL = re.compile(r'"([^"]*)"')


def cells(line):
    return [cell.strip().strip("`").strip() for cell in line.strip().strip("|").split("|")]


def table_body(text, header):
    """The cells of each body line of the first Markdown table headed `header`; None without."""
    lines = text.splitlines()
    for at, line in enumerate(lines):
        if line.lstrip().startswith("|") and cells(line) == header:
            body = []
            for row in lines[at + 2:]:
                if not row.lstrip().startswith("|"):
                    break
                body.append(cells(row) + [""] * len(header))
            return body
    return None


def readme_rows(text):
    """The rows of the README table headed HEADER: (row, keyword, braced or None, packed)."""
    body = table_body(text, HEADER)
    if body is None:
        return None
    rows = []
    for row, keyword, braced, packed in (line[:4] for line in body):
        number = int(row) if row.isdigit() else row
        rows.append((number, keyword, None if braced in (NONE, "") else braced, packed))
    return rows


def is_installer_status(status):
    return status in (0, 3010) or 1601 <= status <= 1699


def normalised(text):
    return " ".join(text.replace("`", "").replace('"', "").lower().split())


def first_sentence(text):
    end = text.find(". ")
    return text[:end] if end >= 0 else text.rstrip(".")


def readme_statuses(text, header=STATUS_HEADER):
    """(status, first sentence of its meaning) for each installer status of the exit table."""
    body = table_body(text, header)
    if body is None:
        return None
    return [(int(number), first_sentence(line[1]))
            for line in body for number in re.findall(r"\d+", line[0])
            if is_installer_status(int(number))]


def meanings(source):
    """The log's meanings: {status: words}."""
    return {int(status): "".join(LITERAL.findall(literals))
            for status, literals in MEANING.findall(source)}


def compare_statuses(readme, words, name="README"):
    """One line per installer status of `name`'s exit table whose sense differs from the log's."""
    faults = []
    for status, sentence in readme:
        meaning = words.get(status)
        if meaning is None:
            faults.append(f"{name} status {status}: the log has no meaning for it")
        elif normalised(meaning) not in normalised(sentence):
            faults.append(f"{name} status {status}: \"{sentence}\" does not say the log's "
                          f"\"{meaning}\"")
    return faults


def table_codes(text, header):
    """Every status number the first cells of the table headed `header` name."""
    return {int(n) for line in table_body(text, header) or [] for n in re.findall(r"\d+", line[0])}


def kit_rows(source):
    """RETURN_CODES of the kit tool's source, read without running it: (statuses, class, what)."""
    for node in ast.parse(source).body:
        if isinstance(node, ast.Assign) and getattr(node.targets[0], "id", "") == "RETURN_CODES":
            return ast.literal_eval(node.value)
    return None


def compare_kit(rows, readme_codes, words):
    """One line per status of the kit's table that disagrees with the log or the README."""
    listed = {int(n): what for codes, _, what in rows for n in re.findall(r"\d+", codes)}
    faults = compare_statuses([(status, first_sentence(what)) for status, what in listed.items()
                               if is_installer_status(status)], words, "kit")
    faults += [f"kit: README status {status} is not in the kit's return codes"
               for status in sorted(readme_codes - set(listed))]
    faults += [f"kit status {status}: the log has no meaning for it" for status in sorted(listed)
               if not is_installer_status(status) and status not in words
               and status not in TOOL_CODES]
    return faults


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
    failed += self_test_statuses() + self_test_kit()
    count = len(cases) + 2 + len(STATUS_CASES) + 2 + len(KIT_CASES) + 1
    print("self-test failed" if failed else f"self-test ok: {count} cases")
    return 1 if failed else 0


LOG_WORDS = {1627: "a function failed during execution",
             1635: "the update package could not be opened",
             1641: "success; the installer started a restart"}
# (case, README exit rows (status cell, meaning cell), the first fault must start with this)
STATUS_CASES = [
    ("same words", [("1635", "The update package could not be opened.")], ""),
    ("words, then more", [("1627", "A function failed during execution. Often no patch.")], ""),
    ("other case, backticks, blanks", [("1641", "Success;  the `installer` started a restart")],
     ""),
    ("not an installer status", [("2, 5, 234", "Anything at all."), ("122", "Too long.")], ""),
    ("other words", [("1635", "The patch package is missing.")], "README status 1635:"),
    ("words only after the first sentence",
     [("1627", "No patch was found. A function failed during execution.")],
     "README status 1627:"),
    ("one word changed", [("1641", "Success; the installer needs a restart.")],
     "README status 1641:"),
    ("a status of a shared cell", [("1627, 1635", "The update package could not be opened.")],
     "README status 1627:"),
    ("a status the log has no words for", [("1642", "The upgrade cannot be installed.")],
     "README status 1642: the log has no meaning"),
]


KIT_WORDS = {**LOG_WORDS, 0: "success", 122: "text too long for its buffer"}
KIT_ROWS = [("0", "Success", "Success: applied."), ("1707", "Success", "A tool's success."),
            ("1635", "Failure", "The update package could not be opened. Check it."),
            ("122", "Failure", "Text too long for its buffer: the line."),
            ("negative numbers", "Failure", "A crash.")]
# (case, the kit's rows, the README's statuses, the first fault must start with this)
KIT_CASES = [
    ("same codes and words", KIT_ROWS, {0, 122, 1635}, ""),
    ("a README status the kit lacks", KIT_ROWS[:3], {0, 122, 1635}, "kit: README status 122"),
    ("other words", [("1635", "Failure", "The patch is missing.")], set(), "kit status 1635:"),
    ("a status the log has no words for", KIT_ROWS + [("4", "Failure", "Too many files.")],
     set(), "kit status 4: the log has no meaning"),
    ("a tool's code the log lacks, in a shared cell", [("0, 1707", "Success", "Success.")],
     {0}, ""),
]


def self_test_kit():
    failed = 0
    for name, rows, readme, expected in KIT_CASES:
        faults = compare_kit(rows, readme, KIT_WORDS)
        ok = (faults == []) if not expected else (faults != [] and faults[0].startswith(expected))
        if not ok:
            failed += 1
            print(f"self-test kit {name}: expected {expected or 'no fault'!r}, got {faults}")
    source = 'X = 1\nRETURN_CODES = [\n    ("3", "Failure", "Path not " "found."),\n]\n'
    if kit_rows(source) != [("3", "Failure", "Path not found.")]:
        failed += 1
        print(f"self-test kit parsing: got {kit_rows(source)}")
    return failed


def self_test_statuses():
    failed = 0
    for name, rows, expected in STATUS_CASES:
        table = "| Status | Meaning | What to do |\n|---|---|---|\n" + "".join(
            f"| {status} | {meaning} | Nothing. |\n" for status, meaning in rows)
        faults = compare_statuses(readme_statuses(table), LOG_WORDS)
        ok = (faults == []) if not expected else (faults != [] and faults[0].startswith(expected))
        if not ok:
            failed += 1
            print(f"self-test {name}: expected {expected or 'no fault'!r}, got {faults}")
    docs = ("| Status | What happened | Class | What to do |\n|---|---|---|---|\n"
            "| 0, 1707 | Success. | Success | Nothing. |\n"
            "| 1635 | Package missing. | Failure | x |\n")
    faults = compare_statuses(readme_statuses(docs, EXIT_TABLES[1][1]), LOG_WORDS, "docs")
    if faults != ["docs status 0: the log has no meaning for it",
                  'docs status 1635: "Package missing" does not say the log\'s '
                  '"the update package could not be opened"']:
        failed += 1
        print(f"self-test the docs' exit table: got {faults}")
    source = ('constexpr Meaning kMeanings[] = {\n    {0, "success"},\n    {1642,\n'
              '     "the upgrade cannot "\n     "be installed"},\n};\n')
    if meanings(source) != {0: "success", 1642: "the upgrade cannot be installed"}:
        failed += 1
        print(f"self-test meanings parsing: got {meanings(source)}")
    return failed


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    readme_text = (ROOT / "README.md").read_text(encoding="utf-8")
    readme = readme_rows(readme_text)
    table = table_rows((ROOT / "src/detection/product_identification.cpp").read_text(encoding="utf-8"))
    header = (ROOT / "src/detection/product_identification.h").read_text(encoding="utf-8")
    faults = []
    if readme is None:
        faults.append("README.md: no table headed | " + " | ".join(HEADER) + " |")
    if table is None:
        faults.append("src/detection/product_identification.cpp: no ProductTable[ProductTableCount] rows")
    if not faults:
        faults = compare(readme, table)
        count = COUNT.search(header)
        if count is None or int(count.group(1)) != len(table):
            faults.append(f"product_identification.h: ProductTableCount is "
                          f"{count.group(1) if count else 'not found'}, the table has "
                          f"{len(table)} rows")
    words = meanings((ROOT / "src/shared/log_events.cpp").read_text(encoding="utf-8"))
    checked = 0
    for name, header in EXIT_TABLES:
        statuses = readme_statuses((ROOT / name).read_text(encoding="utf-8"), header)
        if statuses is None:
            faults.append(f"{name}: no table headed | " + " | ".join(header) + " |")
        else:
            faults += compare_statuses(statuses, words, name)
            checked += len(statuses)
    kit = kit_rows((ROOT / KIT).read_text(encoding="utf-8"))
    if kit is None:
        faults.append(f"{KIT}: no RETURN_CODES")
    else:
        readme_codes = table_codes(readme_text, STATUS_HEADER)
        faults += compare_kit(kit, readme_codes, words)
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"readme products ok: {len(table)} rows")
    print(f"exit tables ok: {checked} installer statuses as the log says them")
    print(f"kit return codes ok: {len(kit)} rows agree with the log and the README")
    return 0


if __name__ == "__main__":
    sys.exit(main())
