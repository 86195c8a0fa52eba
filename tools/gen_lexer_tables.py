#!/usr/bin/env python3
"""Turn the lexer's data files (interpreter/lexer-*.tsv) into C++ tables.

Usage: gen_lexer_tables.py SOURCE_DIR OUTPUT.inc

The output has two guarded sections: ZUN_LEXER_TABLES defines the constant
tables declared in interpreter/lexer_tables.hpp; ZUN_LEXER_HANDLERS lists the
72 handler slots as ZUN_LEXER_HANDLER(scanner, loader) rows, one per token kind,
naming the C++ functions (nullptr for an empty slot).
"""
import os
import re
import sys

SCANNING_STATES = 65
TERMINAL_BASE = 66
KINDS = 36
CLASSES = 40


def rows(path):
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        yield f"{path}:{number}", line.split("\t")


def fail(where, message):
    sys.exit(f"{where}: {message}")


def numbers(text, where):
    out = []
    for item in text.split():
        m = re.fullmatch(r"(\d+)(?:-(\d+))?", item)
        if not m:
            fail(where, f"bad byte item {item!r}")
        a = int(m.group(1))
        b = int(m.group(2) or a)
        if b < a:
            fail(where, f"empty range {item}")
        out.extend(range(a, b + 1))
    return out


def type_constant(name, where):
    if name == "-":
        return "0"
    if not name.endswith("!"):
        fail(where, f"{name!r} is not a datatype name")
    return "TYPE_" + name[:-1].upper().replace("-", "_")


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def c_function(spec_name, where):
    if spec_name == "-":
        return "nullptr"
    if not spec_name.startswith("lexer/"):
        fail(where, f"{spec_name!r} is not a lexer routine")
    return "&" + spec_name[len("lexer/"):].replace("-", "_")


def read_classes(path):
    names = [None] * CLASSES
    klass = [None] * 256
    flags = [0] * 256
    flag_rows = []
    for where, f in rows(path):
        if f[0] == "class":
            number, name, byte_list = int(f[1]), f[2], numbers(f[3], where)
            if names[number] is not None:
                fail(where, f"class {number} given twice")
            names[number] = name
            for b in byte_list:
                if klass[b] is not None:
                    fail(where, f"byte {b} is in classes {klass[b]} and {number}")
                klass[b] = number
        elif f[0] == "flag":
            name, bit, byte_list = f[1], int(f[2], 16), numbers(f[3], where)
            flag_rows.append((name, bit))
            for b in byte_list:
                flags[b] |= bit
        else:
            fail(where, f"unknown row {f[0]!r}")
    for b in range(256):
        if klass[b] is None:
            fail(path, f"byte {b} has no class")
    if None in names:
        fail(path, f"class {names.index(None)} is missing")
    return names, klass, flags, flag_rows


def read_states(path, class_names):
    index = {name: i for i, name in enumerate(class_names)}

    def target(text, where):
        m = re.fullmatch(r"([SK])(\d+)", text)
        if not m:
            fail(where, f"bad target {text!r}")
        n = int(m.group(2))
        if m.group(1) == "S":
            if n >= SCANNING_STATES:
                fail(where, f"no scanning state {text}")
            return n
        if n >= KINDS:
            fail(where, f"no token kind {text}")
        return TERMINAL_BASE + n

    table, roles, types = [], [], []
    for where, f in rows(path):
        state, role, type_name, default, transitions = f
        if state != f"S{len(table)}":
            fail(where, f"{state} is out of order")
        row = [target(default, where)] * CLASSES
        seen = set()
        for group in transitions.split("; "):
            m = re.fullmatch(r"(.+) to ([SK]\d+)", group)
            if not m:
                fail(where, f"bad group {group!r}")
            goal = target(m.group(2), where)
            for name in m.group(1).split(", "):
                if name not in index:
                    fail(where, f"unknown class {name!r}")
                if name in seen:
                    fail(where, f"class {name} named twice")
                seen.add(name)
                row[index[name]] = goal
        table.append(row)
        roles.append(role)
        types.append(type_constant(type_name, where))
    if len(table) != SCANNING_STATES:
        fail(path, f"{len(table)} states, not {SCANNING_STATES}")
    return table, roles, types


