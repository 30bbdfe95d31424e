#!/usr/bin/env python3
"""Checks that the folders under src/ depend downward only.

Every `#include "folder/..."` under src/ must name its own folder or one of
a lower layer in the order below; folders of one layer do not include one
another. Fails naming each file and include that breaks the order (or names
a folder the order does not know); prints the folder graph when it passes.
"""
import pathlib
import re
import sys

# From the top; folders on one line share a layer.
LAYERS = [
    ["launcher"],
    ["transforms", "services", "runner"],
    ["detection"],
    ["discovery"],
    ["shared"],
    ["platform"],
]
RANK = {folder: rank for rank, layer in enumerate(LAYERS) for folder in layer}
INCLUDE = re.compile(r'^\s*#\s*include\s+"(([^"/]+)/[^"]*)"', re.MULTILINE)


def main() -> int:
    default = pathlib.Path(__file__).resolve().parent.parent / "src"
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    faults = []
    edges = {}
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        relative = path.relative_to(src)
        own = relative.parts[0]
        if own not in RANK:
            faults.append(f"{relative}: folder '{own}' has no place in the layer order")
            continue
        for include, target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if target == own:
                continue
            if target not in RANK or RANK[target] <= RANK[own]:
                faults.append(f'{relative}: #include "{include}" points up or sideways')
            else:
                edges.setdefault(own, set()).add(target)
    if faults:
        print("layering check failed:", *faults, sep="\n  ")
        return 1
    order = sorted(edges, key=lambda folder: (RANK[folder], folder))
    print("layering ok:", "; ".join(f"{f} -> {','.join(sorted(edges[f], key=lambda t: (RANK[t], t)))}" for f in order))
    return 0


if __name__ == "__main__":
    sys.exit(main())
