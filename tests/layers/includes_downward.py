#!/usr/bin/env python3
"""Every #include between the core's folders goes downward in the order GLANZO_LAYERS in
src/CMakeLists.txt writes down. A static library links only the objects it is asked for, so an
upward include whose code a layer's tests never reach would build; this check catches it.

    includes_downward.py SOURCE_DIR
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1]) / "src"
listing = re.search(r"set\(GLANZO_LAYERS\n(.*?)\n\)", (src / "CMakeLists.txt").read_text(), re.S)
order = [line.split("#")[0].strip() for line in listing.group(1).splitlines()]
rank = {name: i for i, name in enumerate(n for n in order if n)}

upward = []
for path in sorted(src.glob("*/*")):
    folder = path.parent.name
    if folder not in rank or path.suffix not in (".h", ".cpp"):
        continue
    for number, line in enumerate(path.read_text().splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([a-z_]+)/', line)
        if m and m.group(1) in rank and rank[m.group(1)] > rank[folder]:
            upward.append(f"{path.relative_to(src)}:{number}: {folder} includes {m.group(1)}, a layer above it")
print("\n".join(upward) if upward else f"{len(rank)} layers, every include downward")
sys.exit(1 if upward else 0)
