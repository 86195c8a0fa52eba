#!/usr/bin/env python3
"""to-UTC-date and to-local-date against python's datetime.

Each zone setting runs one script; to-local-date moves a date to the zone in
force now (what now/zone gives), to-UTC-date to zone 0, the moment kept.
Usage: date_zones.py ZUN
"""
import datetime as dtm
import os
import subprocess
import sys
import tempfile
import time

ZONES = ["UTC0", "IST-5:30", "EST+5EDT,M3.2.0,M11.1.0", "NZST-12NZDT,M9.5.0,M4.1.0/3"]
# (year, month, day, hour, minute, zone minutes)
DATES = [
    (2020, 1, 1, 10, 0, 120),
    (2021, 7, 15, 23, 45, -300),
    (1999, 12, 31, 0, 30, 0),
    (2024, 2, 29, 12, 0, 345),
]
MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()


def literal(y, mo, d, h, mi, zone):
    sign = "-" if zone < 0 else "+"
    z = abs(zone)
    return "%d-%s-%d/%d:%02d%s%d:%02d" % (d, MONTHS[mo - 1], y, h, mi, sign, z // 60, z % 60)


def fields(d):
    off = int(d.utcoffset().total_seconds() // 60)
    return "%d %d %d %d %d %d" % (d.year, d.month, d.day, d.hour, d.minute, off)


def main(zun):
    show = "show: func [d] [print [d/year d/month d/day d/hour d/minute " \
           "(to integer! d/zone) / 60]]\n"
    lines = [show]
    for row in DATES:
        lines.append("show to-UTC-date %s\n" % literal(*row))
        lines.append("show to-local-date %s\n" % literal(*row))
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write("Zun []\n" + "".join(lines))
        path = f.name
    failures = []
    try:
        for zone in ZONES:
            os.environ["TZ"] = zone
            time.tzset()
            here = dtm.timezone(dtm.datetime.now().astimezone().utcoffset())
            want = []
            for y, mo, d, h, mi, z in DATES:
                moment = dtm.datetime(y, mo, d, h, mi, tzinfo=dtm.timezone(dtm.timedelta(minutes=z)))
                want.append(fields(moment.astimezone(dtm.timezone.utc)))
                want.append(fields(moment.astimezone(here)))
            run = subprocess.run([zun, path], capture_output=True, timeout=60,
                                 stdin=subprocess.DEVNULL, env=dict(os.environ))
            got = run.stdout.decode().split("\n")[:-1]
            if got != want:
                failures.append("TZ=%s:\n  want %r\n  got  %r\n%s" % (zone, want, got,
                                                                     run.stderr.decode()))
    finally:
        os.unlink(path)
    if failures:
        print("\n".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
