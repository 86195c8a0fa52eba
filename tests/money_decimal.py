#!/usr/bin/env python3
"""money! arithmetic, comparison and every rounding mode against python3's decimal.

Builds a table of amounts from a fixed seed, writes one Zun script that prints
each result, runs it through the zun binary and compares line by line with
the results decimal gives. Usage: money_decimal.py ZUN_BINARY
"""
import decimal
import os
import random
import subprocess
import sys
import tempfile
from decimal import Decimal

decimal.getcontext().prec = 80
STEP = Decimal("0.00001")
LIMIT = Decimal("1e17")


def literal(d):
    """Zun text of an amount (at most 5 fraction digits)."""
    sign = "-" if d < 0 else ""
    return "%s$%s" % (sign, format(abs(d).quantize(STEP), "f"))


def molded(d):
    """What mold/all shows: 5 fraction digits, no sign on zero."""
    d = d.quantize(STEP)
    sign = "-" if d < 0 else ""
    return "%s$%s" % (sign, format(abs(d), ".5f"))


def truncated(d):
    return d.quantize(STEP, rounding=decimal.ROUND_DOWN)


def amount(rng, max_int_digits=16):
    whole = rng.randrange(10 ** rng.randint(0, max_int_digits))
    places = rng.randint(0, 5)
    steps = rng.randrange(10 ** places) * 10 ** (5 - places)
    d = Decimal(whole) + Decimal(steps) * STEP
    return -d if rng.random() < 0.4 else d


def fits(d):
    return abs(d) < LIMIT


MODES = {
    "": decimal.ROUND_HALF_UP,
    "/even": decimal.ROUND_HALF_EVEN,
    "/down": decimal.ROUND_DOWN,
    "/half-down": decimal.ROUND_HALF_DOWN,
    "/floor": decimal.ROUND_FLOOR,
    "/ceiling": decimal.ROUND_CEILING,
    "/half-ceiling": None,
}


def rounded(x, scale, mode):
    q = x / scale
    if mode == "/half-ceiling":
        whole = q.to_integral_value(rounding=decimal.ROUND_FLOOR)
        r = whole + 1 if q - whole >= Decimal("0.5") else whole
    else:
        r = q.quantize(Decimal(1), rounding=MODES[mode])
    return r * scale


def cases():
    rng = random.Random(20261210)
    out = []  # (zun expression, expected line)
    edges = [Decimal(0), STEP, -STEP, Decimal("0.5"), Decimal("-0.5"), Decimal("1.5"),
             Decimal("-2.5"), Decimal("99999999999999999.99999"),
             Decimal("-99999999999999999.99999"), Decimal("12345.6789")]
    amounts = edges + [amount(rng) for _ in range(60)]

    for _ in range(120):
        a, b = rng.choice(amounts), rng.choice(amounts)
        for op, value in (("+", a + b), ("-", a - b)):
            if fits(value):
                out.append(("mold/all %s %s %s" % (literal(a), op, literal(b)), molded(value)))
        out.append(("%s < %s" % (literal(a), literal(b)), str(a < b).lower()))
        out.append(("%s = %s" % (literal(a), literal(b)), str(a == b).lower()))

    for _ in range(60):
        a = amount(rng, 10)
        n = rng.choice([rng.randint(-999999, 999999), rng.randint(-9, 9), 2147483647])
        if fits(a * n):
            out.append(("mold/all %s * %d" % (literal(a), n), molded(truncated(a * n))))
            out.append(("mold/all %d * %s" % (n, literal(a)), molded(truncated(a * n))))
        if n:
            out.append(("mold/all %s / %d" % (literal(a), n), molded(truncated(a / n))))
            out.append(("mold/all remainder %s %d" % (literal(a), n), molded(a % n)))
        b = amount(rng, 6)
        if b and fits(a / b):
            q = float(truncated(a / b))
            out.append(("strict-equal? (%s / %s) %r" % (literal(a), literal(b), q), "true"))
        if b:
            out.append(("mold/all remainder %s %s" % (literal(a), literal(b)), molded(a % b)))

    # Floats join through their shortest digits, cut after the fifth place.
    for _ in range(40):
        a = amount(rng, 10)
        x = round(rng.uniform(-1e6, 1e6), rng.randint(0, 8))
        if x == 0 or abs(x) < 1e-5:
            continue
        xd = truncated(Decimal(repr(x)))
        out.append(("mold/all %s + %r" % (literal(a), x), molded(a + xd)))
        out.append(("mold/all %r * %s" % (x, literal(a)), molded(truncated(a * xd))))

    scales = [None, Decimal("0.01"), Decimal("0.05"), Decimal("0.25"), Decimal("10"),
              Decimal("3"), Decimal("0.00002"), Decimal("1000")]
    for scale in scales:
        s = scale or Decimal(1)
        values = [amount(rng, 8) for _ in range(8)]
        # Exact halves of the scale, where the modes differ most.
        for _ in range(6):
            tie = (Decimal(rng.randint(-200, 200)) + Decimal("0.5")) * s
            if tie == tie.quantize(STEP):
                values.append(tie)
        values += [s * 2, -s * 3]  # exact multiples stay as they are
        for x in values:
            for mode in MODES:
                expected = rounded(x, s, mode)
                if not fits(expected):
                    continue
                if scale is None:
                    code = "mold/all round%s %s" % (mode, literal(x))
                else:
                    code = "mold/all round/to%s %s %s" % (mode, literal(x), literal(scale))
                out.append((code, molded(expected)))
    return out


def main(zun):
    table = cases()
    script = "Zun [title: \"money against decimal\"]\n" + "".join(
        "print %s\n" % code for code, _ in table)
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write(script)
        path = f.name
    try:
        run = subprocess.run([zun, path], capture_output=True, timeout=300,
                             stdin=subprocess.DEVNULL)
    finally:
        os.unlink(path)
    got = run.stdout.decode("utf-8", "replace").splitlines()
    failures = 0
    for i, (code, want) in enumerate(table):
        have = got[i].rstrip() if i < len(got) else "<no output>"
        if have != want:
            failures += 1
            if failures <= 20:
                print("%s\n  want: %s\n  got:  %s" % (code, want, have))
    if run.returncode != 0:
        print("exit status %d\n%s" % (run.returncode, run.stderr.decode("utf-8", "replace")))
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
