#!/usr/bin/env python3
"""Extract the simple case mappings of the Unicode Character Database into
core/case-folding.tsv, the checked-in source of the case tables.

Run by hand when moving to new Unicode data; the build only reads the .tsv.
Usage: gen_case_data.py [UnicodeData.txt] [output.tsv]
"""
import os
import re
import sys

DEFAULT_UCD = "/usr/share/unicode/UnicodeData.txt"


def ucd_version(ucd_path):
    """The version named in a sibling file's header (UnicodeData.txt has none)."""
    folder = os.path.dirname(ucd_path)
    for name in ("DerivedAge.txt", "CaseFolding.txt", "ReadMe.txt"):
        try:
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                for line in f:
                    m = re.search(r"(\d+\.\d+\.\d+)", line)
                    if m:
                        return m.group(1)
        except OSError:
            continue
    return "unknown"


def mappings(ucd_path):
    """(direction, from, to) rows: 'upper' from field 12, 'lower' from field 13."""
    upper, lower = [], []
    with open(ucd_path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            code = int(fields[0], 16)
            if fields[12]:
                upper.append((code, int(fields[12], 16)))
            if fields[13]:
                lower.append((code, int(fields[13], 16)))
    return [("upper", a, b) for a, b in upper] + [("lower", a, b) for a, b in lower]


def main():
    ucd = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_UCD
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "core", "case-folding.tsv")
    rows = mappings(ucd)
    with open(out, "w", encoding="utf-8") as f:
        f.write(f"# Simple case mappings of the Unicode Character Database {ucd_version(ucd)}\n")
        f.write("# (UnicodeData.txt fields 12 and 13), written by tools/gen_case_data.py.\n")
        f.write("# direction<TAB>code point<TAB>mapped code point, in hex; 'upper' rows map\n")
        f.write("# a lower-case letter to upper case, 'lower' rows the reverse.\n")
        for direction, a, b in rows:
            f.write(f"{direction}\t{a:04X}\t{b:04X}\n")
    for direction in ("upper", "lower"):
        bmp = sum(1 for d, a, _ in rows if d == direction and a < 0x10000)
        astral = sum(1 for d, a, _ in rows if d == direction and a >= 0x10000)
        print(f"{direction}: {bmp} pairs below 0x10000, {astral} above")


if __name__ == "__main__":
    main()