def read_kinds(path):
    kinds = []
    for where, f in rows(path):
        kind, token, scanner, loader, event_type = f
        if int(kind) != len(kinds):
            fail(where, f"kind {kind} is out of order")
        kinds.append((token, scanner, loader, type_constant(event_type, where),
                      c_function(scanner, where), c_function(loader, where)))
    if len(kinds) != KINDS:
        fail(path, f"{len(kinds)} kinds, not {KINDS}")
    return kinds


def read_float(path):
    klass = [0] * 256
    class_names = ["other", None, None, None, None, None]
    states = []
    for where, f in rows(path):
        if f[0] == "class":
            n = int(f[1])
            class_names[n] = f[2]
            for b in numbers(f[3], where):
                klass[b] = n
        elif f[0] == "state":
            if int(f[1]) != len(states):
                fail(where, "float states out of order")
            nexts = f[3].split()
            if len(nexts) != 6:
                fail(where, "a float state has six transitions")
            states.append((f[2], nexts, f[4] == "yes"))
        else:
            fail(where, f"unknown row {f[0]!r}")
    return klass, class_names, states


def read_escapes(path):
    table = list(range(256))
    bytes_given, ranges, names = [], [], []
    for where, f in rows(path):
        if f[0] == "byte":
            bytes_given.append((int(f[1]), int(f[2])))
        elif f[0] == "range":
            ranges.append((int(f[1]), int(f[2]), int(f[3])))
        elif f[0] == "name":
            names.append((f[1], int(f[2])))
        else:
            fail(where, f"unknown row {f[0]!r}")
    for first, last, minus in ranges:
        for b in range(first, last + 1):
            table[b] = b - minus
    for b, code in bytes_given:
        table[b] = code
    return table, bytes_given, ranges, names


def emit_bytes(name, ctype, values, per_line=16):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append("    " + ", ".join(str(v) for v in values[i:i + per_line]) + ",")
    return f"const {ctype} {name}[{len(values)}] = {{\n" + "\n".join(lines) + "\n};\n"


