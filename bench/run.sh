#!/bin/sh
# Script benchmarks: each bench/NAME.zun against its peer bench/NAME.py, run
# side by side. Prints the best of RUNS wall times, the same less the start-up
# time (empty.zun / empty.py), and the ratio zun / python of the net times.
# Not part of the test suite.
#   bench/run.sh [zun-binary] [python]   (defaults: build/zun, python3.11)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
zun=${1:-$here/../build/zun}
py=${2:-$(command -v python3.11 || command -v python3)}
# A pyenv shim costs tens of milliseconds per start: use the real binary.
py=$("$py" -c 'import sys; print(sys.executable)')
runs=${RUNS:-7}
# The data benchmarks read documents written once by data.py.
"$py" "$here/data.py"

# Best wall time of $runs runs of "$@", in microseconds; the outputs must agree.
best() {
    min=
    i=0
    while [ $i -lt "$runs" ]; do
        t0=$(date +%s%N)
        "$@" >/dev/null
        t1=$(date +%s%N)
        t=$(( (t1 - t0) / 1000 ))
        if [ -z "$min" ] || [ "$t" -lt "$min" ]; then min=$t; fi
        i=$((i + 1))
    done
    echo "$min"
}

if command -v hyperfine >/dev/null 2>&1; then
    for script in "$here"/*.zun; do
        name=$(basename "$script" .zun)
        [ "$name" = empty ] && continue
        hyperfine -N -w 2 -r "$runs" "$zun $script" "$py $here/$name.py"
    done
    exit 0
fi

zun_start=$(best "$zun" "$here/empty.zun")
py_start=$(best "$py" "$here/empty.py")
printf '%-8s %10s %10s %10s %10s %8s\n' bench "zun ms" "py ms" "zun net" "py net" ratio
for script in "$here"/*.zun; do
    name=$(basename "$script" .zun)
    [ "$name" = empty ] && continue
    want=$("$py" "$here/$name.py")
    got=$("$zun" "$script")
    if [ "$got" != "$want" ]; then
        echo "$name: zun printed '$got', python '$want'" >&2
        exit 1
    fi
    z=$(best "$zun" "$script")
    p=$(best "$py" "$here/$name.py")
    zn=$((z - zun_start))
    pn=$((p - py_start))
    awk -v n="$name" -v z="$z" -v p="$p" -v zn="$zn" -v pn="$pn" 'BEGIN {
        printf "%-8s %10.1f %10.1f %10.1f %10.1f %8.2f\n", n, z / 1000, p / 1000, zn / 1000,
               pn / 1000, (pn > 0 ? zn / pn : 0) }'
done
