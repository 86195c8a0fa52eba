#!/usr/bin/env python3
"""Turn core/error-catalog.tsv into an X-macro include: one ZUN_ERROR row per id."""
import sys

CATEGORIES = ["throw", "note", "syntax", "script", "math", "access",
              "reserved1", "reserved2", "user", "internal"]


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main(src, dst):
    rows = []
    for line in open(src, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        code, name, template = line.split("\t")
        category, ident = name.split("/")
        cat_index = CATEGORIES.index(category)
        if int(code) // 100 != cat_index:
            sys.exit(f"{name}: code {code} is not in category {category}")
        symbol = (category + "_" + ident).replace("-", "_")
        rows.append(f"ZUN_ERROR({symbol}, {code}, {cat_index}, {c_string(category)}, "
                    f"{c_string(ident)}, {c_string(template)})")
    with open(dst, "w", encoding="utf-8") as out:
        out.write("// Generated from core/error-catalog.tsv; do not edit.\n")
        out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
