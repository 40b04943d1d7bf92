#!/usr/bin/env python3
"""mapsize.py MAP [--top N] [--by member|archive] [--sections .text,.rdata,...]

Sums what each input file contributes to the loaded sections of a GNU ld map
file (-Wl,-Map,FILE), largest first. Debug sections are left out: a stripped
exe does not carry them. Archive members print as lib.a(member.o) with the
directories dropped, so that the toolchain's long paths stay readable.

A map file of every exe, beside it (GNU ld replaces % by the output's name):
  cmake --preset win32 -B build/win32-map -DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map=%.map
  cmake --build build/win32-map --target QLXDrive
  tools/mapsize/mapsize.py build/win32-map/QLXDrive.exe.map --by archive
"""
import argparse
import collections
import os
import re
import sys

# An input section line: " .name  0xADDR  0xSIZE  file", the name sometimes on
# a line of its own with the rest on the next.
INPUT = re.compile(r"^ (\S+)?\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
OUTPUT = re.compile(r"^(\.\S+|/\S+)\s")
MEMBER = re.compile(r"^(.*?)\((.*)\)$")


def short_name(path, by):
    m = MEMBER.match(path)
    if not m:
        return os.path.basename(path)
    archive, member = os.path.basename(m.group(1)), m.group(2)
    return archive if by == "archive" else f"{archive}({member})"


def summarise(lines, by="member", sections=None):
    """Returns {name: {output section: bytes}} for the loaded output sections."""
    totals = collections.defaultdict(collections.Counter)
    out_section = None
    pending = None
    started = False
    for line in lines:
        line = line.rstrip("\n")
        if line.startswith("Linker script and memory map"):
            started = True
            continue
        if not started:
            continue
        m = OUTPUT.match(line)
        if m:
            out_section = m.group(1)
            pending = None
            continue
        if out_section is None or out_section.startswith(".debug"):
            continue
        if sections and out_section not in sections:
            continue
        if re.match(r"^ \S+$", line):
            pending = line.strip()  # the section name alone; the numbers follow
            continue
        m = INPUT.match(line)
        if not m or not (m.group(1) or pending):
            pending = None
            continue
        pending = None
        size = int(m.group(3), 16)
        if size == 0 or m.group(4).startswith("*"):
            continue
        totals[short_name(m.group(4).strip(), by)][out_section] += size
    return totals


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("map")
    p.add_argument("--top", type=int, default=20)
    p.add_argument("--by", choices=("member", "archive"), default="member")
    p.add_argument("--sections", help="comma-separated output sections (default: all loaded)")
    a = p.parse_args(argv)
    wanted = set(a.sections.split(",")) if a.sections else None
    with open(a.map, encoding="utf-8", errors="replace") as f:
        totals = summarise(f, a.by, wanted)
    rows = sorted(totals.items(), key=lambda kv: (-sum(kv[1].values()), kv[0]))
    columns = sorted({s for _, c in rows for s in c}, key=lambda s: -sum(c[s] for _, c in rows))[:5]
    grand = sum(sum(c.values()) for _, c in rows)
    print(f"{'bytes':>8} {'%':>5}  " + " ".join(f"{s:>9}" for s in columns) + "  file")
    for name, c in rows[: a.top]:
        total = sum(c.values())
        print(f"{total:8d} {100 * total / grand:5.1f}  "
              + " ".join(f"{c.get(s, 0):9d}" for s in columns) + f"  {name}")
    print(f"{grand:8d} 100.0  total of {len(rows)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
