#!/bin/sh
# Script benchmarks: each bench/NAME.zun against its peers NAME.py (the Debian
# package's python3.11) and NAME.lua (lua5.4), run side by side. Checks that
# the outputs agree, prints the best of several runs (RUNS, default 3), the
# peak memory of each process and the ratios zun/python3.11 and zun/lua5.4.
# Not part of the test suite.
#   bench/run.sh [zun-binary] [bench names...]   (default build/zun, every bench)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
zun=$here/../build/zun
if [ $# -gt 0 ] && [ -x "$1" ] && [ -f "$1" ]; then
    zun=$1
    shift
fi
# The data benchmarks read documents written once by data.py.
python3 "$here/data.py"
exec python3 "$here/runner.py" --zun "$zun" "$@"