def main(src_dir, dst):
    p = lambda name: os.path.join(src_dir, name)
    class_names, klass, flags, flag_rows = read_classes(p("lexer-classes.tsv"))
    table, roles, state_types = read_states(p("lexer-states.tsv"), class_names)
    kinds = read_kinds(p("lexer-kinds.tsv"))
    float_class, float_class_names, float_states = read_float(p("lexer-float.tsv"))
    escapes, escape_bytes, escape_ranges, escape_names = read_escapes(p("lexer-escapes.tsv"))
    months = [(f[1], int(f[2])) for _, f in rows(p("lexer-months.tsv"))]
    constructs = [tuple(f) for _, f in rows(p("lexer-constructs.tsv"))]
    events = [(f[0], int(f[1]), f[2]) for _, f in rows(p("lexer-events.tsv"))]
    sets = {f[0]: (where, f[1]) for where, f in rows(p("lexer-sets.tsv"))}

    index = {name: i for i, name in enumerate(class_names)}
    where, text = sets["path-end"]
    path_end = [0] * CLASSES
    for name in text.split(", "):
        if name not in index:
            fail(where, f"unknown class {name!r}")
        path_end[index[name]] = 1
    where, text = sets["point-text"]
    point_text = [0] * 256
    for b in numbers(text, where):
        point_text[b] = 1
    where, text = sets["delimiter"]
    delimiters = numbers(text, where)

    out = ["// Generated from interpreter/lexer-*.tsv by tools/gen_lexer_tables.py; do not edit.",
           "#ifdef ZUN_LEXER_TABLES"]
    out.append(emit_bytes("k_class_table", "uint32_t",
                          [f"0x{(flags[b] | klass[b]):08X}" for b in range(256)], 8))
    out.append("const char* const k_class_names[%d] = {%s};" %
               (CLASSES, ", ".join(c_string(n) for n in class_names)))
    out.append("const FlagInfo k_flags[%d] = {%s};" %
               (len(flag_rows), ", ".join(f"{{{c_string(n)}, 0x{b:X}u}}" for n, b in flag_rows)))
    out.append("const uint8_t k_transitions[%d][%d] = {" % (SCANNING_STATES, CLASSES))
    for row in table:
        out.append("    {" + ", ".join(str(v) for v in row) + "},")
    out.append("};")
    terminal_types = [k[3] for k in kinds]
    all_types = state_types + ["0"] + terminal_types
    out.append("const uint8_t k_state_type[%d] = {%s};" % (len(all_types), ", ".join(all_types)))
    out.append("const char* const k_state_roles[%d] = {%s};" %
               (SCANNING_STATES, ", ".join(c_string(r) for r in roles)))
    out.append("const uint8_t k_line_table[%d] = {%s};" %
               (CLASSES, ", ".join("1" if n == "line-feed" else "0" for n in class_names)))
    out.append("const uint8_t k_path_end[%d] = {%s};" % (CLASSES, ", ".join(map(str, path_end))))
    out.append(emit_bytes("k_point_text", "uint8_t", point_text, 32))
    out.append("const uint32_t k_delimiters[%d] = {%s};" %
               (len(delimiters), ", ".join(map(str, delimiters))))
    out.append("const KindInfo k_kinds[%d] = {" % KINDS)
    for token, scanner, loader, event_type, _, _ in kinds:
        out.append(f"    {{{c_string(token)}, {c_string(scanner)}, {c_string(loader)}, {event_type}}},")
    out.append("};")
    out.append(emit_bytes("k_float_class", "uint8_t", float_class, 32))
    out.append("const char* const k_float_class_names[6] = {%s};" %
               ", ".join(c_string(n) for n in float_class_names))
    reject = len(float_states)
    nexts = []
    for _, row, _ in float_states:
        nexts.append("{" + ", ".join(str(reject) if v == "reject" else v for v in row) + "}")
    nexts.append("{" + ", ".join([str(reject)] * 6) + "}")
    out.append("const uint8_t k_float_next[%d][6] = {%s};" % (reject + 1, ", ".join(nexts)))
    out.append("const uint8_t k_float_may_end[%d] = {%s};" %
               (reject + 1, ", ".join("1" if e else "0" for _, _, e in float_states) + ", 0"))
    out.append("const char* const k_float_state_names[%d] = {%s};" %
               (reject, ", ".join(c_string(n) for n, _, _ in float_states)))
    out.append(emit_bytes("k_escapes", "uint8_t", escapes, 32))
    out.append("const EscapeRow k_escape_bytes[%d] = {%s};" %
               (len(escape_bytes), ", ".join(f"{{{b}, {c}}}" for b, c in escape_bytes)))
    out.append("const EscapeRange k_escape_ranges[%d] = {%s};" %
               (len(escape_ranges), ", ".join(f"{{{a}, {b}, {m}}}" for a, b, m in escape_ranges)))
    out.append("const EscapeName k_escape_names[%d] = {%s};" %
               (len(escape_names),
                ", ".join(f"{{{c_string(n)}, {len(n)}, {c}}}" for n, c in escape_names)))
    out.append("const char* const k_month_names[12] = {%s};" %
               ", ".join(c_string(n) for n, _ in months))
    out.append("const uint8_t k_month_days[12] = {%s};" % ", ".join(str(d) for _, d in months))
    out.append("const ConstructInfo k_constructs[%d] = {%s};" % (len(constructs), ", ".join(
        f"{{{c_string(n)}, {len(n)}, {type_constant(t, 'constructs')}, "
        f"{0 if v == '-' else int(v)}}}" for n, t, v in constructs)))
    out.append("const EventInfo k_events[%d] = {%s};" % (len(events), ", ".join(
        f"{{{c_string(w)}, {b}, {c_string(t)}}}" for w, b, t in events)))
    out.append("#endif")
    out.append("#ifdef ZUN_LEXER_HANDLERS")
    for _, _, _, _, scanner, loader in kinds:
        out.append(f"ZUN_LEXER_HANDLER({scanner}, {loader})")
    out.append("#endif")
    with open(dst, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
