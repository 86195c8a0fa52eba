#!/usr/bin/env python3
"""Checks date! calendar fields and arithmetic against python's datetime.

Runs a generated script through the zun binary: it walks day by day over
stretches around leap years, century years and the ends of the calendar
that datetime knows, printing each date's fields; and converts second counts
to dates. Every line is compared with what datetime says.

usage: time_date_oracle.py ZUN_BINARY
"""
import datetime
import subprocess
import sys
import tempfile

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
EPOCH = datetime.date(1970, 1, 1)

# (first day, number of days)
STRETCHES = [
    (datetime.date(1, 1, 1), 800),
    (datetime.date(99, 12, 1), 500),
    (datetime.date(399, 11, 20), 500),
    (datetime.date(1582, 10, 1), 100),
    (datetime.date(1599, 12, 1), 800),
    (datetime.date(1899, 12, 1), 800),
    (datetime.date(1969, 12, 20), 40),
    (datetime.date(1999, 12, 1), 1600),
    (datetime.date(2020, 12, 20), 30),
    (datetime.date(2099, 12, 1), 800),
    (datetime.date(9998, 1, 1), 730),
]
SECONDS = [0, 1, -1, 59, 86399, 86400, -86400, -86401, 951782400, 951868799,
           1234567890, 2147483647, -2147483648, 1709251199, 1709251200]


def text(d):
    year = f"{d.year:04d}" if d.year < 100 else str(d.year)
    return f"{d.day}-{MONTHS[d.month - 1]}-{year}"


def week(d):
    # weeks start on Sunday; week 1 holds 1 January
    jan1 = d.replace(month=1, day=1)
    e = jan1.isoweekday() % 7
    return (d.timetuple().tm_yday + e - 1) // 7 + 1


def fields(d):
    return " ".join(str(v) for v in [
        text(d), d.year, d.month, d.day, d.isoweekday(), d.timetuple().tm_yday,
        d.isocalendar()[1], week(d), (d - EPOCH).days])


def script():
    lines = ["Zun []"]
    for first, count in STRETCHES:
        lines.append(f"d: {text(first)} loop {count} [")
        lines.append("    print [d d/year d/month d/day d/weekday d/yearday d/isoweek d/week"
                     " d - 1-Jan-1970]")
        lines.append("    d: d + 1")
        lines.append("]")
    for n in SECONDS:
        lines.append(f"print to date! {n}")
    return "\n".join(lines) + "\n"


def expected():
    out = []
    for first, count in STRETCHES:
        for i in range(count):
            out.append(fields(first + datetime.timedelta(days=i)))
    for n in SECONDS:
        t = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=n)
        out.append(f"{text(t.date())}/{t.hour}:{t.minute:02d}:{t.second:02d}")
    return out


def main():
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write(script())
        path = f.name
    run = subprocess.run([sys.argv[1], path], capture_output=True, text=True, timeout=300)
    got = run.stdout.splitlines()
    want = expected()
    failures = [f"line {i + 1}: got {g!r}, want {w!r}"
                for i, (g, w) in enumerate(zip(got, want)) if g != w]
    if len(got) != len(want):
        failures.append(f"{len(got)} lines, want {len(want)}; stderr: {run.stderr[-500:]}")
    for line in failures[:20]:
        print(line)
    if failures:
        print(f"{len(failures)} mismatches")
        return 1
    print("date fields agree with datetime")
    return 0


if __name__ == "__main__":
    sys.exit(main())
