#!/usr/bin/env python3
"""Turn core/case-folding.tsv into the C++ source tables of the case folding
module: pairs below 0x10000 as 16-bit values, pairs above as 32-bit values,
each table in ascending order of its first member."""
import sys


def read(src):
    tables = {("upper", False): [], ("upper", True): [], ("lower", False): [], ("lower", True): []}
    for line in open(src, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        direction, a, b = line.split("\t")
        a, b = int(a, 16), int(b, 16)
        astral = a >= 0x10000
        if astral != (b >= 0x10000):
            sys.exit(f"{line}: a mapping that crosses 0x10000 does not fit the tables")
        tables[(direction, astral)].append((a, b))
    for pairs in tables.values():
        pairs.sort(key=lambda p: p[0])
    return tables


def emit(name, ctype, pairs, width):
    body = ",\n".join("    " + ", ".join(f"0x{a:0{width}X}, 0x{b:0{width}X}" for a, b in pairs[i:i + 4])
                      for i in range(0, len(pairs), 4))
    return f"constexpr {ctype} {name}[] = {{\n{body}\n}};\n"


def main(src, dst):
    t = read(src)
    with open(dst, "w", encoding="utf-8") as out:
        out.write("// Generated from core/case-folding.tsv; do not edit.\n")
        out.write(emit("k_upper_bmp", "uint16_t", t[("upper", False)], 4))
        out.write(emit("k_lower_bmp", "uint16_t", t[("lower", False)], 4))
        out.write(emit("k_upper_astral", "uint32_t", t[("upper", True)], 5))
        out.write(emit("k_lower_astral", "uint32_t", t[("lower", True)], 5))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
