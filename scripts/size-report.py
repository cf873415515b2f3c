#!/usr/bin/env python3
"""Size of the shipped velqor-setup.exe and what it is made of.

    scripts/size-report.py [BUILD_DIR]        (default build/win32)

Reads the linker map the build writes beside the exe (velqor-setup.map) and
prints the exe's size, its sections, and the bytes each library (and the
largest objects) contributes to the sections that are kept.
"""
import collections
import os
import re
import subprocess
import sys

build = sys.argv[1] if len(sys.argv) > 1 else "build/win32"
exe = os.path.join(build, "velqor-setup.exe")
map_path = os.path.join(build, "velqor-setup.map")
if not os.path.exists(exe) or not os.path.exists(map_path):
    sys.exit(f"{exe} or {map_path} missing: build the win32 preset first")

print(f"velqor-setup.exe: {os.path.getsize(exe):,} bytes")

# Section sizes from the image itself.
objdump = "i686-w64-mingw32-objdump"
out = subprocess.run([objdump, "-h", exe], capture_output=True, text=True).stdout
for line in out.splitlines():
    f = line.split()
    if len(f) >= 7 and f[0].isdigit():
        print(f"  {f[1]:<10} {int(f[2], 16):>10,}")

# Kept input sections from the map: after "Linker script and memory map",
# lines " .sec 0xADDR 0xSIZE object" (a long section name puts the rest on the
# next line).
text = open(map_path, encoding="utf-8", errors="replace").read()
text = text[text.find("Linker script and memory map"):]
by_lib = collections.Counter()
by_obj = collections.Counter()
pending = None
row = re.compile(r"^ (\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
cont = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
for line in text.splitlines():
    m = row.match(line)
    if m:
        section, _, size, obj = m.groups()
    else:
        c = cont.match(line)
        if pending and c:
            section = pending
            _, size, obj = c.groups()
        else:
            alone = re.match(r"^ (\.\S+)\s*$", line)
            pending = alone.group(1) if alone else None
            continue
    pending = None
    if section.startswith(".debug"):
        continue
    size = int(size, 16)
    if size == 0:
        continue
    lib = os.path.basename(obj.split("(")[0])
    by_lib[lib] += size
    member = obj[obj.find("(") + 1:-1] if "(" in obj else os.path.basename(obj)
    by_obj[f"{lib}:{member}"] += size

print("by library (kept input sections, bytes):")
for lib, size in by_lib.most_common():
    print(f"  {size:>10,}  {lib}")
print("largest objects:")
for obj, size in by_obj.most_common(25):
    print(f"  {size:>10,}  {obj}")
