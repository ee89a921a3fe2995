#!/usr/bin/env python3
"""Fails when a file includes a header of a higher layer (the layers of src/CMakeLists.txt)."""
import pathlib, re, sys

ordre = ["core/base", "core/config", "core/paradox", "core/xml", "core/export",
         "core/publish", "core/reports", "gui", "app", "cli"]
# Two layers of the same height that must not see each other.
cloisons = {("core/paradox", "core/xml"), ("core/xml", "core/paradox"),
            ("core/xml", "core/config"), ("app", "cli"), ("cli", "app"), ("cli", "gui")}

def couche(chemin):
    for c in sorted(ordre, key=len, reverse=True):
        if chemin == c or chemin.startswith(c + "/"):
            return c
    return None

src = pathlib.Path(sys.argv[1])
fautes = []
for f in sorted(src.rglob("*")):
    if f.suffix not in (".h", ".cpp"):
        continue
    ici = couche(f.relative_to(src).as_posix())
    for n, ligne in enumerate(f.read_text(encoding="utf-8").splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([^"]+)"', ligne)
        if not m or "/" not in m.group(1):
            continue
        la = couche(m.group(1))
        if la is None:
            continue
        if ordre.index(la) > ordre.index(ici) or (ici, la) in cloisons:
            fautes.append(f"{f.relative_to(src)}:{n}: {ici} inclut {m.group(1)}")
print("\n".join(fautes) or f"couches en ordre ({src})")
sys.exit(1 if fautes else 0)
