#!/usr/bin/env python3
"""Turn core/error-catalog.tsv into an X-macro include.

Two row kinds, each under its own guard so an includer takes what it defines:
ZUN_ERROR(symbol, code, category index, category, id, template) per error id and
ZUN_ERROR_CATEGORY(index, name, title) per category.
"""
import sys


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def read(src):
    categories, errors = [], []
    for number, line in enumerate(open(src, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        where = f"{src}:{number}"
        if fields[0] == "category":
            if len(fields) != 4:
                sys.exit(f"{where}: a category row has four fields")
            _, index, name, title = fields
            if int(index) != len(categories):
                sys.exit(f"{where}: category {name} is out of order")
            categories.append((name, title))
        else:
            if len(fields) != 3:
                sys.exit(f"{where}: an id row has three fields")
            errors.append((where, int(fields[0]), fields[1], fields[2]))
    return categories, errors


def main(src, dst):
    categories, errors = read(src)
    names = [name for name, _ in categories]
    rows = []
    expected = {}  # next code of each category: ids are numbered by position
    for where, code, full_name, template in errors:
        category, ident = full_name.split("/")
        if category not in names:
            sys.exit(f"{where}: unknown category {category}")
        cat_index = names.index(category)
        if code != expected.get(cat_index, cat_index * 100):
            sys.exit(f"{where}: {full_name} should have code {expected.get(cat_index, cat_index * 100)}")
        expected[cat_index] = code + 1
        symbol = (category + "_" + ident).replace("-", "_")
        rows.append(f"ZUN_ERROR({symbol}, {code}, {cat_index}, {c_string(category)}, "
                    f"{c_string(ident)}, {c_string(template)})")
    with open(dst, "w", encoding="utf-8") as out:
        out.write("// Generated from core/error-catalog.tsv; do not edit.\n")
        out.write("#ifdef ZUN_ERROR\n" + "\n".join(rows) + "\n#endif\n")
        out.write("#ifdef ZUN_ERROR_CATEGORY\n")
        # The title is written as a string of the language; C++ wants its text.
        for index, (name, title) in enumerate(categories):
            text = title[1:-1] if title.startswith('"') and title.endswith('"') else title
            out.write(f"ZUN_ERROR_CATEGORY({index}, {c_string(name)}, {c_string(text)})\n")
        out.write("#endif\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
